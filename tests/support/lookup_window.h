#pragma once

// The real main window on the demo sites, with short periods and a data
// folder of its own.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <memory>
#include <optional>

#include "gui/shell/main_window.h"
#include "gui/voice/voice.h"
#include "support/demo_sites.h"
#include "support/main_window_controls.h"
#include "support/wait.h"

namespace quarvel::testing {

class LookupWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    Open(ShortTimings());
  }

  // Shorter periods than the program's.
  static LookupTimings ShortTimings() {
    LookupTimings timings;
    timings.pauseMs = 300;
    timings.lookupPollMs = 200;
    timings.formPollMs = 300;
    timings.resultPollMs = 200;
    return timings;
  }

  // A new window on the demo sites (or config), started as the program starts it.
  void Open(const LookupTimings& timings, std::optional<Config> config = std::nullopt) {
    ui.reset();
    window.reset();
    WindowServices services;
    services.timings = timings;
    window = std::make_unique<MainWindow>(config ? *config : sites.MakeConfig(), services);
    ui = std::make_unique<MainWindowControls>(*window);
    window->show();
    window->OnCreated();
  }

  void Query(const QString& serial, bool official = false) {
    (official ? ui->OfficialQueryRadio : ui->ComprehensiveQueryRadio)->setChecked(true);
    ui->SerialInput->setText(serial);
    ui->QueryButton->click();
  }

  bool WaitForStatus(const QString& status, int timeoutMs = 20000) {
    return WaitFor([&] { return window->Status() == status; }, timeoutMs);
  }

  QString DataFolder() const { return data.filePath(QStringLiteral("quarvel")); }

  DemoSites sites;
  QTemporaryDir data;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<MainWindowControls> ui;
};

}  // namespace quarvel::testing
