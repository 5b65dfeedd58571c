#include "gui/notices.h"

#include "gui/cues.h"

namespace quarvel {
namespace {

struct Words {
  Notice notice;
  const char* status;  // nullptr: none
  const QString* cue;  // nullptr: none
};

const Words* Find(Notice notice) {
  static const Words kWords[] = {
      {Notice::Cleared, "", nullptr},
      {Notice::NothingEntered, "什么都不输入 查个PP啊", nullptr},
      {Notice::Querying, nullptr, &cue::kQuerying},
      {Notice::EnterCorrectly, "请正确输入", &cue::kEnterCorrectly},
      {Notice::Found, "查询成功", &cue::kSuccess},
      {Notice::PictureNotFetched, "图片获取失败", &cue::kFailed},
      {Notice::PictureNotSaved, "图片保存失败", &cue::kPictureNotSaved},
      {Notice::NotFound, "抱歉，没有找到此系列号相关信息", &cue::kFailed},
      {Notice::TimedOut, "查询超时，请重试", &cue::kFailed},
      {Notice::Unreachable, "无法连接网站，请检查网络", &cue::kFailed},
      {Notice::Copied, "复制成功", &cue::kCopied},
      {Notice::VoiceOff, "已关闭语音", nullptr},
      {Notice::VoiceOn, "已开启语音", nullptr},
      {Notice::CaptureRefused, "无法截图：此桌面不允许程序截屏", &cue::kScreenshotAbandoned},
      {Notice::ScreenshotSaved, nullptr, &cue::kScreenshotSaved},
      {Notice::ScreenshotAbandoned, nullptr, &cue::kScreenshotAbandoned},
      {Notice::Welcome, nullptr, &cue::kWelcome},
      {Notice::Instructions, nullptr, &cue::kInstructions},
  };
  for (const Words& words : kWords)
    if (words.notice == notice) return &words;
  return nullptr;
}

}  // namespace

std::optional<QString> StatusOf(Notice notice) {
  const Words* words = Find(notice);
  if (!words || !words->status) return std::nullopt;
  return QString::fromUtf8(words->status);
}

std::optional<QString> CueOf(Notice notice) {
  const Words* words = Find(notice);
  if (!words || !words->cue) return std::nullopt;
  return *words->cue;
}

void Announce(Announcer& announcer, Notice notice) {
  if (const std::optional<QString> status = StatusOf(notice)) announcer.SetStatus(*status);
  if (const std::optional<QString> cue = CueOf(notice)) announcer.PlayCue(*cue);
}

}  // namespace quarvel
