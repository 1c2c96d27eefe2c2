// Start to hidden in the tray. Each run is timed from just before CreateProcess until this
// process sees, polling about every millisecond, that the program's window is minimised and
// hidden and that the shell holds its icon (a no-op NIM_MODIFY succeeds only for an icon the
// shell has). The panel is measured against two programs: the bare baseline (a dialog and a
// tray icon) and, when given, the floor (the panel's required start-up in plain C, with the
// panel's resources). After one unmeasured warm-up run of each, they start in rounds, one run of
// each a round, the order turning every round, so that drift on the shared machine falls on all
// alike; ratios are taken within a round. Private memory is read 500 ms after a program is in
// the tray.
#include "Benches.h"

#include "ArrivalWatcher.h"
#include "PanelWindow.h"
#include "ProcessUnderTest.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char kBaselineCaption[] = "KESTREL Baseline";
const UINT kBaselineIconId = 1;
const DWORD kStartTimeoutMs = 30000;
const DWORD kSettleMs = 500;

struct StartRun {
    double milliseconds = 0;
    double privateKb = 0;
};

// The program's window as the poll sees it: "none", or its visibility and state, and the icon.
std::string WindowState(const ProcessUnderTest& program, const char* caption, UINT iconId) {
    HWND window = program.WindowCaptioned(caption);
    if (window == nullptr) {
        return "none";
    }
    std::string state = IsWindowVisible(window) ? "shown" : "hidden";
    state += IsIconic(window) ? " iconic" : "";
    return state + (program.HasTrayIcon(iconId) ? " icon" : "");
}

bool TimeStart(const std::string& exe, const char* caption, UINT iconId, StartRun& run) {
    ProcessUnderTest program;
    const long long started = Now();
    if (!program.Start(exe)) {
        std::fprintf(stderr, "bench: cannot start %s (error %lu)\n", exe.c_str(), GetLastError());
        return false;
    }
    // The window's states as they changed, for a start that does not reach the tray.
    std::string seen, last;
    const auto note = [&] {
        const std::string now = WindowState(program, caption, iconId);
        if (now != last) {
            char when[32];
            std::snprintf(when, sizeof(when), " (%.0f ms);", Milliseconds(started, Now()));
            seen += " " + now + when;
            last = now;
        }
    };
    if (!test::WaitUntil(
            [&] {
                note();
                return program.IsHiddenInTray(caption, iconId) || !program.Running();
            },
            kStartTimeoutMs, 1) ||
        !program.Running()) {
        std::fprintf(stderr, "bench: %s did not reach the tray (exit code %lu); its window:%s\n",
                     exe.c_str(), program.WaitForExit(0).value_or(STILL_ACTIVE), seen.c_str());
        return false;
    }
    run.milliseconds = Milliseconds(started, Now());
    Sleep(kSettleMs);
    run.privateKb = static_cast<double>(program.PrivateBytes()) / 1024.0;
    if (!program.Exit(caption)) {
        std::fprintf(stderr, "bench: %s did not end on E&xit\n", exe.c_str());
        return false;
    }
    return true;
}

std::string Ratio(double value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.2f", value);
    return text;
}

// One program of the comparison, and what its runs measured.
struct Contender {
    std::string exe;
    const char* caption;
    UINT iconId;
    Samples milliseconds;
    Samples privateKb;
    StartRun last;
};

// A ratio of the panel to another program: judged by the median of the per-round ratios.
void AddRatioRow(ResultTable& table, const std::string& quantity, const Samples& ratios,
                 double target, double ofMedians, const char* note) {
    table.Add({quantity, "x", ratios, "<= " + Ratio(target),
               Verdict(!ratios.Empty() && ratios.Median() <= target),
               "ratio of medians " + Ratio(ofMedians) + note});
}

} // namespace

bool RunStartupBench(const BenchSettings& settings, ResultTable& table) {
    std::vector<Contender> contenders = {
        {settings.panelExe, panel::kPanelCaption, panel::kTrayIconId, {}, {}, {}},
        {settings.baselineExe, kBaselineCaption, kBaselineIconId, {}, {}, {}}};
    // The floor shows the panel's resources, caption and icon id.
    if (!settings.floorExe.empty()) {
        contenders.push_back(
            {settings.floorExe, panel::kPanelCaption, panel::kTrayIconId, {}, {}, {}});
    }
    for (Contender& contender : contenders) {
        if (!TimeStart(contender.exe, contender.caption, contender.iconId, contender.last)) {
            return false;
        }
    }
    const std::size_t count = contenders.size();
    std::vector<Samples> startRatios(count), memoryRatios(count);
    for (int round = 0; round < settings.starts; ++round) {
        for (std::size_t i = 0; i < count; ++i) {
            Contender& contender = contenders[(round + i) % count];
            if (!TimeStart(contender.exe, contender.caption, contender.iconId, contender.last)) {
                return false;
            }
            contender.milliseconds.Add(contender.last.milliseconds);
            contender.privateKb.Add(contender.last.privateKb);
        }
        const StartRun& panel = contenders[0].last;
        for (std::size_t i = 1; i < count; ++i) {
            const StartRun& other = contenders[i].last;
            startRatios[i].Add(panel.milliseconds / other.milliseconds);
            if (other.privateKb > 0) {
                memoryRatios[i].Add(panel.privateKb / other.privateKb);
            }
        }
    }

    const char* names[] = {"panel", "baseline", "floor"};
    const double startTargets[] = {0, 1.10, 1.05};
    const double memoryTargets[] = {0, 1.20, 1.05};
    const Contender& panel = contenders[0];
    for (std::size_t i = 0; i < count; ++i) {
        table.Add({std::string("start to hidden in tray: ") + names[i], "ms",
                   contenders[i].milliseconds, "", "", ""});
    }
    for (std::size_t i = 1; i < count; ++i) {
        AddRatioRow(table, std::string("start ratio panel/") + names[i] + " (per pair)",
                    startRatios[i], startTargets[i],
                    panel.milliseconds.Median() / contenders[i].milliseconds.Median(), "");
    }
    for (std::size_t i = 0; i < count; ++i) {
        table.Add({std::string("private memory in tray: ") + names[i], "KiB",
                   contenders[i].privateKb, "", "", ""});
    }
    for (std::size_t i = 1; i < count; ++i) {
        const double other = contenders[i].privateKb.Median();
        AddRatioRow(table, std::string("private memory ratio panel/") + names[i] + " (per pair)",
                    memoryRatios[i], memoryTargets[i],
                    other > 0 ? panel.privateKb.Median() / other : 0,
                    "; PrivateUsage, or PagefileUsage where Wine leaves PrivateUsage 0");
    }
    return true;
}

bool StartPanel(const BenchSettings& settings, ProcessUnderTest& panel) {
    if (!panel.Start(settings.panelExe)) {
        std::fprintf(stderr, "bench: cannot start the panel (error %lu)\n", GetLastError());
        return false;
    }
    if (!panel.ReachesTray(panel::kPanelCaption, panel::kTrayIconId, kStartTimeoutMs)) {
        std::fprintf(stderr, "bench: the panel did not reach the tray (exit code %lu)\n",
                     panel.WaitForExit(0).value_or(STILL_ACTIVE));
        return false;
    }
    return true;
}

void EndPanel(ProcessUnderTest& panel) {
    if (!panel.Exit(panel::kPanelCaption)) {
        std::fprintf(stderr, "bench: the panel did not end on E&xit; killed\n");
    }
}
