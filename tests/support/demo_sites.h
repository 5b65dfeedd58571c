#pragma once

// The bundled demo site, served in-process on free loopback ports: the lookup
// site and portal over http, the warranty page over https.
#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "base/config/config.h"
#include "site.h"
#include "support/local_server.h"
#include "tls_certificate.h"

namespace quarvel::testing {

class DemoSites {
 public:
  DemoSites() {
    const std::string cert = QDir(dir_.path()).filePath("cert.pem").toStdString();
    const std::string key = QDir(dir_.path()).filePath("key.pem").toStdString();
    demo::MakeSelfSignedCertificate(cert, key);
    warranty_ = std::make_unique<LocalServer>(cert, key);
    // Pages a test adds stand in front of the demo's own.
    lookup_.server().set_pre_routing_handler(
        [this](const httplib::Request& req, httplib::Response& res) {
          Delay(lookupDelays_, req.path);
          std::lock_guard lock(mutex_);
          if (req.get_header_value("User-Agent").rfind("Quarvel/", 0) == 0) ++fetches_[req.path];
          if (auto throttled = throttles_.find(req.path);
              throttled != throttles_.end() && throttled->second.times > 0) {
            --throttled->second.times;
            res.status = 429;
            if (!throttled->second.retryAfter.empty())
              res.set_header("Retry-After", throttled->second.retryAfter);
            res.set_content("Too many requests", "text/plain");
            return httplib::Server::HandlerResponse::Handled;
          }
          const auto it = overrides_.find(req.path);
          if (it == overrides_.end()) return httplib::Server::HandlerResponse::Unhandled;
          if (!it->second.location.empty())
            res.set_redirect(it->second.location);
          else
            res.set_content(it->second.content, it->second.type.c_str());
          return httplib::Server::HandlerResponse::Handled;
        });
    demo::MountLookupSite(lookup_.server());
    demo::MountPortal(portal_.server());
    // A warranty result a test names stands in front of the demo's own.
    warranty_->server().set_pre_routing_handler(
        [this](const httplib::Request& req, httplib::Response& res) {
          if (req.get_param_value("r") == "warrantyResult")
            Delay(warrantyDelays_, req.get_param_value("sn"));
          std::lock_guard lock(mutex_);
          if (req.get_param_value("r") != "warrantyResult") {
            if (warrantyPage_.empty()) return Unhandled();
            res.set_content(warrantyPage_, "text/html; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
          }
          const auto it = warrantyResults_.find(req.get_param_value("sn"));
          if (it == warrantyResults_.end()) return Unhandled();
          res.set_content(it->second, "text/html; charset=utf-8");
          return httplib::Server::HandlerResponse::Handled;
        });
    demo::MountWarrantySite(warranty_->server());
    lookup_.Start();
    portal_.Start();
    warranty_->Start();
  }

  Config MakeConfig() const {
    Config config;
    config.lookupHost = lookup_.Host();
    config.portalHost = portal_.Host();
    config.warrantyHost = warranty_->Host();
    return config;
  }

  // Serves content at path on the lookup site instead of the demo's page.
  void OverrideLookup(const std::string& path, const std::string& content,
                      const std::string& type = "text/html; charset=utf-8") {
    std::lock_guard lock(mutex_);
    overrides_[path] = {content, type, {}};
  }

  // Answers the warranty form's submission for serial with html.
  void OverrideWarrantyResult(const std::string& serial, const std::string& html) {
    std::lock_guard lock(mutex_);
    warrantyResults_[serial] = html;
  }

  // Serves html as the warranty page instead of the demo's form.
  void OverrideWarrantyPage(const std::string& html) {
    std::lock_guard lock(mutex_);
    warrantyPage_ = html;
  }

  // Answers the next `times` requests for path on the lookup site with 429
  // and this Retry-After (none when empty).
  void ThrottleLookup(const std::string& path, int times, const std::string& retryAfter) {
    std::lock_guard lock(mutex_);
    throttles_[path] = {times, retryAfter};
  }

  // How often the program's fetch (not a browser) asked for path on the lookup site.
  int Fetches(const std::string& path) {
    std::lock_guard lock(mutex_);
    return fetches_[path];
  }

  // Answers path on the lookup site with a redirect (302) to location.
  void RedirectLookup(const std::string& path, const std::string& location) {
    std::lock_guard lock(mutex_);
    overrides_[path] = {{}, {}, location};
  }

  // Answers path on the lookup site, or the warranty form's submission for
  // serial, only after ms milliseconds: a site slower than the demo.
  void DelayLookup(const std::string& path, int ms) {
    std::lock_guard lock(mutex_);
    lookupDelays_[path] = ms;
  }
  void DelayWarrantyResult(const std::string& serial, int ms) {
    std::lock_guard lock(mutex_);
    warrantyDelays_[serial] = ms;
  }

 private:
  void Delay(const std::map<std::string, int>& delays, const std::string& key) {
    int ms = 0;
    {
      std::lock_guard lock(mutex_);
      if (const auto it = delays.find(key); it != delays.end()) ms = it->second;
    }
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }

  QTemporaryDir dir_;
  LocalServer lookup_, portal_;
  std::unique_ptr<LocalServer> warranty_;
  std::mutex mutex_;
  struct Override {
    std::string content, type, location;
  };
  std::map<std::string, Override> overrides_;
  struct Throttle {
    int times = 0;
    std::string retryAfter;
  };
  std::map<std::string, Throttle> throttles_;
  std::map<std::string, int> fetches_;
  std::map<std::string, std::string> warrantyResults_;
  std::map<std::string, int> lookupDelays_, warrantyDelays_;
  std::string warrantyPage_;
  static httplib::Server::HandlerResponse Unhandled() {
    return httplib::Server::HandlerResponse::Unhandled;
  }
};

}  // namespace quarvel::testing
