#pragma once

namespace quarvel {

class MainWindow;

// "重启": starts the running executable again with the arguments and the
// environment this instance was started with (no waiting), then closes the
// main window, which ends this instance.
void OnRestart(MainWindow& window);

// "退出": ends the program with exit code 0.
void OnExit(MainWindow& window);

// "查询记录": opens the history window (or brings it forward).
void OnHistory(MainWindow& window);
// "批量查询": opens the batch window (or brings it forward).
void OnBatch(MainWindow& window);

// "使用说明": plays the spoken instructions.
void OnInstructions(MainWindow& window);

// "关于": opens the about window.
void OnAbout(MainWindow& window);

// "月份对照" button: opens the month table window.
void OnMonthTableClick(MainWindow& window);

}  // namespace quarvel
