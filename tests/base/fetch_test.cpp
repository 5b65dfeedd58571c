// The synchronous fetch and the picture services.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <QTimer>
#include <QUrl>

#include <atomic>
#include <utility>

#include "base/files/picture.h"
#include "base/gate/handler_gate.h"
#include "base/net/http_fetch.h"
#include "support/local_server.h"
#include "support/silent_server.h"
#include "support/test_pictures.h"
#include "support/wait.h"
#include "tls_certificate.h"

namespace quarvel {
namespace {

using namespace std::chrono_literals;

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

TEST(HttpGet, TellsAPassingFailureAndTheWaitASiteAsksFor) {
  testing::LocalServer server;
  server.server().Get("/busy", [](const httplib::Request& req, httplib::Response& res) {
    res.status = req.has_param("503") ? 503 : 429;
    if (req.has_param("after")) res.set_header("Retry-After", req.get_param_value("after"));
    res.set_content("wait", "text/plain");
  });
  server.Start();
  const struct {
    const char* query;
    int status;
    int retryAfter;
  } cases[] = {{"?after=3", 429, 3},
               {"?503&after=120", 503, 120},
               {"", 429, -1},
               {"?after=soon", 429, -1},
               {"?after=-5", 429, -1},
               {"?503&after=99999999", 503, 120},
               {"?after=2147484", 429, 120},
               {"?after=99999999999999999999", 429, 120}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    const HttpReply reply = HttpGet(server.Base() + "/busy" + c.query);
    EXPECT_FALSE(reply.ok);
    EXPECT_TRUE(reply.transient);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.retryAfterSeconds, c.retryAfter);
    EXPECT_EQ(RetryAfterMs(reply), std::max(c.retryAfter, 0) * 1000);
    EXPECT_TRUE(reply.body.isEmpty());
  }
  const HttpReply refused = HttpGet(QStringLiteral("http://127.0.0.1:9/x.png"));
  EXPECT_TRUE(refused.transient);
  EXPECT_EQ(refused.status, 0);
  const HttpReply missing = HttpGet(server.Base() + "/nothing");
  EXPECT_FALSE(missing.transient);  // an answer, not a passing failure
  EXPECT_EQ(missing.status, 404);

  // An HTTP date, in each of its forms, counts from now.
  const QDateTime now = QDateTime::fromString("2026-12-09T10:00:00Z", Qt::ISODate);
  const std::pair<const char*, int> dates[] = {
      {"Wed, 09 Dec 2026 10:00:30 GMT", 30},  {"Wednesday, 09-Dec-26 10:00:45 GMT", 45},
      {"Wed Dec  9 10:01:00 2026", 60},       {"Wed, 09 Dec 2026 09:00:00 GMT", 0},
      {"Wed, 09 Dec 2167 10:00:00 GMT", 120}, {"Wed, 09 Dec 2026 25:00:00 GMT", -1}};
  for (const auto& [value, seconds] : dates)
    EXPECT_EQ(RetryAfterSeconds(value, now), seconds) << value;
}

TEST(HttpGetBytes, ARefusedConnectionFailsAtOnce) {
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(HttpGetBytes(QStringLiteral("http://127.0.0.1:9/x.png")).isEmpty());
  EXPECT_LT(clock.elapsed(), 2000);
}

TEST(HttpGetBytes, AServerThatNeverAnswersKeepsTheWindowsPaintingButHoldsTheProgramsTicks) {
  testing::SilentServer silent;
  ASSERT_GT(silent.port(), 0);
  QObject context;
  // Painting and page loading stand for the event loop: a timer of Qt's own.
  QTimer loopTimer;
  int loopTicks = 0;
  QObject::connect(&loopTimer, &QTimer::timeout, [&] { ++loopTicks; });
  loopTimer.start(0);
  // A timer of the program, delivered through the gate: held during the wait.
  QTimer programTimer;
  int programTicks = 0;
  ConnectTick(&programTimer, &context, [&] { ++programTicks; });
  programTimer.start(0);

  FetchLimits limits;
  limits.total = 600ms;
  QElapsedTimer clock;
  clock.start();
  QByteArray body;
  int ticksSeen = -1;
  HandlerGate::Deliver(nullptr, [&] {
    body = HttpGetBytes(silent.Url(), limits);
    ticksSeen = programTicks;
  });
  const qint64 elapsed = clock.elapsed();
  EXPECT_TRUE(body.isEmpty());
  EXPECT_GE(elapsed, 500);
  EXPECT_LT(elapsed, 3000);
  EXPECT_GT(loopTicks, 20);  // the loop ran all along
  EXPECT_EQ(ticksSeen, 0);   // no handler of the program ran inside the fetch
  EXPECT_TRUE(testing::WaitFor([&] { return programTicks > 0; }));  // delivered afterwards

  const FetchLimits defaults;
  EXPECT_LE((defaults.connect + defaults.total).count(), 15000);  // a dead server costs < 15 s
}

TEST(HttpGetBytes, SelfSignedCertificatesAreTrustedOnlyOnLoopbackHopsJudgedOneByOne) {
  QTemporaryDir dir;
  const std::string cert = dir.filePath("cert.pem").toStdString();
  const std::string key = dir.filePath("key.pem").toStdString();
  demo::MakeSelfSignedCertificate(cert, key);
  testing::LocalServer tls(cert, key);
  tls.server().Get("/pic.png", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("PICTURE", "image/png");
  });
  const int tlsPort = tls.Start();
  testing::LocalServer plain;
  std::atomic<int> hops{0};
  plain.server().Get("/to", [&](const httplib::Request& req, httplib::Response& res) {
    ++hops;
    res.set_redirect(req.get_param_value("url"));
  });
  plain.server().Get("/loop", [&](const httplib::Request&, httplib::Response& res) {
    ++hops;
    res.set_redirect("/loop");
  });
  plain.server().Get("/relative", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("/here.png");
  });
  plain.server().Get("/here.png", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("HERE", "image/png");
  });
  const int plainPort = plain.Start();
  // A name that is no loopback literal, resolved to loopback by the fetch itself.
  SetFetchHostMapForTesting({QStringLiteral("pictures.quarvel.test:%1:127.0.0.1").arg(tlsPort),
                             QStringLiteral("pictures.quarvel.test:%1:127.0.0.1").arg(plainPort)});
  struct Reset {
    ~Reset() { SetFetchHostMapForTesting({}); }
  } reset;
  const QString loopbackTls = QStringLiteral("https://127.0.0.1:%1/pic.png").arg(tlsPort);
  const QString namedTls = QStringLiteral("https://pictures.quarvel.test:%1/pic.png").arg(tlsPort);
  const auto via = [&](const QString& host, const QString& target) {
    return QStringLiteral("http://%1:%2/to?url=").arg(host).arg(plainPort) +
           QString::fromLatin1(QUrl::toPercentEncoding(target));
  };

  EXPECT_EQ(HttpGetBytes(loopbackTls), QByteArray("PICTURE"));
  EXPECT_TRUE(HttpGetBytes(namedTls).isEmpty());
  // The first URL is loopback, the hop is not: the hop's certificate is checked.
  EXPECT_TRUE(HttpGetBytes(via("127.0.0.1", namedTls)).isEmpty());
  // And the other way round: a named first hop does not spoil a loopback one.
  EXPECT_EQ(HttpGetBytes(via("pictures.quarvel.test", loopbackTls)), QByteArray("PICTURE"));
  EXPECT_EQ(HttpGetBytes(plain.Base() + "/relative"), QByteArray("HERE"));

  // Redirects stay on http and https, and end after a few hops.
  EXPECT_TRUE(HttpGetBytes(via("127.0.0.1", "file:///etc/hostname")).isEmpty());
  EXPECT_TRUE(HttpGetBytes(via("127.0.0.1", "ftp://127.0.0.1/x")).isEmpty());
  hops = 0;
  EXPECT_TRUE(HttpGetBytes(plain.Base() + "/loop").isEmpty());
  EXPECT_EQ(hops.load(), 6);  // the first request and five redirects
}

TEST(HttpGetBytes, OnlyLoopbackHostsCountAsLoopback) {
  for (const char* host : {"127.0.0.1", "127.8.9.1", "localhost", "LOCALHOST", "[::1]", "::1"})
    EXPECT_TRUE(IsLoopbackHost(QString::fromLatin1(host))) << host;
  for (const char* host : {"10.0.0.1", "192.168.1.1", "example.com", "128.0.0.1", ""})
    EXPECT_FALSE(IsLoopbackHost(QString::fromLatin1(host))) << host;
}

TEST(Picture, FormatIsSniffedFromTheDataNotTheName) {
  EXPECT_EQ(SniffPicture(testing::EncodedPicture("PNG")), PictureFormat::Png);
  EXPECT_EQ(SniffPicture(testing::EncodedPicture("JPEG")), PictureFormat::Jpeg);
  EXPECT_EQ(SniffPicture(testing::EncodedPicture("BMP")), PictureFormat::Bmp);
  EXPECT_EQ(SniffPicture(kGif), PictureFormat::Gif);
  EXPECT_EQ(SniffPicture(QByteArray("<html>")), PictureFormat::Unknown);
  EXPECT_EQ(SniffPicture(QByteArray()), PictureFormat::Unknown);

  EXPECT_EQ(DecodePicture(testing::EncodedPicture("PNG")).size(), QSize(8, 6));
  EXPECT_EQ(DecodePicture(testing::EncodedPicture("JPEG")).size(), QSize(8, 6));
  EXPECT_EQ(DecodePicture(testing::EncodedPicture("BMP")).size(), QSize(8, 6));
  EXPECT_EQ(DecodePicture(kGif).size(), QSize(1, 1));
  EXPECT_TRUE(DecodePicture(QByteArray("\x89PNG\r\n\x1a\ntruncated")).isNull());
}

TEST(Picture, ConvertImageFileWritesJpegInPlaceAndLeavesANonImageAlone) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("验证码.jpg"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(testing::EncodedPicture("PNG", {64, 48}));
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
