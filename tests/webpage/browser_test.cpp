// The hidden browsers' own settings: certificates and page dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QImage>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

#include <csignal>
#include <memory>
#include <mutex>

#include "base/gate/handler_gate.h"
#include "support/browser.h"
#include "support/local_server.h"
#include "support/test_pictures.h"
#include "support/wait.h"
#include "tls_certificate.h"
#include "webpage/browser.h"

namespace quarvel {
namespace {

using testing::EvalInPage;
using testing::LoadAndWait;
using testing::WaitFor;

// Collects what the program logs in one category while it lives.
class LogCapture {
 public:
  explicit LogCapture(const char* category) {
    category_ = category;
    lines_.clear();
    // The program's notes are off by default; this turns them on for the test.
    QLoggingCategory::setFilterRules(QStringLiteral("%1.info=true").arg(category));
    previous_ = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext& context, const QString& message) {
          if (context.category && category_ == context.category) lines_ << message;
        });
  }
  ~LogCapture() {
    qInstallMessageHandler(previous_);
    QLoggingCategory::setFilterRules(QString());
  }
  QString All() const { return lines_.join('\n'); }

 private:
  static inline std::string category_;
  static inline QStringList lines_;
  QtMessageHandler previous_;
};

// Counts, and closes, every modal window or dialog that appears.
class DialogWatch {
 public:
  DialogWatch() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && (w->isModal() || qobject_cast<QDialog*>(w))) {
          ++seen;
          w->close();
        }
      }
    });
    timer_.start(5);
  }
  int seen = 0;

 private:
  QTimer timer_;
};

TEST(HiddenBrowser, ACertificateErrorIsJudgedForEachRequestRedirectsIncluded) {
  QTemporaryDir dir;
  const std::string cert = dir.filePath("cert.pem").toStdString();
  const std::string key = dir.filePath("key.pem").toStdString();
  demo::MakeSelfSignedCertificate(cert, key);
  testing::LocalServer tls(cert, key);
  tls.server().Get("/page", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<p>behind the certificate</p>", "text/html");
  });
  const std::string png = testing::EncodedPicture("PNG", {4, 3}, Qt::red).toStdString();
  tls.server().Get("/pic.png", [png](const httplib::Request&, httplib::Response& res) {
    res.set_content(png, "image/png");
  });
  const int tlsPort = tls.Start();
  testing::LocalServer plain;
  plain.server().Get("/hop", [&](const httplib::Request& req, httplib::Response& res) {
    res.set_redirect("https://" + req.get_param_value("host") + ":" + std::to_string(tlsPort) +
                     "/page");
  });
  plain.server().Get("/pictures", [&](const httplib::Request&, httplib::Response& res) {
    const std::string port = std::to_string(tlsPort);
    res.set_content("<img id=named src='https://pictures.quarvel.test:" + port +
                        "/pic.png'><img id=loopback src='https://127.0.0.1:" + port + "/pic.png'>",
                    "text/html");
  });
  plain.Start();

  std::unique_ptr<QWebEngineView> view(CreateBrowser(nullptr, QStringLiteral("WebBrowser1")));
  const auto text = [&] { return EvalInPage(view.get(), "document.body.innerText").toString(); };
  // A loopback first URL redirects to a name that is no loopback literal
  // (tests resolve *.quarvel.test to 127.0.0.1): that hop's certificate is refused.
  EXPECT_FALSE(LoadAndWait(view.get(), plain.Base() + "/hop?host=pages.quarvel.test"));
  EXPECT_FALSE(text().contains("behind the certificate"));
  EXPECT_TRUE(LoadAndWait(view.get(), plain.Base() + "/hop?host=127.0.0.1"));
  EXPECT_TRUE(text().contains("behind the certificate"));

  // Pictures of a page are judged on their own hosts too.
  ASSERT_TRUE(LoadAndWait(view.get(), plain.Base() + "/pictures"));
  const auto width = [&](const char* id) {
    return EvalInPage(view.get(),
                      QStringLiteral("document.getElementById('%1').complete ? "
                                     "String(document.getElementById('%1').naturalWidth) : ''")
                          .arg(id))
        .toString();
  };
  EXPECT_TRUE(WaitFor([&] { return !width("named").isEmpty() && !width("loopback").isEmpty(); }));
  EXPECT_EQ(width("loopback"), "4");
  EXPECT_EQ(width("named"), "0");
}

TEST(HiddenBrowser, PageDialogsAreAnsweredWithoutShowingAndNoted) {
  testing::PageServer pages;
  pages.Add("asks",
            "<input type=file id=f style='position:absolute;left:0;top:0;width:300px;height:200px'>"
            "<script>"
            "const r = [];"
            "alert('hello');"
            "r.push(confirm('sure?'));"
            "r.push(prompt('name?', 'x'));"
            "r.push(window.open('/other'));"
            "document.title = JSON.stringify(r);"
            "document.getElementById('f').onchange = () => document.title = 'changed';"
            "window.onbeforeunload = e => { e.preventDefault(); e.returnValue = 'stay'; "
            "return 'stay'; };"
            "</script>");
  pages.Add("other", "<p>elsewhere</p>");
  LogCapture log("quarvel.webpage");
  DialogWatch watch;
  std::unique_ptr<QWebEngineView> view(CreateBrowser(nullptr, QStringLiteral("WebBrowser1")));
  view->resize(400, 300);
  view->show();
  ASSERT_TRUE(LoadAndWait(view.get(), pages.Url("asks")));
  // Confirm as a dismissing user, prompt gives null; no window is opened.
  EXPECT_TRUE(WaitFor([&] { return view->title() == "[false,null,null]"; }))
      << view->title().toStdString();
  EXPECT_EQ(watch.seen, 0);

  // A click on the file input: the chooser is answered with no file.
  QWidget* surface = view->focusProxy();
  ASSERT_NE(surface, nullptr);
  QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(50, 50));
  EXPECT_TRUE(WaitFor([&] { return log.All().contains("a file chooser"); }));
  EXPECT_EQ(EvalInPage(view.get(), "String(document.getElementById('f').files.length)").toString(),
            "0");

  // The click gave the page the right to ask before it is left: the program
  // still navigates away.
  ASSERT_TRUE(LoadAndWait(view.get(), pages.Url("other")));
  EXPECT_EQ(view->url().path(), "/other");
  EXPECT_TRUE(log.All().contains("beforeunload")) << log.All().toStdString();

  for (const char* what : {"alert", "confirm", "prompt"})
    EXPECT_TRUE(log.All().contains(QStringLiteral("answered %1 from").arg(what))) << what;
  EXPECT_FALSE(log.All().contains("a new window"));  // refused before any was made
  EXPECT_TRUE(log.All().contains("hello"));
  EXPECT_EQ(watch.seen, 0);
  EXPECT_EQ(QApplication::topLevelWidgets().size(), 1);  // the browser alone: no new window
}

TEST(HiddenBrowser, ABrowserDeletedWhileItsPageIsBeingReplacedLeavesNothingToRun) {
  testing::PageServer pages;
  pages.Add("page", "<p>a page</p>");
  for (int round = 0; round < 3; ++round) {
    auto* view = CreateBrowser(nullptr, QStringLiteral("WebBrowser1"));
    view->show();
    ASSERT_TRUE(LoadAndWait(view, pages.Url("page")));
    ASSERT_TRUE(WaitFor([&] { return view->page()->renderProcessPid() > 0; }, 10000));
    {
      // Another handler runs: the replacement is held until it ends, and the
      // browser goes meanwhile (a batch's engines at its end).
      HandlerGate::WaitScope busy;
      ::kill(static_cast<pid_t>(view->page()->renderProcessPid()), SIGKILL);
      ASSERT_TRUE(WaitFor([] { return HandlerGate::Held() > 0; }, 10000));
      delete view;
    }
    EXPECT_TRUE(WaitFor([] { return HandlerGate::Held() == 0; }, 5000));
  }
}

}  // namespace
}  // namespace quarvel
