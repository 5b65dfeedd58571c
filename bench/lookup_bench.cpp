// The lookups: the program's own work per tick (attachment, reads, decisions;
// no page loading) on the demo pages, and the whole query time with the real
// timer periods against the floor those periods set.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEngineView>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "gui/secondary_windows/batch_window.h"
#include "gui/shell/main_window.h"
#include "lookup/comprehensive_site.h"
#include "lookup/official_site.h"
#include "site.h"
#include "support/main_window_controls.h"
#include "tls_certificate.h"
#include "webpage/browser.h"
#include "webpage/page_keeper.h"

namespace {

using quarvel::bench::Load;
using quarvel::bench::MedianMs;
using quarvel::bench::WaitFor;

using namespace quarvel;

struct Server {
  explicit Server(httplib::Server* s) : server(s) {
    port = server->bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server->listen_after_bind(); });
    while (!server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Server() {
    server->stop();
    thread.join();
  }
  QString Host() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
  std::unique_ptr<httplib::Server> server;
  int port = 0;
  std::thread thread;
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-background-networking", 0);
  QTemporaryDir data;
  setenv("XDG_DATA_HOME", data.path().toLocal8Bit().constData(), 1);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);

  const std::string cert = QDir(data.path()).filePath("cert.pem").toStdString();
  const std::string key = QDir(data.path()).filePath("key.pem").toStdString();
  if (!demo::MakeSelfSignedCertificate(cert, key)) return 1;
  auto* lookupServer = new httplib::Server;
  auto* portalServer = new httplib::Server;
  auto* warrantyServer = new httplib::SSLServer(cert.c_str(), key.c_str());
  // Pictures slower than the demo's, once the batch part begins.
  std::atomic<bool> slowPictures{false};
  lookupServer->set_pre_routing_handler(
      [&slowPictures](const httplib::Request& req, httplib::Response&) {
        if (slowPictures && req.path.rfind("/index.php/pic/", 0) == 0)
          std::this_thread::sleep_for(std::chrono::seconds(3));
        return httplib::Server::HandlerResponse::Unhandled;
      });
  demo::MountLookupSite(*lookupServer);
  demo::MountPortal(*portalServer);
  demo::MountWarrantySite(*warrantyServer);
  Server lookup(lookupServer), portal(portalServer), warranty(warrantyServer);

  Config config;
  config.lookupHost = lookup.Host();
  config.portalHost = portal.Host();
  config.warrantyHost = warranty.Host();
  MainWindow window(config);
  const quarvel::testing::MainWindowControls ui(window);
  window.show();
  window.OnCreated();

  // Per tick: pages that hold none of the markers, so a tick only attaches,
  // reads and decides.
  if (!Load(ui.LookupBrowser, "http://" + config.portalHost)) return 1;
  if (!Load(ui.WarrantyBrowser, "http://" + config.portalHost)) return 1;
  const double lookupTick =
      MedianMs(50, [&] { window.lookups().findChild<ComprehensiveSite*>()->OnTick(); });
  const double formTick =
      MedianMs(50, [&] { window.lookups().findChild<OfficialSite*>()->OnFormTick(); });
  if (!Load(ui.WarrantyBrowser, config.WarrantyPageUrl())) return 1;
  const double resultTick =
      MedianMs(50, [&] { window.lookups().findChild<OfficialSite*>()->OnResultTick(); });
  std::printf("lookup_result_tick_own_work: %.2f ms\n", lookupTick);
  std::printf("warranty_form_tick_own_work: %.2f ms\n", formTick);
  std::printf("warranty_result_tick_own_work: %.2f ms\n", resultTick);
  std::fflush(stdout);

  // Whole queries with the real periods.
  const auto timeQuery = [&](bool official, const QString& serial) {
    window.SetStatus(QString());
    (official ? ui.OfficialQueryRadio : ui.ComprehensiveQueryRadio)->setChecked(true);
    ui.SerialInput->setText(serial);
    QElapsedTimer clock;
    clock.start();
    ui.QueryButton->click();
    if (!WaitFor([&] { return window.Status() == QStringLiteral("查询成功"); }, 30000)) return -1.0;
    return clock.nsecsElapsed() / 1e6;
  };
  const double comprehensive = timeQuery(false, QStringLiteral("C39XK0ABHG7F"));
  const double comprehensiveFloor =
      window.lookups().timings().pauseMs + window.lookups().timings().lookupPollMs;
  const double official = timeQuery(true, QStringLiteral("C39XK0ABHG7F"));
  const double officialFloor =
      window.lookups().timings().formPollMs + window.lookups().timings().resultPollMs;
  std::printf("comprehensive_query_total: %.0f ms\n", comprehensive);
  std::printf("comprehensive_query_floor: %.0f ms\n", comprehensiveFloor);
  std::printf("comprehensive_query_ratio: %.3f x\n", comprehensive / comprehensiveFloor);
  std::printf("official_query_total: %.0f ms\n", official);
  std::printf("official_query_floor: %.0f ms\n", officialFloor);
  std::printf("official_query_ratio: %.3f x\n", official / officialFloor);
  std::fflush(stdout);

  // A render process killed under a browser: from its death to the next
  // query's success, beyond what that query takes on a sound page.
  const auto afterDeath = [&](QWebEngineView* view, bool official, double sound) {
    PageKeeper* keeper = PageKeeper::Of(view);
    const int before = keeper->Replacements();
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(view->page()->renderProcessPid()), SIGKILL);
    if (!WaitFor([&] { return keeper->Replacements() > before; }, 10000)) return -1.0;
    const double replaced = clock.nsecsElapsed() / 1e6;
    const double query = timeQuery(official, QStringLiteral("C39XK0ABHG7F"));
    return query < 0 ? -1.0 : replaced + query - sound;
  };
  std::printf("dead_renderer_extra_comprehensive: %.0f ms\n",
              afterDeath(ui.LookupBrowser, false, comprehensive));
  std::printf("dead_renderer_extra_official: %.0f ms\n",
              afterDeath(ui.WarrantyBrowser, true, official));
  std::fflush(stdout);

  // A key typed in the main window: from the key's event to its letter in
  // the entry box, alone and while the batch window runs a list whose
  // pictures take 3 s each.
  const auto keyLatency = [&](int keys) {
    std::vector<double> times;
    for (int i = 0; i < keys; ++i) {
      const QString before = ui.SerialInput->text();
      QElapsedTimer clock;
      clock.start();
      QCoreApplication::postEvent(ui.SerialInput,
                                  new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
      if (!WaitFor([&] { return ui.SerialInput->text() != before; }, 30000)) return -1.0;
      times.push_back(clock.nsecsElapsed() / 1e6);
      WaitFor([] { return false; }, 150);
    }
    std::sort(times.begin(), times.end());
    return times.back();
  };
  ui.SerialInput->setFocus();
  ui.SerialInput->clear();
  const double alone = keyLatency(20);
  slowPictures = true;
  BatchWindow batch(config, QDir(data.path()).filePath("quarvel"), {});
  QStringList entries;
  for (int i = 0; i < 40; ++i) entries << QStringLiteral("C39XK0ABHG7F");
  batch.ListInput->setPlainText(entries.join('\n'));
  batch.StartBatch();
  // Once the batch's engines are at work.
  WaitFor([&] { return batch.results().rowCount() > 0; }, 60000);
  window.activateWindow();
  ui.SerialInput->setFocus();
  const double duringBatch = keyLatency(20);
  batch.StopBatch();
  WaitFor([&] { return !batch.Running(); }, 20000);
  std::printf("main_window_key_latency_max: %.1f ms\n", alone);
  std::printf("main_window_key_latency_max_during_batch: %.1f ms\n", duringBatch);
  return 0;
}
