#include "cli/batch_engine.h"

#include <QApplication>
#include <QTimer>
#include <QWebEngineView>
#include <QWidget>

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "base/batch_worker.h"
#include "base/csv.h"
#include "base/handler_gate.h"
#include "base/http_fetch.h"
#include "base/quiet_output.h"
#include "base/safe_file.h"
#include "lookup/lookup_engine.h"
#include "webpage/browser.h"
#include "webpage/browser_port.h"

namespace quarvel::cli {
namespace {

// The window's stand-in: the entry is the batch's, the radio buttons follow
// the path, and nothing is shown or played.
class HeadlessView : public LookupView {
 public:
  QString entry;
  LookupPath path = LookupPath::Comprehensive;

  QString EntryText() override { return entry; }
  std::optional<LookupPath> ChosenPath() override { return path; }
  void SetStatus(const QString&) override {}
  void PlayCue(const QString&) override {}
  void SetVisible(LookupControl, bool) override {}
  void SetCaption(LookupControl, const QString&) override {}
  void SetResultPicture(const QByteArray&) override {}
};

// One lookup engine with its two hidden browsers, as the window has them.
class EngineLookup : public EntryLookup {
 public:
  EngineLookup(const Config& config, LookupPath path) : host_(new QWidget) {
    host_->setAttribute(Qt::WA_DontShowOnScreen);
    host_->resize(480, 420);
    lookupView_ = CreateBrowser(host_.get(), QStringLiteral("WebBrowser1"));
    warrantyView_ = CreateBrowser(host_.get(), QStringLiteral("WebBrowser2"));
    lookupView_->setGeometry(0, 0, 100, 100);
    warrantyView_->setGeometry(0, 0, 432, 416);
    host_->show();
    lookupPort_ = std::make_unique<WebBrowserPort>(lookupView_);
    warrantyPort_ = std::make_unique<WebBrowserPort>(warrantyView_);
    const Fetch fetch = [](const QString& url, int timeoutMs) {
      FetchLimits limits;
      limits.total = std::chrono::milliseconds(timeoutMs);
      return HttpGetBytes(url, limits);
    };
    engine_ = std::make_unique<LookupEngine>(config, LookupTimings{}, view_, *lookupPort_,
                                             *warrantyPort_, fetch);
    QObject::connect(engine_.get(), &LookupEngine::Ended, engine_.get(),
                     [this](const LookupEnd& end) { Finish(end); });
    // As the window starts, but only the browser of the batch's path: the
    // other one never loads a page, and so has no render process to keep.
    Load(path);
  }

  ~EngineLookup() override {
    engine_.reset();
    lookupPort_.reset();
    warrantyPort_.reset();
  }

  void Start(const LookupRequest& request, Done done) override {
    Load(request.path);  // a path this engine was not made for loads now
    request_ = request;
    done_ = std::move(done);
    view_.entry = request.entry;
    view_.path = request.path;
    ++generation_;
    const int generation = generation_;
    // As a click on 按钮1, after Start has returned.
    QTimer::singleShot(0, engine_.get(), [this, generation] {
      if (generation != generation_) return;
      HandlerGate::Deliver(nullptr, [this, generation] {
        if (generation != generation_) return;
        engine_->RunQuery({request_.pictureFile});
      });
    });
  }

  void Cancel() override {
    ++generation_;
    done_ = nullptr;
    engine_->StopAll();
  }

 private:
  void Load(LookupPath path) {
    if (path == LookupPath::Comprehensive && !lookupLoaded_) {
      lookupPort_->Navigate(engine_->config().portalHost);
      lookupLoaded_ = true;
    } else if (path == LookupPath::Official && !warrantyLoaded_) {
      warrantyPort_->Navigate(engine_->config().WarrantyPageUrl());
      warrantyLoaded_ = true;
    }
  }

  void Finish(const LookupEnd& end) {
    if (!done_ || end.path != request_.path) return;
    Report(end.outcome());
  }

  void Report(const LookupOutcome& outcome) {
    Done done = std::move(done_);
    done_ = nullptr;
    ++generation_;
    // Never from inside the handler that ended the lookup.
    QTimer::singleShot(0, engine_.get(), [done, outcome] {
      if (done) done(outcome);
    });
  }

  std::unique_ptr<QWidget> host_;
  QWebEngineView* lookupView_ = nullptr;
  QWebEngineView* warrantyView_ = nullptr;
  std::unique_ptr<WebBrowserPort> lookupPort_, warrantyPort_;
  HeadlessView view_;
  std::unique_ptr<LookupEngine> engine_;
  LookupRequest request_;
  Done done_;
  int generation_ = 0;
  bool lookupLoaded_ = false, warrantyLoaded_ = false;
};

}  // namespace

std::optional<BatchEngine> LoadBatchEngine(const Config& config, LookupPath path,
                                           QString* /*reason*/) {
  BatchEngine engine;
  engine.makeApplication = [](int& argc, char** argv) -> std::unique_ptr<QCoreApplication> {
    // Hidden windows only: no display is needed.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QuietToolkitOutput();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return std::make_unique<QApplication>(argc, argv);
  };
  engine.makeLookup = [config, path](int) -> std::unique_ptr<EntryLookup> {
    return std::make_unique<EngineLookup>(config, path);
  };
  return engine;
}

int RunBatchWorker(int& argc, char** argv, const Config& config) {
#ifdef __linux__
  // Never outlives the batch, however it ends.
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() == 1) return 0;
#endif
  // Ctrl+C reaches the whole process group: the batch decides what stops.
  std::signal(SIGINT, SIG_IGN);
  // Workers run the comprehensive path only (the official path keeps its
  // engines in the batch's process).
  std::optional<BatchEngine> engine = LoadBatchEngine(config, LookupPath::Comprehensive, nullptr);
  if (!engine) return 1;
  const std::unique_ptr<QCoreApplication> app = engine->makeApplication(argc, argv);
  const std::unique_ptr<EntryLookup> lookup = engine->makeLookup(0);
  int status = 0;
  LineBuffer input;
  csv::FdSink output(STDOUT_FILENO, false);  // a whole line a write, as a row is
  QList<LookupRequest> waiting;
  bool busy = false;
  bool ended = false;

  const auto finish = [&](int code) {
    if (ended) return;
    ended = true;
    status = code;
    lookup->Cancel();
    QCoreApplication::exit(code);
  };
  std::function<void()> startNext = [&] {
    if (busy || waiting.isEmpty() || ended) return;
    busy = true;
    lookup->Start(waiting.takeFirst(), [&](const LookupOutcome& outcome) {
      busy = false;
      if (!output.Write(EncodeWorkerOutcome(outcome))) {
        finish(0);  // the batch is gone
        return;
      }
      startNext();
    });
  };

  // Standard input is read through the gate, as every handler runs: never
  // inside one of the engine's waits. The notifier stays off until then.
  QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    notifier.setEnabled(false);
    HandlerGate::Deliver(&notifier, [&] {
      char buffer[4096];
      const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        notifier.setEnabled(true);
        return;
      }
      if (n <= 0) {
        finish(0);
        return;
      }
      input.Append(QByteArrayView(buffer, n));
      while (const std::optional<QByteArray> line = input.Next()) {
        const std::optional<LookupRequest> request = DecodeWorkerRequest(*line);
        if (!request) {
          std::fputs("quarvel-cli batch-worker: a line that is no request\n", stderr);
          finish(2);
          return;
        }
        waiting.append(*request);
      }
      if (input.Broken()) {
        std::fputs("quarvel-cli batch-worker: a line that is no request\n", stderr);
        finish(2);
        return;
      }
      startNext();
      notifier.setEnabled(true);
    });
  });
  QCoreApplication::exec();
  return status;
}

}  // namespace quarvel::cli
