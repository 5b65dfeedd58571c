// The batch benchmark's floor (b): the lookup pages in a bare QWebEnginePage,
// without the lookup engine. Comprehensive: load the lookup page, read its
// text, fetch the picture. Official: load the warranty form, fill and submit
// it by script, read the result's HTML, go back to the form.
//   page_floor comprehensive|official LOOKUP_HOST WARRANTY_HOST COUNT
// Prints the entries a minute.
#include <QApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <cstdio>
#include <functional>

#include "base/net/http_fetch.h"

namespace {

const QStringList kSamples = {"C39XK0ABHG7F", "F17ZP1QWN73D", "DNPQ2LL8JCLM", "356789104523673"};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-background-networking --log-level=3");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  if (argc != 5) {
    std::fputs("usage: page_floor comprehensive|official LOOKUP_HOST WARRANTY_HOST COUNT\n",
               stderr);
    return 2;
  }
  const bool official = QString::fromUtf8(argv[1]) == QLatin1String("official");
  const QString lookupHost = QString::fromUtf8(argv[2]);
  const QString warrantyForm =
      QStringLiteral("https://%1/pages/pod.jsp?r=agreementWarrantyDynamic.do&lang=cn")
          .arg(QString::fromUtf8(argv[3]));
  const int count = QString::fromUtf8(argv[4]).toInt();

  QWebEnginePage page(QWebEngineProfile::defaultProfile());
  QObject::connect(&page, &QWebEnginePage::certificateError,
                   [](QWebEngineCertificateError error) { error.acceptCertificate(); });
  int done = 0, found = 0;
  QElapsedTimer clock;
  enum class Step { Form, Result, Lookup } step = Step::Lookup;
  std::function<void()> next = [&] {
    if (done == count) {
      const double minutes = clock.nsecsElapsed() / 60e9;
      std::printf("%.1f %d\n", done / minutes, found);
      app.quit();
      return;
    }
    if (done == 1) clock.start();  // the first entry warms the browser up
    const QString serial = kSamples[done % kSamples.size()];
    if (official) {
      step = Step::Form;
      page.load(QUrl(warrantyForm));
    } else {
      step = Step::Lookup;
      page.load(QUrl(QStringLiteral("http://%1/index.php/iphone/%2").arg(lookupHost, serial)));
    }
  };
  QObject::connect(&page, &QWebEnginePage::loadFinished, [&](bool) {
    const QString serial = kSamples[done % kSamples.size()];
    switch (step) {
      case Step::Form:
        step = Step::Result;
        page.runJavaScript(QStringLiteral("document.getElementById('sn').value='%1';"
                                          "document.getElementById('checked').value='1';"
                                          "document.getElementById('warranty').submit();")
                               .arg(serial));
        break;
      case Step::Result:
        page.toHtml([&](const QString& html) {
          if (html.contains(QStringLiteral("预计到期日"))) ++found;
          ++done;
          next();
        });
        break;
      case Step::Lookup:
        page.toPlainText([&, serial](const QString& text) {
          if (!text.isEmpty() &&
              !quarvel::HttpGetBytes(
                   QStringLiteral("http://%1/index.php/pic/iphone/%2.png").arg(lookupHost, serial))
                   .isEmpty())
            ++found;
          ++done;
          next();
        });
        break;
    }
  });
  clock.start();
  next();
  return app.exec();
}
