#include <gtest/gtest.h>

#include <QTimer>

#include <vector>

#include "base/gate/handler_gate.h"
#include "support/wait.h"

namespace quarvel {
namespace {

using testing::WaitFor;

TEST(HandlerGate, TicksWaitUntilTheWaitingHandlerEndsThenComeOnceInOrder) {
  QObject context;
  QTimer fast, slow;
  fast.setInterval(0);
  slow.setInterval(5);
  std::vector<char> order;
  bool insideWait = false;
  int ticksInsideWait = 0;
  ConnectTick(&fast, &context, [&] {
    if (insideWait) ++ticksInsideWait;
    order.push_back('f');
  });
  ConnectTick(&slow, &context, [&] {
    if (insideWait) ++ticksInsideWait;
    order.push_back('s');
    slow.stop();  // its later ticks are no part of the test, however slow the machine
  });

  HandlerGate::Deliver(nullptr, [&] {
    fast.start();
    slow.start();
    insideWait = true;
    PauseHoldingHandlers(60);  // both timers fire many times meanwhile
    insideWait = false;
    EXPECT_EQ(HandlerGate::Held(), 2);  // each timer once
  });
  EXPECT_EQ(ticksInsideWait, 0);
  EXPECT_TRUE(order.empty());  // not even right after the handler: the loop delivers them
  fast.stop();
  ASSERT_TRUE(WaitFor([&] { return HandlerGate::Held() == 0 && !order.empty(); }));
  slow.stop();
  // The fast timer's held tick was dropped: it was stopped before delivery.
  ASSERT_EQ(order.size(), 1u);
  EXPECT_EQ(order[0], 's');
}

TEST(HandlerGate, OpenScopeLetsOtherHandlersRunAndNestedDeliveriesQueue) {
  std::vector<int> order;
  HandlerGate::Deliver(nullptr, [&] {
    order.push_back(1);
    HandlerGate::Deliver(nullptr, [&] { order.push_back(3); });  // held
    {
      HandlerGate::Open open;
      HandlerGate::Deliver(nullptr, [&] { order.push_back(2); });  // queued behind 3
    }
    order.push_back(4);
  });
  ASSERT_TRUE(WaitFor([&] { return order.size() == 4; }));
  // Inside the open scope the held delivery keeps its place in the queue:
  // the two run in the order they came, after the outer handler.
  EXPECT_EQ(order, (std::vector<int>{1, 4, 3, 2}));

  order.clear();
  HandlerGate::Deliver(nullptr, [&] {
    HandlerGate::Open open;
    HandlerGate::Deliver(nullptr, [&] { order.push_back(1); });  // nothing held: runs inside
    order.push_back(2);
  });
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(HandlerGate, WaiterEndsOnDoneOrTimeOutAndAStaleCallbackIsHarmless) {
  std::function<void()> late;
  {
    Waiter waiter;
    QTimer::singleShot(5, waiter.DoneCallback());
    EXPECT_TRUE(waiter.Wait(5000));
    late = waiter.DoneCallback();
  }
  late();  // the waiter is gone
  Waiter slow;
  EXPECT_FALSE(slow.Wait(10));
  Waiter early;
  early.Done();
  EXPECT_TRUE(early.Wait(0));
}

}  // namespace
}  // namespace quarvel
