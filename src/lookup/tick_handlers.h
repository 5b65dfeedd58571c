#pragma once

namespace quarvel {

class MainWindow;

// Tick of 时钟1: polls the lookup-site page and ends a comprehensive query.
void OnLookupResultTick(MainWindow& window);

// Tick of 时钟3: waits for the warranty form, fills in the serial and submits it.
void OnWarrantyFormTick(MainWindow& window);

// Tick of 时钟2: reads the warranty result page and ends an official-site query.
void OnWarrantyResultTick(MainWindow& window);

// A path that found no result in its time: its timers stop and the user is told.
void OnLookupTimedOut(MainWindow& window);
void OnWarrantyTimedOut(MainWindow& window);

}  // namespace quarvel
