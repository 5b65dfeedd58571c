// Runs GoogleTest inside a QApplication, headless.
#include <gtest/gtest.h>

#include <QtWebEngineCore/qtwebenginecoreglobal.h>
#include <QApplication>

#include <cstdlib>

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
  return RUN_ALL_TESTS();
}
