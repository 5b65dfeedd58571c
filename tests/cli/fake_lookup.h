#pragma once

// A lookup engine for tests: answers after a delay chosen per entry.
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

#include "lookup/lookup_outcome.h"

namespace quarvel::testing {

struct FakePlan {
  int delayMs = 0;
  LookupOutcome outcome;
  bool answer = true;  // false: never calls back
};

// What every fake engine of one batch shares.
struct FakeShared {
  std::function<FakePlan(const LookupRequest&)> plan = [](const LookupRequest&) {
    return FakePlan{};
  };
  QList<LookupRequest> started;
  int running = 0;
  int mostRunning = 0;
  int cancels = 0;
};

class FakeLookup : public EntryLookup {
 public:
  explicit FakeLookup(std::shared_ptr<FakeShared> shared) : shared_(std::move(shared)) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      --shared_->running;
      Done done = std::move(done_);
      done(outcome_);
    });
  }

  void Start(const LookupRequest& request, Done done) override {
    shared_->started.append(request);
    shared_->mostRunning = std::max(shared_->mostRunning, ++shared_->running);
    const FakePlan plan = shared_->plan(request);
    done_ = std::move(done);
    outcome_ = plan.outcome;
    if (plan.answer) timer_.start(plan.delayMs);
  }

  void Cancel() override {
    ++shared_->cancels;
    --shared_->running;
    timer_.stop();
    done_ = nullptr;
  }

  static EntryLookupFactory Factory(std::shared_ptr<FakeShared> shared) {
    return [shared](int) { return std::make_unique<FakeLookup>(shared); };
  }

 private:
  std::shared_ptr<FakeShared> shared_;
  QTimer timer_;
  Done done_;
  LookupOutcome outcome_;
};

}  // namespace quarvel::testing
