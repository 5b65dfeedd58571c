#pragma once

#include <QString>

namespace quarvel::cue {

// The voice cues, as paths below the run directory.
inline const QString kWelcome = QStringLiteral("\\mp3\\欢迎使用.mp3");
inline const QString kQuerying = QStringLiteral("\\mp3\\正在查询.mp3");
inline const QString kSuccess = QStringLiteral("\\mp3\\查询成功.mp3");
inline const QString kEnterCorrectly = QStringLiteral("\\mp3\\请正确输入.mp3");
inline const QString kFailed = QStringLiteral("\\mp3\\查询失败.mp3");
inline const QString kCopied = QStringLiteral("\\mp3\\复制信息成功.mp3");
inline const QString kScreenshotSaved = QStringLiteral("\\mp3\\截图成功.mp3");
inline const QString kScreenshotAbandoned = QStringLiteral("\\mp3\\已放弃截图.mp3");
inline const QString kInstructions = QStringLiteral("\\mp3\\使用说明.mp3");
// The program's own: a result whose picture could not be stored, and a page
// that waits for the person.
inline const QString kPictureNotSaved = QStringLiteral("\\mp3\\图片未保存.mp3");
inline const QString kNeedsPerson = QStringLiteral("\\mp3\\需要您操作.mp3");

}  // namespace quarvel::cue
