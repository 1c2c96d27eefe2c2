// Driver requests per user action, read from the simulator's request log. The panel runs in the
// tray; each action is done `runs` times, each time to a value other than the current one, and
// the requests it caused are compared, in order, with the calling order the panel must keep.
// The user's choices reach the panel as from its lists and its tray menu (CB_SETCURSEL with
// CBN_SELCHANGE, WM_COMMAND), a restore as the tray menu's "&Restore"; the refreshes are caused by
// plugging and unplugging a second unit, and are read 300 ms after the panel's lists have changed,
// so that a late second notification would show.
#include "Benches.h"

#include "KestrelSimProtocol.h"
#include "PanelWindow.h"
#include "ProcessUnderTest.h"
#include "RawPlug.h"
#include "SimulatorClient.h"

#include <cstdio>
#include <functional>

namespace {

const DWORD kLateNotificationMs = 300;

// A request as it must appear: its code, and for a unit request the unit's plug order.
struct Expected {
    std::uint32_t code;
    int unit = -1;
};

struct Action {
    std::string name;
    std::vector<Expected> expected;
    std::function<bool(int run)> perform;
};

std::string Names(const std::vector<Expected>& requests) {
    std::string text;
    for (const Expected& request : requests) {
        text += (text.empty() ? "" : ", ") + sim::RequestName(request.code);
    }
    return text;
}

std::string Names(const std::vector<sim::LogEntry>& log) {
    std::string text;
    for (const sim::LogEntry& entry : log) {
        text += (text.empty() ? "" : ", ") + sim::RequestName(entry.code);
    }
    return text.empty() ? "no request" : text;
}

bool Matches(const std::vector<sim::LogEntry>& log, const std::vector<Expected>& expected,
             const std::vector<std::uint32_t>& units) {
    if (log.size() != expected.size()) {
        return false;
    }
    for (size_t i = 0; i < log.size(); ++i) {
        const std::uint32_t target =
            expected[i].unit < 0 ? sim::kControlTarget : units.at(expected[i].unit);
        if (log[i].code != expected[i].code || log[i].target != target) {
            return false;
        }
    }
    return true;
}

bool WaitForUnits(const PanelWindow& panel, int units) {
    const bool shown = test::WaitUntil([&] { return panel.ShowsUnits(units); }, 10000, 1);
    if (!shown) {
        std::fprintf(stderr,
                     "bench: the panel's lists showed %d rates and %d clock sources, not "
                     "those of %d unit(s), after 10 s\n",
                     PanelWindow::Count(panel.RateList()), PanelWindow::Count(panel.ClockList()),
                     units);
    }
    Sleep(kLateNotificationMs);
    return shown;
}

// `done`: whether the simulator accepted the `what`; a refusal is said.
bool Accepted(bool done, const char* what) {
    if (!done) {
        std::fprintf(stderr, "bench: the simulator refused the %s (error %lu)\n", what,
                     GetLastError());
    }
    return done;
}

// The runs of one action: how many requests each caused, and how many differed from the
// calling order.
class Tally {
public:
    Tally(std::string name, std::vector<Expected> expected)
        : name_(std::move(name)), expected_(std::move(expected)) {}

    const std::string& Name() const { return name_; }

    void Add(const std::vector<sim::LogEntry>& log, const std::vector<std::uint32_t>& units) {
        counts_.Add(static_cast<double>(log.size()));
        if (Matches(log, expected_, units)) {
            return;
        }
        if (wrong_++ == 0) {
            firstWrong_ = Names(log);
        }
    }

    void AddRow(ResultTable& table) const {
        std::string note = "expected " + Names(expected_);
        if (wrong_ != 0) {
            note += "; " + std::to_string(wrong_) + " runs differed, first: " + firstWrong_;
        }
        table.Add({"requests: " + name_, "requests", counts_,
                   "= " + std::to_string(expected_.size()) + ", in order",
                   Verdict(wrong_ == 0 && !counts_.Empty()), note});
    }

private:
    std::string name_;
    std::vector<Expected> expected_;
    Samples counts_;
    int wrong_ = 0;
    std::string firstWrong_;
};

} // namespace

bool RunRequestBench(const BenchSettings& settings, ResultTable& table) {
    sim::SimulatorClient simulator;
    if (!simulator.IsConnected() || !simulator.Reset()) {
        std::fprintf(stderr, "bench: the driver simulator is not reachable\n");
        return false;
    }
    std::vector<std::uint32_t> units;
    for (const sim::UnitState& unit : simulator.State().units) {
        units.push_back(unit.id);
    }
    ProcessUnderTest process;
    if (!StartPanel(settings, process)) {
        return false;
    }
    const PanelWindow panel(process.WindowCaptioned(panel::kPanelCaption));
    // The driver starts at 48.0 kHz (position 1) and 2.5 ms (position 2), the clock at
    // "Internal" (0) and the CPU level at 2000; every run moves to the other value.
    std::vector<Action> actions = {
        {"rate choice",
         {{KSIM_SET_SAMPLE_RATE}, {KSIM_APPLY_STAGE_ONE}, {KSIM_APPLY_STAGE_TWO}},
         [&](int run) {
             panel.Pick(panel.RateList(), run % 2 == 0 ? 0 : 1);
             return true;
         }},
        {"latency choice",
         {{KSIM_SET_BUFFER_SIZE},
          {KSIM_SET_SECOND_BUFFER_SIZE},
          {KSIM_APPLY_STAGE_ONE},
          {KSIM_APPLY_STAGE_TWO}},
         [&](int run) {
             panel.Pick(panel.BufferList(), run % 2 == 0 ? 0 : 2);
             return true;
         }},
        {"clock choice (1 unit)",
         {{KSIM_SEND_REQUEST, 0}},
         [&](int run) {
             panel.Pick(panel.ClockList(), run % 2 == 0 ? 1 : 0);
             return true;
         }},
        {"CPU command",
         {{KSIM_SET_CPU_LEVEL}, {KSIM_APPLY_STAGE_ONE}, {KSIM_APPLY_STAGE_TWO}},
         [&](int run) {
             panel.Command(run % 2 == 0 ? panel::kCpuLow : panel::kCpuHigh);
             return true;
         }},
        {"restore",
         {{KSIM_GET_SAMPLE_RATE}, {KSIM_GET_BUFFER_SIZE}},
         [&](int) {
             panel.Command(panel::kRestoreCommand);
             // Back to the tray, as "Done" does; hiding asks nothing of the driver.
             SendMessageA(panel.Dialog(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
             return true;
         }},
    };
    const std::vector<Expected> refreshTwo = {{KSIM_GET_UNIT_LIST},   {KSIM_GET_UNIT_INFO},
                                              {KSIM_GET_UNIT_INFO},   {KSIM_GET_SAMPLE_RATE},
                                              {KSIM_SEND_REQUEST, 0}, {KSIM_SEND_REQUEST, 1},
                                              {KSIM_GET_BUFFER_SIZE}};
    const std::vector<Expected> refreshOne = {{KSIM_GET_UNIT_LIST},
                                              {KSIM_GET_UNIT_INFO},
                                              {KSIM_GET_SAMPLE_RATE},
                                              {KSIM_SEND_REQUEST, 0},
                                              {KSIM_GET_BUFFER_SIZE}};

    bool ok = true;
    // One run of an action: the requests it caused, checked against `expected`. A run that
    // cannot be measured ends the part, saying which step failed and after how long.
    auto record = [&](Tally& tally, const std::function<bool()>& perform) {
        if (!ok) {
            return;
        }
        std::vector<sim::LogEntry> log;
        const DWORD begun = GetTickCount();
        const char* failed = !simulator.ClearLog()     ? "clearing the driver's log"
                             : !perform()              ? "the action"
                             : !simulator.ReadLog(log) ? "reading the driver's log"
                                                       : nullptr;
        if (failed != nullptr) {
            ok = false;
            const DWORD elapsed = GetTickCount() - begun;
            simulator.ReadLog(log);
            std::fprintf(stderr, "bench: requests, %s: %s failed after %lu ms; the driver saw %s\n",
                         tally.Name().c_str(), failed, elapsed, Names(log).c_str());
            return;
        }
        tally.Add(log, units);
    };
    for (const Action& action : actions) {
        Tally tally(action.name, action.expected);
        for (int run = 0; ok && run < settings.runs; ++run) {
            record(tally, [&] { return action.perform(run); });
        }
        tally.AddRow(table);
    }
    // Back to "Internal" before the refreshes, which send the stored clock source.
    panel.Pick(panel.ClockList(), 0);
    Tally arrival("refresh with 2 units (arrival)", refreshTwo);
    Tally removal("refresh with 1 unit (removal)", refreshOne);
    for (int run = 0; ok && run < settings.runs; ++run) {
        std::uint32_t second = 0;
        record(arrival, [&] {
            second = PlugUnitNow();
            units.resize(1);
            units.push_back(second);
            return Accepted(second != 0, "plug") && WaitForUnits(panel, 2);
        });
        record(removal,
               [&] { return Accepted(UnplugUnitNow(second), "unplug") && WaitForUnits(panel, 1); });
    }
    arrival.AddRow(table);
    removal.AddRow(table);
    EndPanel(process);
    return ok;
}
