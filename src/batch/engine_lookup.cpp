#include "batch/engine_lookup.h"

#include <QTimer>

#include <QWidget>
#include <atomic>
#include <memory>

#include "base/gate/handler_gate.h"
#include "lookup/lookup_builder.h"
#include "webpage/page_keeper.h"

namespace quarvel {
namespace {

// One lookup engine with its two hidden browsers, made as the window makes
// them, in a host window of its own that is never shown on the screen. The
// entry is the batch's.
class EngineLookup : public EntryLookup, private EntrySource {
 public:
  EngineLookup(const Config& config, LookupPath path) : host_(new QWidget) {
    host_->setAttribute(Qt::WA_DontShowOnScreen);
    host_->resize(480, 420);
    rig_ = std::make_unique<LookupRig>(
        host_.get(), config, LookupTimings::Batch(), static_cast<EntrySource&>(*this), nullptr,
        [open = pictureOpen_, fetch = DefaultFetch()](const QString& url, int timeoutMs) {
          // One picture a lookup attempt, and none for a lookup that has
          // ended or not begun (a tick or handler that outlived its query):
          // such a handler sees no picture, and its ending is not taken.
          // Asked on a worker thread at a batch's pace.
          if (!open->exchange(false)) return HttpReply();
          return fetch(url, timeoutMs);
        });
    host_->show();  // a page that is not shown does not come in while it loads
    QObject::connect(&rig_->engine(), &LookupEngine::Ended, &rig_->engine(),
                     [this](const LookupEnd& end) { Finish(end); });
    // As the window starts, but only the browser of the batch's path: the
    // other one never loads a page, and so has no render process to keep.
    rig_->LoadStartPage(path);
  }

  ~EngineLookup() override { rig_.reset(); }

  void Start(const LookupRequest& request, Done done) override {
    // A path this engine was not made for loads now; every official entry
    // starts from the form (the site sends the browser there when needed).
    rig_->LoadStartPage(request.path);
    request_ = request;
    done_ = std::move(done);
    asked_ = false;
    pictureOpen_->store(false);
    ++generation_;
    const int generation = generation_;
    // As a click on 按钮1, after Start has returned.
    QTimer::singleShot(0, &rig_->engine(), [this, generation] {
      if (generation != generation_) return;
      HandlerGate::Deliver(nullptr, [this, generation] {
        if (generation != generation_) return;
        asked_ = true;
        pictureOpen_->store(true);
        rig_->engine().RunQuery({request_.pictureFile, request_.pictureFile.isEmpty()});
      });
    });
  }

  void Cancel() override {
    ++generation_;
    done_ = nullptr;
    asked_ = false;
    pictureOpen_->store(false);
    rig_->engine().StopAll();
  }

 private:
  QString EntryText() override { return request_.entry; }
  std::optional<LookupPath> ChosenPath() override { return request_.path; }

  void Finish(const LookupEnd& end) {
    if (!done_ || !asked_ || end.path != request_.path) return;
    asked_ = false;  // one ending a request
    pictureOpen_->store(false);
    // The page this lookup leaves must still answer: one that hangs now is
    // replaced before the next entry comes to it. The ending is told once
    // that is known; the other engines move meanwhile.
    QWebEngineView* browser =
        request_.path == LookupPath::Official ? rig_->warrantyBrowser() : rig_->lookupBrowser();
    PageKeeper* keeper = PageKeeper::Of(browser);
    if (!keeper) {
      Report(end.outcome());
      return;
    }
    const int generation = generation_;
    keeper->CheckAlive(PageKeeper::kProbeMs, [self = QPointer<LookupEngine>(&rig_->engine()), this,
                                              generation, outcome = end.outcome()] {
      if (self && generation == generation_) Report(outcome);
    });
  }

  void Report(const LookupOutcome& outcome) {
    pictureOpen_->store(false);
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
  bool asked_ = false;  // the site was asked for this request
  // Its picture may still be fetched, once; shared with the fetch, which a
  // worker thread calls.
  std::shared_ptr<std::atomic<bool>> pictureOpen_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace

EntryLookupFactory EngineLookupFactory(const Config& config, LookupPath path) {
  return [config, path](int) -> std::unique_ptr<EntryLookup> {
    return std::make_unique<EngineLookup>(config, path);
  };
}

}  // namespace quarvel
