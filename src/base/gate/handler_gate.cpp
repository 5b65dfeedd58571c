#include "base/gate/handler_gate.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <utility>

namespace quarvel {
namespace {

struct HeldCall {
  const void* key;
  std::function<void()> handler;
};

struct GateState {
  int depth = 0;  // running handlers plus waits
  std::deque<HeldCall> queue;
  bool drainPosted = false;
};

GateState& Gate() {
  static GateState state;
  return state;
}

void Run(const std::function<void()>& handler);

// Delivers what was held, once nothing runs any more.
void Drain() {
  GateState& gate = Gate();
  gate.drainPosted = false;
  while (gate.depth == 0 && !gate.queue.empty()) {
    HeldCall next = std::move(gate.queue.front());
    gate.queue.pop_front();
    Run(next.handler);
  }
}

void PostDrain() {
  GateState& gate = Gate();
  if (gate.drainPosted || gate.queue.empty()) return;
  if (QCoreApplication* app = QCoreApplication::instance()) {
    gate.drainPosted = true;
    QMetaObject::invokeMethod(app, &Drain, Qt::QueuedConnection);
  }
}

void Leave() {
  GateState& gate = Gate();
  if (--gate.depth == 0) PostDrain();
}

void Run(const std::function<void()>& handler) {
  ++Gate().depth;
  struct Guard {
    ~Guard() { Leave(); }
  } guard;
  handler();
}

}  // namespace

void HandlerGate::Deliver(const void* key, std::function<void()> handler) {
  GateState& gate = Gate();
  if (gate.depth == 0 && gate.queue.empty()) {
    Run(handler);
    return;
  }
  for (const HeldCall& held : gate.queue) {
    if (key != nullptr && held.key == key) return;
  }
  gate.queue.push_back({key, std::move(handler)});
  if (gate.depth == 0) PostDrain();
}

bool HandlerGate::Busy() { return Gate().depth > 0; }

int HandlerGate::Held() { return static_cast<int>(Gate().queue.size()); }

HandlerGate::WaitScope::WaitScope() { ++Gate().depth; }

HandlerGate::WaitScope::~WaitScope() { Leave(); }

HandlerGate::Open::Open() : savedDepth_(Gate().depth) {
  Gate().depth = 0;
  PostDrain();
}

HandlerGate::Open::~Open() { Gate().depth = savedDepth_; }

void ConnectTick(QTimer* timer, QObject* context, std::function<void()> handler) {
  QObject::connect(timer, &QTimer::timeout, context, [timer, handler = std::move(handler)] {
    const bool singleShot = timer->isSingleShot();
    HandlerGate::Deliver(timer, [timer = QPointer<QTimer>(timer), handler, singleShot] {
      if (!timer || (!singleShot && !timer->isActive())) return;
      handler();
    });
  });
}

struct Waiter::State {
  bool done = false;
  QEventLoop* loop = nullptr;
};

Waiter::Waiter() : state_(std::make_shared<State>()) {}

Waiter::~Waiter() = default;

void Waiter::Done() {
  state_->done = true;
  if (state_->loop) state_->loop->quit();
}

std::function<void()> Waiter::DoneCallback() const {
  std::weak_ptr<State> weak = state_;
  return [weak] {
    if (auto state = weak.lock()) {
      state->done = true;
      if (state->loop) state->loop->quit();
    }
  };
}

bool Waiter::IsDone() const { return state_->done; }

bool Waiter::Wait(int timeoutMs) {
  if (state_->done) return true;
  HandlerGate::WaitScope scope;
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  state_->loop = &loop;
  timer.start(timeoutMs);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  state_->loop = nullptr;
  return state_->done;
}

void PauseHoldingHandlers(int milliseconds) {
  Waiter waiter;
  waiter.Wait(milliseconds);
}

}  // namespace quarvel
