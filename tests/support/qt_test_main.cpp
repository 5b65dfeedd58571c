// Runs GoogleTest inside a QApplication, headless.
#include <gtest/gtest.h>

#include <QtWebEngineCore/qtwebenginecoreglobal.h>
#include <QApplication>

#include <cstdlib>

#include "base/gate/handler_gate.h"
#include "support/wait.h"

namespace {

// What a test left held in the handler gate (a page load that ended as the
// test did) runs before the next test begins, so that each test starts on an
// idle gate and its own clicks run at once.
class GateDrain : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo&) override {
    quarvel::testing::WaitFor(
        [] { return !quarvel::HandlerGate::Busy() && quarvel::HandlerGate::Held() == 0; }, 5000);
  }
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QT_MEDIA_BACKEND", "gstreamer", 1);
  setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  // Names under quarvel.test lead to loopback: tests give a loopback server a
  // name that is no loopback literal.
  setenv("QTWEBENGINE_CHROMIUM_FLAGS",
         "--disable-background-networking "
         "--host-resolver-rules=\"MAP *.quarvel.test 127.0.0.1\"",
         0);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new GateDrain);
  return RUN_ALL_TESTS();
}
