#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

class QObject;
class QTimer;

namespace quarvel {

// Keeps the program's handlers from running inside one another.
//
// Every handler of the program (timer ticks, deadlines, clicks, menu items,
// deferred calls) enters through Deliver. While a handler runs, or while
// something waits in a nested event loop (a fetch, the pause, a page
// request), further deliveries are held and run afterwards, one after
// another, in the order they came. Only an Open scope (the window search of
// the page attachment) lets a delivery run at once, inside the current one.
class HandlerGate {
 public:
  // Runs handler now, or queues it while a handler runs or a wait lasts.
  // A key that is already queued is not queued twice: a timer that ticked
  // several times during a wait is delivered once.
  static void Deliver(const void* key, std::function<void()> handler);

  // True while a handler runs or a wait lasts.
  static bool Busy();

  // How many deliveries are held right now.
  static int Held();

  // Marks a wait: deliveries are held while it lives.
  class WaitScope {
   public:
    WaitScope();
    ~WaitScope();
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;
  };

  // Lets deliveries run at once while it lives, whatever is running.
  class Open {
   public:
    Open();
    ~Open();
    Open(const Open&) = delete;
    Open& operator=(const Open&) = delete;

   private:
    int savedDepth_;
  };
};

// Connects a timer to a handler through the gate. A held tick of a timer that
// was stopped before the tick could be delivered is dropped, as a stopped
// timer does not tick; a single-shot timer's tick is always delivered.
void ConnectTick(QTimer* timer, QObject* context, std::function<void()> handler);

// Runs a nested event loop until Done() is called or timeoutMs has passed:
// the windows keep painting and pages keep loading, user input waits, and the
// program's own handlers are held (see HandlerGate). Done() may be called
// before Wait(), and after the waiter is gone through a copy of Done's
// callback (DoneCallback), which then does nothing.
class Waiter {
 public:
  Waiter();
  ~Waiter();
  Waiter(const Waiter&) = delete;
  Waiter& operator=(const Waiter&) = delete;

  void Done();
  std::function<void()> DoneCallback() const;
  bool IsDone() const;

  // True when Done() came before the time-out.
  bool Wait(int timeoutMs);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// Waits for milliseconds as a Waiter does.
void PauseHoldingHandlers(int milliseconds);

}  // namespace quarvel
