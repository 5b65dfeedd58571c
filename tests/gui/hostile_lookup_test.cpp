// The comprehensive query against hostile pages, servers and files: the real
// main window on loopback servers the tests start.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <QWebEngineView>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

#include "base/files/picture.h"
#include "base/gate/handler_gate.h"
#include "base/net/http_fetch.h"
#include "gui/controls/controls.h"
#include "lookup/lookup_paths.h"
#include "support/browser.h"
#include "support/lookup_window.h"
#include "support/silent_server.h"
#include "tls_certificate.h"

namespace quarvel {
namespace {

using testing::WaitFor;

std::string Png(QColor colour = Qt::blue) {
  QImage image(12, 8, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool IsSymLink(const QString& path) {
  struct stat info {};
  return lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool Exists(const QString& path) {
  struct stat info {};
  return lstat(QFile::encodeName(path).constData(), &info) == 0;
}

mode_t Mode(const QString& path) {
  struct stat info {};
  lstat(QFile::encodeName(path).constData(), &info);
  return info.st_mode & 07777;
}

using HostileLookup = testing::LookupWindowTest;

const QString kFound = QStringLiteral("查询成功");
const QString kNotFound = QStringLiteral("抱歉，没有找到此系列号相关信息");
const QString kNoPicture = QStringLiteral("图片获取失败");
const QString kNotSaved = QStringLiteral("图片保存失败");

TEST_F(HostileLookup, EntriesWithSpacesDotsQuotesOrNulReachTheLookupPageAsTyped) {
  // An inner space: both the page and the picture are asked for with %20.
  sites.OverrideLookup("/index.php/iphone/F2LX K1ABCDEF", "<h1>查找结果</h1>");
  sites.OverrideLookup("/index.php/pic/iphone/F2LX K1ABCDEF.png", Png(), "image/png");
  Query(QStringLiteral("F2LX K1ABCDEF"));
  EXPECT_EQ(
      ui->LookupBrowser->url().toEncoded(),
      ("http://" + window->config().lookupHost + "/index.php/iphone/F2LX%20K1ABCDEF").toUtf8());
  ASSERT_TRUE(WaitForStatus(kFound));
  EXPECT_EQ(ui->ResultPicture->pixmap().size(), QSize(12, 8));

  // Leading spaces stay (the demo site trims them itself).
  window->SetStatus(QString());
  Query(QStringLiteral("  C39XK0ABHG7F  "));
  EXPECT_TRUE(ui->LookupBrowser->url().toEncoded().endsWith("/iphone/%20%20C39XK0ABHG7F"));
  ASSERT_TRUE(WaitForStatus(kFound));

  // Entries a browser would resolve away or not send at all still reach the
  // lookup page, which does not know them.
  for (const QString& serial :
       {QStringLiteral("."), QStringLiteral(".."), QString::fromLatin1("C39\0XK0", 7),
        QStringLiteral("a\\b\"c'd<e>`{x}")}) {
    window->SetStatus(QString());
    Query(serial);
    EXPECT_TRUE(ui->LookupBrowser->url().path(QUrl::FullyEncoded).startsWith("/index.php/iphone/"))
        << serial.toStdString();
    ASSERT_TRUE(WaitForStatus(kNotFound, 10000))
        << serial.toStdString() << " -> " << window->Status().toStdString();
  }
}

TEST_F(HostileLookup, APictureRedirectedToHttpsOnANamedHostMustHaveAValidCertificate) {
  QTemporaryDir dir;
  const std::string cert = dir.filePath("cert.pem").toStdString();
  const std::string key = dir.filePath("key.pem").toStdString();
  demo::MakeSelfSignedCertificate(cert, key);
  testing::LocalServer tls(cert, key);
  const std::string png = Png(Qt::red);
  tls.server().Get("/p.png", [png](const httplib::Request&, httplib::Response& res) {
    res.set_content(png, "image/png");
  });
  const int port = tls.Start();
  SetFetchHostMapForTesting({QStringLiteral("pictures.quarvel.test:%1:127.0.0.1").arg(port)});
  struct Reset {
    ~Reset() { SetFetchHostMapForTesting({}); }
  } reset;

  // The lookup host is loopback; the hop is not, and its certificate is self-signed.
  sites.RedirectLookup("/index.php/pic/iphone/C39XK0ABHG7F.png",
                       "https://pictures.quarvel.test:" + std::to_string(port) + "/p.png");
  Query(QStringLiteral("C39XK0ABHG7F"));
  ASSERT_TRUE(WaitForStatus(kNoPicture));
  EXPECT_FALSE(Exists(DataFilePath(kHandsetPictureFile)));

  // The same server as a loopback literal is trusted.
  sites.RedirectLookup("/index.php/pic/iphone/C39XK0ABHG7F.png",
                       "https://127.0.0.1:" + std::to_string(port) + "/p.png");
  window->SetStatus(QString());
  Query(QStringLiteral("C39XK0ABHG7F"));
  ASSERT_TRUE(WaitForStatus(kFound));
  EXPECT_EQ(ui->ResultPicture->pixmap().size(), QSize(12, 8));
}

TEST_F(HostileLookup, PictureFilesReplaceLinksAndNeverWriteThroughThem) {
  const QString folder = DataFolder();
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString victim = data.filePath(QStringLiteral("letter.txt"));
  {
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("the user's own file");
  }
  const QString picture = folder + "/" + kHandsetPictureFile;
  ASSERT_EQ(symlink(QFile::encodeName(victim).constData(), QFile::encodeName(picture).constData()),
            0);
  Query(QStringLiteral("C39XK0ABHG7F"));
  ASSERT_TRUE(WaitForStatus(kFound));
  EXPECT_EQ(ReadAll(victim), QByteArray("the user's own file"));
  EXPECT_FALSE(IsSymLink(picture));
  EXPECT_EQ(SniffPicture(ReadAll(picture)), PictureFormat::Jpeg);
  EXPECT_EQ(Mode(folder), 0700u);  // made private

  // A dangling link creates nothing where it points.
  const QString outside = data.filePath(QStringLiteral("elsewhere.jpg"));
  const QString sample = folder + "/" + kSamplePictureFile;
  ASSERT_EQ(symlink(QFile::encodeName(outside).constData(), QFile::encodeName(sample).constData()),
            0);
  ui->ImageTestButton->click();
  EXPECT_FALSE(Exists(outside));
  EXPECT_FALSE(IsSymLink(sample));
  EXPECT_EQ(SniffPicture(ReadAll(sample)), PictureFormat::Png);
  // Nothing but the two pictures (and the lookup history, with its row's own
  // copy of the picture) is left in the folder.
  QStringList left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  left.removeIf(
      [](const QString& name) { return name.startsWith("history.sqlite3") || name == "pictures"; });
  EXPECT_EQ(left.size(), 2) << left.join(' ').toStdString();
}

TEST_F(HostileLookup, AnUnsafeDataFolderOrAFailedWriteIsNoSuccess) {
  // The data folder is a link to another folder: nothing is written there.
  const QString other = data.filePath(QStringLiteral("other"));
  ASSERT_TRUE(QDir().mkpath(other));
  ASSERT_EQ(
      symlink(QFile::encodeName(other).constData(), QFile::encodeName(DataFolder()).constData()),
      0);
  Query(QStringLiteral("C39XK0ABHG7F"));
  ASSERT_TRUE(WaitForStatus(kNotSaved));
  EXPECT_TRUE(QDir(other).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
  EXPECT_TRUE(ui->ResultPicture->isVisible());  // what came is still shown
  EXPECT_FALSE(ui->ResultPicture->pixmap().isNull());
  ui->ImageTestButton->click();
  EXPECT_TRUE(QDir(other).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

  // A real folder, but the picture's name is taken by a folder: the write fails.
  ASSERT_EQ(unlink(QFile::encodeName(DataFolder()).constData()), 0);
  ASSERT_TRUE(QDir().mkpath(DataFolder() + "/" + kHandsetPictureFile));
  chmod(QFile::encodeName(DataFolder()).constData(), 0755);
  window->SetStatus(QString());
  Query(QStringLiteral("C39XK0ABHG7F"));
  ASSERT_TRUE(WaitForStatus(kNotSaved));
  EXPECT_TRUE(QFileInfo(DataFolder() + "/" + kHandsetPictureFile).isDir());
  EXPECT_EQ(Mode(DataFolder()), 0700u);  // an existing folder is narrowed too
  QStringList left =
      QDir(DataFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  left.removeIf([](const QString& name) { return name.startsWith("history.sqlite3"); });
  EXPECT_EQ(left, QStringList{kHandsetPictureFile});  // no temporary file left
}

TEST_F(HostileLookup, APictureServerThatNeverAnswersDoesNotFreezeTheWindow) {
  testing::SilentServer silent;
  sites.RedirectLookup("/index.php/pic/iphone/C39XK0ABHG7F.png", silent.Url().toStdString());
  LookupTimings timings = ShortTimings();
  timings.fetchTimeoutMs = 1500;
  Open(timings);
  // Paint requests from outside the program's handlers, and the paints that
  // follow them, counted while the fetch waits.
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint && HandlerGate::Busy()) ++paints;
      return false;
    }
  } counter;
  ui->StatusBar->installEventFilter(&counter);
  QTimer repaint;
  QObject::connect(&repaint, &QTimer::timeout, [&] { ui->StatusBar->update(); });
  repaint.start(20);

  Query(QStringLiteral("C39XK0ABHG7F"));
  const int paintsInThePause = counter.paints;
  ASSERT_TRUE(WaitForStatus(kNoPicture, 10000));
  EXPECT_GT(counter.paints - paintsInThePause, 20);  // about 75 in 1.5 s
  EXPECT_FALSE(ui->LookupResultTimer->isActive());
}

TEST_F(HostileLookup, APageFloodingDialogsShowsNoneAndTheQueryStillEnds) {
  const std::string flood =
      "<script>setInterval(() => { for (let i = 0; i < 20; ++i) { alert('a' + i); "
      "confirm('c'); prompt('p'); } }, 0);</script>";
  int dialogs = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && (w->isModal() || qobject_cast<QDialog*>(w))) ++dialogs, w->close();
  });
  watch.start(5);

  sites.OverrideLookup("/index.php/iphone/C39XK0ABHG7F", "<h1>查找结果</h1>" + flood);
  Query(QStringLiteral("C39XK0ABHG7F"));
  ASSERT_TRUE(WaitForStatus(kFound));

  // A flooding page without a result ends at the deadline.
  LookupTimings timings = ShortTimings();
  timings.lookupTimeoutMs = 2000;
  Open(timings);
  sites.OverrideLookup("/index.php/iphone/FLOOD12345", "<p>wait</p>" + flood);
  window->SetStatus(QString());
  Query(QStringLiteral("FLOOD12345"));
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询超时，请重试"), 15000))
      << window->Status().toStdString();
  EXPECT_EQ(dialogs, 0);
}

TEST_F(HostileLookup, MarkupInAResultIsShownAsTextAndLoadsNoLocalFile) {
  // A local picture of one colour, which a label rendering markup would draw.
  QTemporaryDir dir;
  const QString picture = dir.filePath(QStringLiteral("local.png"));
  QImage block(400, 200, QImage::Format_RGB32);
  block.fill(Qt::magenta);
  ASSERT_TRUE(block.save(picture));
  const QString image = QStringLiteral("<img src=\"%1\">").arg(picture);
  ui->WarrantyBrowser->setHtml(
      QStringLiteral(
          "<p>请输入产品的序列号</p><input id=a><input id=b><button onclick=\""
          "document.body.innerHTML = document.getElementById('r').innerHTML\">go"
          "</button><template id=r><h2><span id=productname>%1<font size=6>FAKE</font>"
          "</span></h2><span></span><p>有限保修中的硬件维修和服务。<br>预计到期日："
          "<a href=\"http://127.0.0.1:9/\">2030年</a><br><a href=x>again</a></p></template>")
          .arg(image));
  ASSERT_TRUE(WaitFor([&] {
    return testing::EvalInPage(ui->WarrantyBrowser, "document.body.innerText")
        .toString()
        .contains(QStringLiteral("请输入产品的序列号"));
  }));
  Query(QStringLiteral("C39XK0ABHG7F"), true);
  ASSERT_TRUE(WaitForStatus(kFound));
  EXPECT_TRUE(Caption(ui->ModelLabel).contains(picture)) << Caption(ui->ModelLabel).toStdString();
  window->SetStatus(image);
  for (QLabel* label : {ui->ModelLabel, ui->WarrantyEndLabel, ui->StatusBar->panel1}) {
    const QImage drawn = label->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto* pixels = reinterpret_cast<const QRgb*>(drawn.constBits());
    EXPECT_EQ(std::count(pixels, pixels + drawn.sizeInBytes() / 4, QColor(Qt::magenta).rgb()), 0);
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();  // nor links
    EXPECT_TRUE(label->text().contains(QStringLiteral("\">"))) << label->text().toStdString();
    EXPECT_EQ(label->accessibleName(), label->text().simplified());
  }
}

}  // namespace
}  // namespace quarvel
