#include "gui/shell/menu_commands.h"

#include <QCoreApplication>

#include "base/config/start_state.h"
#include "base/files/data_folder.h"
#include "gui/notices.h"
#include "gui/secondary_windows/about_window.h"
#include "gui/secondary_windows/batch_window.h"
#include "gui/secondary_windows/history_window.h"
#include "gui/secondary_windows/month_table_window.h"
#include "gui/shell/main_window.h"

namespace quarvel {

void OnRestart(MainWindow& window) {
  // The running executable itself, whatever its file name, with the options it
  // was started with (the launcher keeps the environment).
  window.services().launcher(QCoreApplication::applicationFilePath(), StartArguments());
  window.close();
}

void OnExit(MainWindow& window) { window.OnClosed(); }

void OnHistory(MainWindow& window) {
  if (window.historyWindow) {
    window.historyWindow->raise();
    window.historyWindow->activateWindow();
    return;
  }
  HistoryWindow::Services services;
  services.saveDialog = window.services().saveDialog;
  services.openUrl = window.services().openUrl;
  auto* history = new HistoryWindow(DataFolder(), services);
  window.historyWindow = history;
  history->show();
}

void OnBatch(MainWindow& window) {
  if (window.batchWindow) {
    window.batchWindow->raise();
    window.batchWindow->activateWindow();
    return;
  }
  BatchWindow::Services services;
  services.saveDialog = window.services().saveDialog;
  // Engines of its own, on the window's hosts; its lookups go into the history.
  auto* batch = new BatchWindow(window.config(), DataFolder(), services);
  window.batchWindow = batch;
  batch->show();
}

void OnInstructions(MainWindow& window) { Announce(window, Notice::Instructions); }

void OnAbout(MainWindow& window) {
  if (window.aboutWindow) {  // already open: bring it forward
    window.aboutWindow->raise();
    window.aboutWindow->activateWindow();
    return;
  }
  auto* about = new AboutWindow(window.config());
  window.aboutWindow = about;
  about->OnCreated(window.Frame());
  about->show();
}

void OnMonthTableClick(MainWindow& window) {
  if (window.monthTableWindow) {
    window.monthTableWindow->raise();
    window.monthTableWindow->activateWindow();
    return;
  }
  auto* table = new MonthTableWindow();
  window.monthTableWindow = table;
  table->OnCreated(window.Frame());
  table->show();
}

}  // namespace quarvel
