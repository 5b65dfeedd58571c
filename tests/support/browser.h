#pragma once

// A real browser control for tests: loads pages from a loopback server and
// evaluates scripts in the page's own world.
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "support/local_server.h"
#include "support/wait.h"
#include "webpage/browser.h"

namespace quarvel::testing {

class PageServer {
 public:
  PageServer() {
    server_.server().Get(R"(/(.*))", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      const auto it = pages_.find(req.matches[1]);
      if (it == pages_.end()) {
        res.status = 404;
        return;
      }
      res.set_content(it->second, "text/html; charset=utf-8");
    });
    server_.Start();
  }
  void Add(const std::string& path, const std::string& html) {
    std::lock_guard lock(mutex_);
    pages_[path] = html;
  }
  QString Url(const std::string& path) const {
    return server_.Base() + "/" + QString::fromStdString(path);
  }

 private:
  LocalServer server_;
  std::mutex mutex_;
  std::map<std::string, std::string> pages_;
};

// Loads url and waits for the load to finish; false on failure or time-out.
inline bool LoadAndWait(QWebEngineView* view, const QString& url, int timeoutMs = 15000) {
  QSignalSpy finished(view, &QWebEngineView::loadFinished);
  Navigate(view, url);
  if (!WaitFor([&] { return finished.count() > 0; }, timeoutMs)) return false;
  return finished.takeFirst().at(0).toBool();
}

// Evaluates a script in the page's own (main) world and waits for its value.
inline QVariant EvalInPage(QWebEngineView* view, const QString& script, int timeoutMs = 5000) {
  auto result = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
  view->page()->runJavaScript(script, [result](const QVariant& v) { *result = {true, v}; });
  WaitFor([&] { return result->first; }, timeoutMs);
  return result->second;
}

}  // namespace quarvel::testing
