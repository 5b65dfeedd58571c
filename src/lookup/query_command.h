#pragma once

namespace quarvel {

class MainWindow;

// The query command: checks the entry, announces the query and starts the
// path chosen by the radio buttons. It never waits for a result.
void RunQuery(MainWindow& window);

// Key-down handler of the serial entry: Enter runs the query.
void OnSerialKeyDown(MainWindow& window, int keyCode);

// Hidden test button: fetches the sample picture, shows it and stores it.
void OnImageTestClick(MainWindow& window);

}  // namespace quarvel
