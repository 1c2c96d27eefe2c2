// Start to hidden in the tray. Each run is timed from just before CreateProcess until this
// process sees, polling about every millisecond, that the program's window is minimised and
// hidden and that the shell holds its icon (a no-op NIM_MODIFY succeeds only for an icon the
// shell has). Panel and baseline runs alternate, after one unmeasured warm-up run of each, so
// that drift on the shared machine falls on both alike. Private memory is read 500 ms after a
// program is in the tray.
#include "Benches.h"

#include "ArrivalWatcher.h"
#include "PanelWindow.h"
#include "ProcessUnderTest.h"

#include <cstdio>

namespace {

const char kBaselineCaption[] = "KESTREL Baseline";
const UINT kBaselineIconId = 1;
const DWORD kStartTimeoutMs = 30000;
const DWORD kSettleMs = 500;

struct StartRun {
    double milliseconds = 0;
    double privateKb = 0;
};

bool TimeStart(const std::string& exe, const char* caption, UINT iconId, StartRun& run) {
    ProcessUnderTest program;
    const long long started = Now();
    if (!program.Start(exe)) {
        std::fprintf(stderr, "bench: cannot start %s (error %lu)\n", exe.c_str(), GetLastError());
        return false;
    }
    if (!PollUntil(
            [&] { return program.IsHiddenInTray(caption, iconId) || program.WaitForExit(0); },
            kStartTimeoutMs) ||
        program.WaitForExit(0)) {
        std::fprintf(stderr, "bench: %s did not reach the tray (exit code %lu)\n", exe.c_str(),
                     program.ExitCode());
        return false;
    }
    run.milliseconds = Milliseconds(started, Now());
    Sleep(kSettleMs);
    run.privateKb = static_cast<double>(program.PrivateBytes()) / 1024.0;
    if (HWND window = program.WindowCaptioned(caption)) {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(PanelWindow::kExitCommand, 0), 0);
    }
    if (!program.WaitForExit(10000)) {
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

} // namespace

bool RunStartupBench(const BenchSettings& settings, ResultTable& table) {
    Samples panelMs, baselineMs, ratios, panelKb, baselineKb, memoryRatios;
    StartRun warmUp;
    if (!TimeStart(settings.panelExe, PanelWindow::kCaption, PanelWindow::kTrayIconId, warmUp) ||
        !TimeStart(settings.baselineExe, kBaselineCaption, kBaselineIconId, warmUp)) {
        return false;
    }
    for (int i = 0; i < settings.runs; ++i) {
        StartRun panel, baseline;
        if (!TimeStart(settings.panelExe, PanelWindow::kCaption, PanelWindow::kTrayIconId, panel) ||
            !TimeStart(settings.baselineExe, kBaselineCaption, kBaselineIconId, baseline)) {
            return false;
        }
        panelMs.Add(panel.milliseconds);
        baselineMs.Add(baseline.milliseconds);
        ratios.Add(panel.milliseconds / baseline.milliseconds);
        panelKb.Add(panel.privateKb);
        baselineKb.Add(baseline.privateKb);
        if (baseline.privateKb > 0) {
            memoryRatios.Add(panel.privateKb / baseline.privateKb);
        }
    }
    const double startRatio = panelMs.Median() / baselineMs.Median();
    table.Add({"start to hidden in tray: panel", "ms", panelMs, "", "", ""});
    table.Add({"start to hidden in tray: baseline", "ms", baselineMs, "", "", ""});
    table.Add({"start ratio panel/baseline (per pair)", "x", ratios, "<= 1.10",
               Verdict(startRatio <= 1.10), "ratio of medians " + Ratio(startRatio)});
    const double memoryRatio = baselineKb.Median() > 0 ? panelKb.Median() / baselineKb.Median() : 0;
    table.Add({"private memory in tray: panel", "KiB", panelKb, "", "", ""});
    table.Add({"private memory in tray: baseline", "KiB", baselineKb, "", "", ""});
    table.Add({"private memory ratio panel/baseline", "x", memoryRatios, "<= 1.20",
               Verdict(memoryRatio > 0 && memoryRatio <= 1.20),
               "ratio of medians " + Ratio(memoryRatio) +
                   "; PrivateUsage, or PagefileUsage where Wine leaves PrivateUsage 0"});
    return true;
}

bool StartPanel(const BenchSettings& settings, ProcessUnderTest& panel) {
    if (!panel.Start(settings.panelExe)) {
        std::fprintf(stderr, "bench: cannot start the panel (error %lu)\n", GetLastError());
        return false;
    }
    if (!PollUntil(
            [&] {
                return panel.IsHiddenInTray(PanelWindow::kCaption, PanelWindow::kTrayIconId) ||
                       panel.WaitForExit(0);
            },
            kStartTimeoutMs) ||
        panel.WaitForExit(0)) {
        std::fprintf(stderr, "bench: the panel did not reach the tray (exit code %lu)\n",
                     panel.ExitCode());
        return false;
    }
    return true;
}

void EndPanel(ProcessUnderTest& panel) {
    if (HWND window = panel.WindowCaptioned(PanelWindow::kCaption)) {
        PanelWindow(window).Exit();
    }
    if (!panel.WaitForExit(10000)) {
        std::fprintf(stderr, "bench: the panel did not end on E&xit; killed\n");
        panel.Kill();
    }
}
