#include "cli/batch_engine.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>

#include "base/config/quiet_output.h"
#include "base/gate/handler_gate.h"
#include "base/records/csv.h"
#include "batch/batch_worker.h"
#include "lookup/lookup_builder.h"
#include "platform/system/files.h"
#include "platform/system/process.h"

namespace quarvel::cli {
namespace {

// One lookup engine with its two hidden browsers, made as the window makes
// them. The entry is the batch's and nothing is shown.
class EngineLookup : public EntryLookup, private EntrySource {
 public:
  EngineLookup(const Config& config, LookupPath path) : host_(new QWidget) {
    host_->setAttribute(Qt::WA_DontShowOnScreen);
    host_->resize(480, 420);
    rig_ = std::make_unique<LookupRig>(host_.get(), config, LookupTimings{},
                                       static_cast<EntrySource&>(*this), nullptr);
    host_->show();
    QObject::connect(&rig_->engine(), &LookupEngine::Ended, &rig_->engine(),
                     [this](const LookupEnd& end) { Finish(end); });
    // As the window starts, but only the browser of the batch's path: the
    // other one never loads a page, and so has no render process to keep.
    rig_->LoadStartPage(path);
  }

  ~EngineLookup() override { rig_.reset(); }

  void Start(const LookupRequest& request, Done done) override {
    rig_->LoadStartPage(request.path);  // a path this engine was not made for loads now
    // Every entry starts from the warranty form: a result that was not found
    // may have left a page without it (a rejection page, a page that hung).
    if (request.path == LookupPath::Official && formMayBeGone_)
      rig_->ReloadStartPage(LookupPath::Official);
    formMayBeGone_ = false;
    request_ = request;
    done_ = std::move(done);
    ++generation_;
    const int generation = generation_;
    // As a click on 按钮1, after Start has returned.
    QTimer::singleShot(0, &rig_->engine(), [this, generation] {
      if (generation != generation_) return;
      HandlerGate::Deliver(nullptr, [this, generation] {
        if (generation != generation_) return;
        rig_->engine().RunQuery({request_.pictureFile});
      });
    });
  }

  void Cancel() override {
    formMayBeGone_ = true;
    ++generation_;
    done_ = nullptr;
    rig_->engine().StopAll();
  }

 private:
  QString EntryText() override { return request_.entry; }
  std::optional<LookupPath> ChosenPath() override { return request_.path; }

  void Finish(const LookupEnd& end) {
    if (!done_ || end.path != request_.path) return;
    // A found result sends the browser back to the form; nothing else does.
    if (end.kind != OutcomeKind::Found) formMayBeGone_ = true;
    Report(end.outcome());
  }

  void Report(const LookupOutcome& outcome) {
    Done done = std::move(done_);
    done_ = nullptr;
    ++generation_;
    // Never from inside the handler that ended the lookup.
    QTimer::singleShot(0, &rig_->engine(), [done, outcome] {
      if (done) done(outcome);
    });
  }

  std::unique_ptr<QWidget> host_;
  std::unique_ptr<LookupRig> rig_;
  LookupRequest request_;
  Done done_;
  int generation_ = 0;
  bool formMayBeGone_ = false;
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
  // Never outlives the batch, however it ends.
  if (!system::EndWithParent()) return 0;
  // Ctrl+C reaches the whole process group: the batch decides what stops.
  system::IgnoreInterrupts();
  // Workers run the comprehensive path only (the official path keeps its
  // engines in the batch's process).
  std::optional<BatchEngine> engine = LoadBatchEngine(config, LookupPath::Comprehensive, nullptr);
  if (!engine) return 1;
  const std::unique_ptr<QCoreApplication> app = engine->makeApplication(argc, argv);
  const std::unique_ptr<EntryLookup> lookup = engine->makeLookup(0);
  int status = 0;
  LineBuffer input;
  csv::FdSink output(system::kStandardOutput, false);  // a whole line a write, as a row is
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
  QSocketNotifier notifier(system::kStandardInput, QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    notifier.setEnabled(false);
    HandlerGate::Deliver(&notifier, [&] {
      char buffer[4096];
      const int64_t n = system::Read(system::kStandardInput, buffer, sizeof buffer);
      if (n == system::kNotReady) {
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
