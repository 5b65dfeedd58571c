#pragma once

// The real main window on the demo sites, with short periods and a data
// folder of its own.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <memory>

#include "app/main_window.h"
#include "support/demo_sites.h"
#include "support/wait.h"
#include "system/voice.h"

namespace quarvel::testing {

class LookupWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    window = std::make_unique<MainWindow>(sites.MakeConfig());
    window->timings.pauseMs = 300;
    window->timings.lookupPollMs = 200;
    window->timings.formPollMs = 300;
    window->timings.resultPollMs = 200;
    window->show();
    window->OnCreated();
  }

  void Query(const QString& serial) {
    window->ComprehensiveQueryRadio->setChecked(true);
    window->SerialInput->setText(serial);
    window->QueryButton->click();
  }

  bool WaitForStatus(const QString& status, int timeoutMs = 20000) {
    return WaitFor([&] { return window->Status() == status; }, timeoutMs);
  }

  QString DataFolder() const { return data.filePath(QStringLiteral("quarvel")); }

  DemoSites sites;
  QTemporaryDir data;
  std::unique_ptr<MainWindow> window;
};

}  // namespace quarvel::testing
