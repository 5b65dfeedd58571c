// The synchronous fetch and the picture services.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/http_fetch.h"
#include "base/picture.h"
#include "support/local_server.h"

namespace quarvel {
namespace {

using namespace std::chrono_literals;

QByteArray Encode(const char* format, QSize size = {8, 6}) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(QColor(10, 200, 30));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

// A 1 x 1 GIF.
const QByteArray kGif = QByteArray::fromHex(
    "47494638396101000100800000ffffff00000021f90401000000002c00000000010001000002024401003b");

TEST(HttpGetBytes, ReturnsTheBodyOnSuccessAndNothingOnAnyFailure) {
  testing::LocalServer server;
  server.server().Get("/pic.png", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::string("\x89PNG\r\n\x1a\nbody\0bytes", 18), "image/png");
  });
  server.server().Get("/missing", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("not here", "text/plain");
  });
  server.Start();

  EXPECT_EQ(HttpGetBytes(server.Base() + "/pic.png"),
            QByteArray("\x89PNG\r\n\x1a\nbody\0bytes", 18));
  EXPECT_TRUE(HttpGetBytes(server.Base() + "/missing").isEmpty());
  EXPECT_TRUE(HttpGetBytes(QStringLiteral("not a url")).isEmpty());
  EXPECT_TRUE(HttpGetBytes(QStringLiteral("file:///etc/hostname")).isEmpty());
  EXPECT_TRUE(HttpGetBytes(QString()).isEmpty());

  FetchLimits small;
  small.maxBytes = 4;
  EXPECT_TRUE(HttpGetBytes(server.Base() + "/pic.png", small).isEmpty());
}

TEST(HttpGetBytes, ARefusedConnectionFailsAtOnce) {
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(HttpGetBytes(QStringLiteral("http://127.0.0.1:9/x.png")).isEmpty());
  EXPECT_LT(clock.elapsed(), 2000);
}

TEST(HttpGetBytes, AServerThatNeverAnswersIsGivenUpAfterTheTotalTimeOut) {
  // Listens and lets the kernel accept, but never reads nor writes.
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(fd, 4), 0);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  const int port = ntohs(address.sin_port);

  FetchLimits limits;
  limits.total = 600ms;
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(
      HttpGetBytes(QStringLiteral("http://127.0.0.1:%1/x.png").arg(port), limits).isEmpty());
  EXPECT_GE(clock.elapsed(), 500);
  EXPECT_LT(clock.elapsed(), 3000);
  close(fd);

  const FetchLimits defaults;
  EXPECT_LE((defaults.connect + defaults.total).count(), 15000);  // a dead server costs < 15 s
}

TEST(HttpGetBytes, OnlyLoopbackHostsCountAsLoopback) {
  for (const char* host : {"127.0.0.1", "127.8.9.1", "localhost", "LOCALHOST", "[::1]", "::1"})
    EXPECT_TRUE(IsLoopbackHost(QString::fromLatin1(host))) << host;
  for (const char* host : {"10.0.0.1", "192.168.1.1", "example.com", "128.0.0.1", ""})
    EXPECT_FALSE(IsLoopbackHost(QString::fromLatin1(host))) << host;
}

TEST(Picture, FormatIsSniffedFromTheDataNotTheName) {
  EXPECT_EQ(SniffPicture(Encode("PNG")), PictureFormat::Png);
  EXPECT_EQ(SniffPicture(Encode("JPEG")), PictureFormat::Jpeg);
  EXPECT_EQ(SniffPicture(Encode("BMP")), PictureFormat::Bmp);
  EXPECT_EQ(SniffPicture(kGif), PictureFormat::Gif);
  EXPECT_EQ(SniffPicture(QByteArray("<html>")), PictureFormat::Unknown);
  EXPECT_EQ(SniffPicture(QByteArray()), PictureFormat::Unknown);

  EXPECT_EQ(DecodePicture(Encode("PNG")).size(), QSize(8, 6));
  EXPECT_EQ(DecodePicture(Encode("JPEG")).size(), QSize(8, 6));
  EXPECT_EQ(DecodePicture(Encode("BMP")).size(), QSize(8, 6));
  EXPECT_EQ(DecodePicture(kGif).size(), QSize(1, 1));
  EXPECT_TRUE(DecodePicture(QByteArray("\x89PNG\r\n\x1a\ntruncated")).isNull());
}

TEST(Picture, ConvertImageFileWritesJpegInPlaceAndLeavesANonImageAlone) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("验证码.jpg"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(Encode("PNG", {64, 48}));
  file.close();

  ASSERT_TRUE(ConvertImageFile(path, path, 75));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray jpeg = file.readAll();
  file.close();
  EXPECT_EQ(SniffPicture(jpeg), PictureFormat::Jpeg);
  EXPECT_EQ(DecodePicture(jpeg).size(), QSize(64, 48));

  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();  // empty: a failed fetch
  EXPECT_FALSE(ConvertImageFile(path, path, 75));
  EXPECT_EQ(QFileInfo(path).size(), 0);
  EXPECT_FALSE(ConvertImageFile(dir.filePath("absent"), path, 75));
}

}  // namespace
}  // namespace quarvel
