// Page automation speed: FillTextInput("2", …) and ClickElement("1") on pages
// with 10, 1,000 and 5,000 inputs, side by side with the floor of one
// hand-written page script doing the same; GetPageHtml of a 5 MB page.
#include <httplib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "webpage/browser.h"
#include "webpage/legacy_html.h"
#include "webpage/web_page_helper.h"

namespace {

using quarvel::bench::Load;
using quarvel::bench::MedianMs;
using quarvel::bench::WaitFor;

using quarvel::WebPageHelper;

QVariant RunFloor(QWebEngineView* view, const QString& script) {
  bool done = false;
  QVariant value;
  view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                              [&](const QVariant& v) { done = true, value = v; });
  WaitFor([&] { return done; }, 30000);
  return value;
}

// n inputs: n - 1 text inputs, then the page's one button-like input.
std::string InputsPage(int n) {
  std::string body;
  for (int i = 1; i < n; ++i) body += "<input type=text name=f" + std::to_string(i) + ">";
  body += "<input type=submit value=go>";
  return "<!DOCTYPE html><html><body><form onsubmit='return false'>" + body +
         "</form></body></html>";
}

std::string BigPage(size_t bytes) {
  std::string body;
  for (int i = 0; body.size() < bytes; ++i) {
    body += "<div class=\"row r" + std::to_string(i % 7) + "\"><span id=s" + std::to_string(i) +
            ">有限保修 " + std::to_string(i) + "</span><a href=\"/x?i=" + std::to_string(i) +
            "\">link</a><br></div>\n";
  }
  return "<!DOCTYPE html><html><body>" + body + "</body></html>";
}

const char kFillFloor[] = R"((function () {
  let c = 0;
  for (const e of document.getElementsByTagName('input')) {
    const t = e.type.toLowerCase();
    if ((t === 'text' || t === 'password' || t === 'file') && ++c === 2) {
      e.value = 'SERIAL';
      e.dispatchEvent(new Event('keyup', {bubbles: true, cancelable: true}));
      e.dispatchEvent(new Event('blur', {bubbles: true, cancelable: true}));
      return true;
    }
  }
  return false;
})())";

const char kClickFloor[] = R"((function () {
  for (const tag of ['input', 'button'])
    for (const e of document.getElementsByTagName(tag)) {
      const t = e.type.toLowerCase();
      if (t === 'button' || t === 'submit' || t === 'reset') { e.click(); return true; }
    }
  return false;
})())";

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--renderer-process-limit=1 --disable-background-networking",
         0);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);

  httplib::Server server;
  std::map<std::string, std::string> pages;
  for (int n : {10, 1000, 5000}) pages["inputs" + std::to_string(n)] = InputsPage(n);
  pages["big"] = BigPage(5 * 1024 * 1024);
  server.Get(R"(/(\w+))", [&](const httplib::Request& req, httplib::Response& res) {
    res.set_content(pages[req.matches[1]], "text/html; charset=utf-8");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread thread([&] { server.listen_after_bind(); });
  const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(port);

  QWebEngineView* view = quarvel::CreateBrowser(nullptr, QStringLiteral("WebBrowser2"));
  view->resize(400, 300);
  view->show();
  const qint64 handle = quarvel::GetControlWindowHandle(view);

  for (int n : {10, 1000, 5000}) {
    if (!Load(view, base + QStringLiteral("inputs%1").arg(n))) return 1;
    const int runs = n >= 5000 ? 15 : 30;
    // The helper is attached once: what is measured is the call itself.
    WebPageHelper helper;
    if (!helper.AttachToBrowserWindow(handle)) return 1;
    const double fill = MedianMs(runs, [&] {
      if (!helper.FillTextInput(QStringLiteral("2"), QStringLiteral("SERIAL"))) std::abort();
    });
    const double fillFloor = MedianMs(runs, [&] { RunFloor(view, kFillFloor); });
    const double click = MedianMs(runs, [&] {
      if (!helper.ClickElement(QStringLiteral("1"))) std::abort();
    });
    const double clickFloor = MedianMs(runs, [&] { RunFloor(view, kClickFloor); });
    std::printf("fill_text_input_%d_inputs: %.2f ms\n", n, fill);
    std::printf("fill_text_input_%d_inputs_floor: %.2f ms\n", n, fillFloor);
    std::printf("fill_text_input_%d_inputs_ratio: %.2f x\n", n, fill / fillFloor);
    std::printf("click_element_%d_inputs: %.2f ms\n", n, click);
    std::printf("click_element_%d_inputs_floor: %.2f ms\n", n, clickFloor);
    std::printf("click_element_%d_inputs_ratio: %.2f x\n", n, click / clickFloor);
    std::fflush(stdout);
  }

  if (!Load(view, base + QStringLiteral("big"))) return 1;
  size_t size = 0;
  WebPageHelper helper;
  if (!helper.AttachToBrowserWindow(handle)) return 1;
  const double html = MedianMs(7, [&] { size = helper.GetPageHtml().toUtf8().size(); });
  QString modern;
  {
    const auto root = helper.document().Get(QStringLiteral("documentElement")).ToObject();
    // The engine's own serialisation, read raw, for the cost of the rewrite alone.
    bool done = false;
    view->page()->runJavaScript(QStringLiteral("document.documentElement.outerHTML"),
                                [&](const QVariant& v) { done = true, modern = v.toString(); });
    WaitFor([&] { return done; }, 30000);
  }
  const double rewrite = MedianMs(7, [&] { quarvel::ToLegacyHtml(modern); });
  std::printf("get_page_html_5mb: %.1f ms\n", html);
  std::printf("legacy_rewrite_5mb: %.1f ms\n", rewrite);
  std::printf("get_page_html_5mb_size: %.2f MiB\n", size / 1048576.0);

  delete view;
  server.stop();
  thread.join();
  return 0;
}
