#pragma once

// The benchmark's parts. Each runs against the driver simulator of the current Wine session,
// starts the programs it measures itself, ends them again and adds its rows to the table.

#include "ResultTable.h"

#include <string>

struct BenchSettings {
    std::string panelExe;
    std::string baselineExe;
    std::string floorExe; // "" leaves the floor out
    int starts = 20;      // measured starts of each program in the start-up comparison
    int runs = 10;        // repetitions of each user action
    int cycles = 50;      // plug/unplug cycles
};

// Start to hidden in the tray, and private memory once there: the panel against the bare
// baseline and the floor.
bool RunStartupBench(const BenchSettings& settings, ResultTable& table);
// A unit's arrival (and removal) to rebuilt lists, against the notification's own time.
bool RunArrivalBench(const BenchSettings& settings, ResultTable& table);
// The bare window of the arrival benchmark, in a process of its own: watches until told to
// stop through the shared block `blockName`. The process's exit status.
int WatchArrivals(const char* blockName);
// Driver requests per user action and per refresh, against the fixed calling order.
bool RunRequestBench(const BenchSettings& settings, ResultTable& table);

// Starts the panel and waits until it is hidden in the tray; false (with a message on stderr)
// if it does not get there within 30 s.
class ProcessUnderTest;
bool StartPanel(const BenchSettings& settings, ProcessUnderTest& panel);
// Ends the panel through "E&xit" and waits; kills it if it does not end.
void EndPanel(ProcessUnderTest& panel);
