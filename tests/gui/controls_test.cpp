// Control properties of the shell: the picture box and the skin.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>

#include "base/files/run_directory.h"
#include "gui/controls/controls.h"
#include "gui/shell/skin.h"
#include "support/test_pictures.h"

namespace quarvel {
namespace {

const QByteArray kGif = QByteArray::fromHex(
    "47494638396101000100800000ffffff00000021f90401000000002c00000000010001000002024401003b");

TEST(Picture, WritingBytesShowsTheImageAndEmptyBytesClearIt) {
  QLabel box;
  SetPicture(&box, testing::EncodedPicture("BMP", {20, 10}));
  EXPECT_EQ(box.pixmap().size(), QSize(20, 10));
  SetPicture(&box, QByteArray());
  EXPECT_TRUE(box.pixmap().isNull());
  SetPicture(&box, kGif);
  EXPECT_EQ(box.pixmap().size(), QSize(1, 1));
  SetPicture(&box, QByteArray("garbage"));
  EXPECT_TRUE(box.pixmap().isNull());
}

TEST(Skin, AppliesTheShippedSheetAndIsSilentAboutAMissingOrBrokenFile) {
  qApp->setStyleSheet(QString());
  QTemporaryDir dir;
  EXPECT_FALSE(AttachSkin(dir.filePath("absent.she")));
  EXPECT_TRUE(qApp->styleSheet().isEmpty());

  for (const QByteArray& broken : {QByteArray("QWidget { color: red; "),
                                   QByteArray("\xff\xfe\x00garbage", 10), QByteArray()}) {
    QFile file(dir.filePath("broken.she"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(broken);
    file.close();
    EXPECT_FALSE(AttachSkin(file.fileName()));
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
  }

  EXPECT_TRUE(AttachSkin(RunPath(QStringLiteral("\\魔兽争霸.she"))));
  EXPECT_TRUE(qApp->styleSheet().contains("QPushButton"));
  qApp->setStyleSheet(QString());
}

}  // namespace
}  // namespace quarvel
