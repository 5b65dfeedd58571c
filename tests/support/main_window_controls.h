#pragma once

// The main window's controls, found by their layout names as a user of the
// window sees them (the window keeps its widgets to itself).
#include <gtest/gtest.h>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWebEngineView>

#include "gui/shell/main_window.h"
#include "gui/voice/voice.h"

namespace quarvel::testing {

template <typename T = QWidget>
T* Named(const QObject& owner, const char* name) {
  T* found = owner.findChild<T*>(QString::fromUtf8(name));
  // A renamed control fails the test by its name, and does not crash it.
  if (!found) ADD_FAILURE() << "no control named " << name;
  return found;
}

struct MainWindowControls {
  explicit MainWindowControls(const QObject& w)
      : SerialPromptLabel(Named<QLabel>(w, "透明标签1")),
        SerialInput(Named<QLineEdit>(w, "编辑框1")),
        QueryButton(Named<QPushButton>(w, "按钮1")),
        ComprehensiveQueryRadio(Named<QRadioButton>(w, "单选框1")),
        OfficialQueryRadio(Named<QRadioButton>(w, "单选框2")),
        ResultGroup(Named<QGroupBox>(w, "分组框1")),
        CopyButton(Named<QPushButton>(w, "按钮5")),
        ScreenshotButton(Named<QPushButton>(w, "按钮3")),
        MonthTableButton(Named<QPushButton>(w, "按钮4")),
        StatusBar(Named<StatusPanels>(w, "状态条1")),
        ImageTestButton(Named<QPushButton>(w, "按钮2")),
        LookupBrowser(Named<QWebEngineView>(w, "WebBrowser1")),
        WarrantyBrowser(Named<QWebEngineView>(w, "WebBrowser2")),
        LookupResultTimer(Named<QTimer>(w, "时钟1")),
        WarrantyResultTimer(Named<QTimer>(w, "时钟2")),
        WarrantyFormTimer(Named<QTimer>(w, "时钟3")),
        LookupDeadline(Named<QTimer>(w, "LookupDeadline")),
        WarrantyDeadline(Named<QTimer>(w, "WarrantyDeadline")),
        ModelLabel(Named<QLabel>(w, "产品型号")),
        SerialLabel(Named<QLabel>(w, "系列号")),
        WarrantyEndLabel(Named<QLabel>(w, "保修截止")),
        BusyAnimation(Named<QLabel>(w, "图片框2")),
        BusyLabel(Named<QLabel>(w, "透明标签2")),
        ResultPicture(Named<QLabel>(w, "图片框1")),
        WatermarkLabel(Named<QLabel>(w, "透明标签3")),
        CuePlayer(Named<CuePlayerWidget>(w, "播放器1")),
        MainMenu(Named<QMenu>(w, "MainMenu")),
        VoiceOffItem(Named<QAction>(w, "VoiceOffItem")),
        VoiceOnItem(Named<QAction>(w, "VoiceOnItem")),
        RestartItem(Named<QAction>(w, "RestartItem")),
        ExitItem(Named<QAction>(w, "ExitItem")),
        HelpMenu(Named<QMenu>(w, "HelpMenu")),
        InstructionsItem(Named<QAction>(w, "InstructionsItem")),
        AboutItem(Named<QAction>(w, "AboutItem")) {}

  QLabel* SerialPromptLabel;
  QLineEdit* SerialInput;
  QPushButton* QueryButton;
  QRadioButton* ComprehensiveQueryRadio;
  QRadioButton* OfficialQueryRadio;
  QGroupBox* ResultGroup;
  QPushButton* CopyButton;
  QPushButton* ScreenshotButton;
  QPushButton* MonthTableButton;
  StatusPanels* StatusBar;
  QPushButton* ImageTestButton;
  QWebEngineView* LookupBrowser;
  QWebEngineView* WarrantyBrowser;
  QTimer* LookupResultTimer;
  QTimer* WarrantyResultTimer;
  QTimer* WarrantyFormTimer;
  QTimer* LookupDeadline;
  QTimer* WarrantyDeadline;
  QLabel* ModelLabel;
  QLabel* SerialLabel;
  QLabel* WarrantyEndLabel;
  QLabel* BusyAnimation;
  QLabel* BusyLabel;
  QLabel* ResultPicture;
  QLabel* WatermarkLabel;
  CuePlayerWidget* CuePlayer;
  QMenu* MainMenu;
  QAction* VoiceOffItem;
  QAction* VoiceOnItem;
  QAction* RestartItem;
  QAction* ExitItem;
  QMenu* HelpMenu;
  QAction* InstructionsItem;
  QAction* AboutItem;
};

}  // namespace quarvel::testing
