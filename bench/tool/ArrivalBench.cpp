// A unit's arrival to rebuilt lists. The panel runs in the tray with one unit; each cycle plugs
// a second unit and unplugs it again. Times start just before the plug (or unplug) request to
// the simulator. The driver's own time ends when a bare window, registered for the same
// interface class in a process of its own (this program started with --watch-arrivals, so that
// it is told as another process is, like the panel), is told of the arrival; the panel's ends
// when its lists, read back with CB_GETCOUNT about every millisecond, show two units (two
// rates, three clock sources) or, after the unplug, one unit again. The panel answers those
// reads only between messages, so the lists are seen only once its refresh has finished.
#include "Benches.h"

#include "ArrivalWatcher.h"
#include "ClockSourceCommand.h"
#include "ControlRecords.h"
#include "DeviceGlobals.h"
#include "PanelWindow.h"
#include "ProcessUnderTest.h"
#include "RawPlug.h"
#include "SimulatorClient.h"

#include <cstdio>

namespace {

const DWORD kCycleTimeoutMs = 10000;

struct Timing {
    double driverMs = 0;
    double panelMs = 0;
};

// Times one change: `change` is the plug or the unplug; `notified` tells when the bare window
// has heard of it and at which counter value.
template <typename Change, typename Notified>
bool TimeChange(const PanelWindow& panel, int unitsAfter, Change change, Notified notified,
                Timing& timing) {
    const long long started = Now();
    if (!change()) {
        std::fprintf(stderr, "bench: the simulator refused the plug or unplug\n");
        return false;
    }
    long long panelDone = 0;
    long long driverDone = 0;
    const bool done = test::WaitUntil(
        [&] {
            if (panelDone == 0 && panel.ShowsUnits(unitsAfter)) {
                panelDone = Now();
            }
            if (driverDone == 0) {
                driverDone = notified();
            }
            return panelDone != 0 && driverDone != 0;
        },
        kCycleTimeoutMs, 1);
    if (!done) {
        std::fprintf(stderr, "bench: no %s seen within %lu ms (panel %s, bare window %s)\n",
                     unitsAfter == 2 ? "arrival" : "removal", kCycleTimeoutMs,
                     panelDone != 0 ? "done" : "not done", driverDone != 0 ? "told" : "not told");
        return false;
    }
    timing.driverMs = Milliseconds(started, driverDone);
    timing.panelMs = Milliseconds(started, panelDone);
    return true;
}

// The driver's own share of a refresh: the requests the panel makes when a second unit arrives
// (the driver reopened, the unit list and both units' information, the rate, both units'
// selector frames, the buffer size), made here by a client without a window, with two units
// plugged. Each sample is one whole sequence.
bool TimeRefreshRequests(sim::SimulatorClient& simulator, int runs, Samples& requests) {
    const std::vector<std::uint32_t> second = simulator.Plug(1);
    if (second.size() != 1) {
        std::fprintf(stderr, "bench: the simulator refused the second unit\n");
        return false;
    }
    bool ok = true;
    for (int run = 0; ok && run < runs; ++run) {
        SampleRateRecord rate = {};
        BufferSizeRecord buffer = {};
        const long long started = Now();
        g_controlChannel.Close();
        ok = g_controlChannel.Open() == Status::Success &&
             g_controlChannel.RefreshUnits() == Status::Success &&
             g_controlChannel.GetSampleRate(rate) == Status::Success &&
             SendClockSource(0, g_controlChannel.UnitCount()) &&
             g_controlChannel.GetBufferSize(buffer) == Status::Success &&
             g_controlChannel.UnitCount() == 2;
        requests.Add(Milliseconds(started, Now()));
    }
    g_controlChannel.Close();
    if (!ok) {
        std::fprintf(stderr, "bench: the refresh's requests failed against the simulator\n");
    }
    return simulator.Unplug(second[0]) && ok;
}

} // namespace

int WatchArrivals(const char* blockName) {
    SharedArrivalStamps block;
    if (!block.Open(blockName)) {
        std::fprintf(stderr, "bench: no block %s (error %lu)\n", blockName, GetLastError());
        return 1;
    }
    ArrivalWatcher watcher(*block.Get());
    while (block.Get()->ready != 0 && block.Get()->stop == 0) {
        Sleep(50);
    }
    return block.Get()->ready != 0 ? 0 : 1;
}

bool RunArrivalBench(const BenchSettings& settings, ResultTable& table) {
    sim::SimulatorClient simulator;
    if (!simulator.IsConnected() || !simulator.Reset()) {
        std::fprintf(stderr, "bench: the driver simulator is not reachable\n");
        return false;
    }
    const std::string blockName = "KestrelBenchArrivals-" + std::to_string(GetCurrentProcessId());
    SharedArrivalStamps block;
    test::ChildProcess watcherProcess;
    if (!block.Create(blockName.c_str()) ||
        !watcherProcess.Start(test::ThisProgram(), "--watch-arrivals " + blockName) ||
        !test::WaitUntil([&] { return block.Get()->ready != 0 || !watcherProcess.Running(); },
                         10000, 1) ||
        block.Get()->ready == 0) {
        std::fprintf(stderr, "bench: the bare window could not be made or registered\n");
        return false;
    }
    const ArrivalStamps& stamps = *block.Get();
    ProcessUnderTest process;
    if (!StartPanel(settings, process)) {
        return false;
    }
    const PanelWindow panel(process.WindowCaptioned(panel::kPanelCaption));
    Samples arrivalDriver, arrivalPanel, arrivalBeyond, removalDriver, removalPanel, removalBeyond;
    bool ok = panel.ShowsUnits(1);
    for (int cycle = 0; ok && cycle < settings.cycles; ++cycle) {
        std::uint32_t unit = 0;
        Timing arrival, removal;
        const LONG arrivalsBefore = stamps.arrivals;
        ok = TimeChange(
            panel, 2, [&] { return (unit = PlugUnitNow()) != 0; },
            [&] { return stamps.arrivals > arrivalsBefore ? ReadStamp(stamps.lastArrival) : 0LL; },
            arrival);
        const LONG removalsBefore = stamps.removals;
        ok = ok && TimeChange(
                       panel, 1, [&] { return UnplugUnitNow(unit); },
                       [&] {
                           return stamps.removals > removalsBefore ? ReadStamp(stamps.lastRemoval)
                                                                   : 0LL;
                       },
                       removal);
        if (ok) {
            arrivalDriver.Add(arrival.driverMs);
            arrivalPanel.Add(arrival.panelMs);
            arrivalBeyond.Add(arrival.panelMs - arrival.driverMs);
            removalDriver.Add(removal.driverMs);
            removalPanel.Add(removal.panelMs);
            removalBeyond.Add(removal.panelMs - removal.driverMs);
        }
    }
    const bool listsRight = ok && test::ListTexts(panel.RateList()).size() == 4 &&
                            test::SelectedText(panel.RateList()) == "48.0 kHz" &&
                            test::SelectedText(panel.BufferList()) == "2.5 ms";
    EndPanel(process);
    InterlockedExchange(&block.Get()->stop, 1);
    watcherProcess.WaitForExit(5000);
    Samples refreshRequests;
    if (!ok || !TimeRefreshRequests(simulator, settings.cycles, refreshRequests)) {
        return false;
    }
    Samples ownTime;
    ownTime.Add(arrivalBeyond.Median() - refreshRequests.Median());
    table.Add({"unit arrival: plug to bare window told (driver)", "ms", arrivalDriver, "", "", ""});
    table.Add({"unit arrival: plug to panel lists rebuilt", "ms", arrivalPanel, "", "", ""});
    table.Add({"unit arrival: panel beyond driver", "ms", arrivalBeyond, "<= 20 ms",
               Verdict(arrivalBeyond.Median() <= 20.0),
               std::to_string(arrivalBeyond.Count()) +
                   " plug/unplug cycles; verdict on the median; includes the driver's time for "
                   "the refresh's 7 requests"});
    table.Add({"unit arrival: the refresh's 7 requests, bare client", "ms", refreshRequests, "", "",
               "the driver's time for the requests the panel makes on an arrival"});
    table.Add({"unit arrival: panel's own time beyond the driver", "ms", ownTime, "", "",
               "median beyond driver less median of the refresh's requests"});
    table.Add({"unit removal: unplug to bare window told", "ms", removalDriver, "", "", ""});
    table.Add({"unit removal: unplug to panel lists rebuilt", "ms", removalPanel, "", "", ""});
    table.Add(
        {"unit removal: panel beyond driver", "ms", removalBeyond, "", "",
         listsRight ? "lists right after the last cycle" : "lists WRONG after the last cycle"});
    return listsRight;
}
