#include "site.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>

#include <cctype>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/system/sockets.h"
#include "samples.h"

namespace quarvel::demo {
namespace {

const char kHtml[] = "text/html; charset=utf-8";

// A page laid out as sites are written today: indented markup, a header with
// the site-wide search box, the content in <main>.
std::string Page(const std::string& title, const std::string& main,
                 const std::string& script = {}) {
  return "<!DOCTYPE html>\n"
         "<html lang=\"zh-CN\">\n"
         "  <head>\n"
         "    <meta charset=\"utf-8\">\n"
         "    <meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "    <title>" +
         title +
         "</title>\n"
         "  </head>\n"
         "  <body>\n"
         "    <header class=\"site\">\n"
         "      <form class=\"site-search\" role=\"search\" action=\"/search\">\n"
         "        <input type=\"search\" name=\"q\" placeholder=\"搜索支持\" "
         "aria-label=\"搜索支持\">\n"
         "      </form>\n"
         "    </header>\n"
         "    <main>\n" +
         main + "    </main>\n" +
         (script.empty() ? std::string() : "    <script>\n" + script + "    </script>\n") +
         "  </body>\n"
         "</html>\n";
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Png(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

// A handset drawn in colours that depend on the serial.
std::string HandsetPicture(const std::string& serial) {
  const size_t hash = std::hash<std::string>{}(serial);
  QImage image(352, 152, QImage::Format_RGB32);
  image.fill(QColor(236, 238, 242));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor body = QColor::fromHsv(static_cast<int>(hash % 360), 90, 120);
  painter.setBrush(body);
  painter.setPen(QPen(Qt::black, 2));
  painter.drawRoundedRect(QRectF(150, 8, 68, 136), 12, 12);
  painter.setBrush(QColor(20, 24, 32));
  painter.drawRoundedRect(QRectF(156, 18, 56, 112), 6, 6);
  painter.setBrush(QColor::fromHsv(static_cast<int>((hash >> 8) % 360), 160, 230));
  for (int i = 0; i < 6; ++i)
    painter.drawRect(QRectF(250 + i * 14, 120 - static_cast<int>((hash >> (i * 4)) % 80), 10, 200));
  painter.end();
  return Png(image);
}

bool WellFormedSerial(const std::string& serial) {
  if (serial.size() < 10 || serial.size() > 17) return false;
  for (unsigned char c : serial)
    if (!std::isalnum(c)) return false;
  return true;
}

// Serves each connection on a thread of its own, at most `most` at once; the
// threads are made as connections arrive and kept for later ones. A client
// that trickles its request in holds its own thread only.
class ConnectionThreads : public httplib::TaskQueue {
 public:
  explicit ConnectionThreads(size_t most) : most_(most) {}

  void enqueue(std::function<void()> job) override {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    if (jobs_.size() > idle_ && threads_.size() < most_) threads_.emplace_back([this] { Work(); });
    ready_.notify_one();
  }

  // Runs the connections still waiting, then ends the threads.
  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }

 private:
  void Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_;
      ready_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
      --idle_;
      if (jobs_.empty()) return;
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      lock.lock();
    }
  }

  const size_t most_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;  // threads waiting for a connection
  bool stopping_ = false;
};

}  // namespace

void LimitClients(httplib::Server& server) {
  // The library refuses a declared length over the limit without keeping the
  // body, but takes a body sent in chunks whole. The demo takes no bodies:
  // every one is read and dropped as it comes, and its length decides the answer.
  const auto drop = [](const httplib::Request& req, httplib::Response& res,
                       const httplib::ContentReader& read) {
    size_t length = 0;
    const auto count = [&length](const char*, size_t n) {
      length += n;
      return true;
    };
    const bool whole = req.is_multipart_form_data()
                           ? read([](const httplib::MultipartFormData&) { return true; }, count)
                           : read(count);
    if (!whole)
      res.status = res.status == -1 ? 400 : res.status;  // 413 when the declared length was over
    else
      res.status = length > kMaxRequestBody ? 413 : 404;
  };
  server.Post(".*", drop).Put(".*", drop).Patch(".*", drop).Delete(".*", drop);
  server.set_payload_max_length(kMaxRequestBody);
  server.set_read_timeout(kReadTimeoutSeconds, 0);
  server.set_write_timeout(kWriteTimeoutSeconds, 0);
  server.set_keep_alive_timeout(kKeepAliveSeconds);
  server.new_task_queue = [] { return new ConnectionThreads(kMaxConnections); };
  // The library's default shares the port with whoever listens on it already
  // (SO_REUSEPORT): a port that is taken must make the demo fail instead.
  server.set_socket_options([](socket_t socket) { system::ListenAlone(socket); });
}

void MountLookupSite(httplib::Server& server) {
  server.Get(R"(/index\.php/pic/iphone/(.+)\.png)",
             [](const httplib::Request& req, httplib::Response& res) {
               const Sample* sample = FindSample(Trim(req.matches[1]));
               if (!sample) {
                 res.status = 404;
                 return;
               }
               res.set_content(HandsetPicture(sample->serial), "image/png");
             });
  server.Get(R"(/index\.php/iphone/(.*))", [](const httplib::Request& req, httplib::Response& res) {
    const std::string serial = Trim(req.matches[1]);
    const Sample* sample = FindSample(serial);
    if (!sample) {
      res.set_content(Page("序列号查询", "      <h1>抱歉，没有找到</h1>\n      <p>序列号 " +
                                             Escape(serial) + " 没有相关记录。</p>\n"),
                      kHtml);
      return;
    }
    res.set_content(
        Page("序列号查询", "      <h1>查找结果</h1>\n      <p>序列号：" + Escape(sample->serial) +
                               "</p>\n      <p>型号：" + Escape(sample->model) +
                               "</p>\n      <img src=\"/index.php/pic/iphone/" + sample->serial +
                               ".png\" alt=\"handset\">\n"),
        kHtml);
  });
}

// While the serial is typed, a counter appears in front of the field (the
// page inserts it on the first keyup); leaving the field marks it checked,
// and the server takes only checked entries.
const char kSerialFormScript[] =
    "      const sn = document.getElementById('sn');\n"
    "      sn.addEventListener('keyup', function () {\n"
    "        let count = document.getElementById('sn-count');\n"
    "        if (!count) {\n"
    "          count = document.createElement('input');\n"
    "          count.type = 'text';\n"
    "          count.id = 'sn-count';\n"
    "          count.readOnly = true;\n"
    "          count.tabIndex = -1;\n"
    "          this.parentNode.insertBefore(count, this);\n"
    "        }\n"
    "        count.value = this.value.trim().length + ' 位';\n"
    "      });\n"
    "      sn.addEventListener('blur', function () {\n"
    "        document.getElementById('checked').value = this.value.trim() ? '1' : '';\n"
    "      });\n";

void MountWarrantySite(httplib::Server& server) {
  // The serial form; shown again, under the message, when a serial is rejected.
  const auto form = [](const std::string& message) {
    return Page("查看保修服务",
                "      <form id=\"warranty\" action=\"/pages/pod.jsp\" method=\"get\">\n"
                "        <input type=\"hidden\" name=\"r\" value=\"warrantyResult\">\n"
                "        <input type=\"hidden\" name=\"checked\" id=\"checked\" value=\"\">\n"
                "        <h1>查看您的保修服务和支持期限</h1>\n" +
                    message +
                    "        <p>请输入产品的序列号</p>\n"
                    "        <p class=\"field\">\n"
                    "          <input type=\"text\" name=\"sn\" id=\"sn\" autocomplete=\"off\">\n"
                    "        </p>\n"
                    "        <p>\n"
                    "          <input type=\"submit\" value=\"继续\">\n"
                    "        </p>\n"
                    "      </form>\n",
                kSerialFormScript);
  };
  server.Get("/pages/pod.jsp", [form](const httplib::Request& req, httplib::Response& res) {
    if (req.get_param_value("r") != "warrantyResult") {
      res.set_content(form(""), kHtml);
      return;
    }
    if (req.get_param_value("checked") != "1") {
      res.set_content(form("        <p class=\"note\">请输入后离开输入框，以便校验。</p>\n"),
                      kHtml);
      return;
    }
    const std::string serial = Trim(req.get_param_value("sn"));
    if (!WellFormedSerial(serial)) {
      res.set_content(form("        <p class=\"error\">系列号无效，请检查后重试。</p>\n"), kHtml);
      return;
    }
    const Sample* sample = FindSample(serial);
    if (!sample) {
      res.set_content(form("        <p class=\"error\">请输入有效的序列号。</p>\n"), kHtml);
      return;
    }
    res.set_content(
        Page("查看保修服务",
             "      <div class=\"result\">\n"
             "        <h2>\n"
             "          <span id=\"productname\">" +
                 Escape(sample->model) +
                 "</span>\n"
                 "        </h2>\n"
                 "        <span class=\"serial\">序列号：" +
                 Escape(sample->serial) +
                 "</span>\n"
                 "        <p>\n"
                 "          您的产品享有有限保修中的硬件维修和服务。<br>预计到期日：" +
                 sample->warrantyEnd +
                 "<br>\n"
                 "          <a href=\"/pages/pod.jsp?r=agreementWarrantyDynamic.do&amp;lang=cn\">"
                 "再查询一个</a>\n"
                 "        </p>\n"
                 "      </div>\n"),
        kHtml);
  });
}

void MountPortal(httplib::Server& server) {
  server.Get(R"(/im/status/(\d+)\.png)", [](const httplib::Request&, httplib::Response& res) {
    QImage image(120, 28, QImage::Format_RGB32);
    image.fill(QColor(40, 44, 52));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(60, 200, 90));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(6, 6, 16, 16));
    painter.setBrush(QColor(200, 200, 200));
    painter.drawRoundedRect(QRectF(30, 10, 80, 8), 3, 3);
    painter.end();
    res.set_content(Png(image), "image/png");
  });
  server.Get("/im/chat", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(
        Page("会话", "      <p>与 " + Escape(req.get_param_value("uin")) + " 的会话</p>\n"), kHtml);
  });
  server.Get("/", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(Page("门户首页", "      <h1>门户首页</h1>\n      <p>欢迎。</p>\n"), kHtml);
  });
}

}  // namespace quarvel::demo
