// The panel in the tray, left alone: it reaches the tray, is left 2 s to settle, and its CPU
// time (GetProcessTimes, user plus kernel, of all its threads, Wine's own included) is read
// before and after `idleSeconds`. Whether it makes timers is checked apart, by scripts/bench,
// from a Wine trace of its timer calls and of the messages its windows receive.
#include "Benches.h"

#include "ProcessUnderTest.h"
#include "SimulatorClient.h"

#include <cstdio>

namespace {

const DWORD kSettleMs = 2000;

} // namespace

bool RunIdleBench(const BenchSettings& settings, ResultTable& table) {
    sim::SimulatorClient simulator;
    if (!simulator.IsConnected() || !simulator.Reset()) {
        std::fprintf(stderr, "bench: the driver simulator is not reachable\n");
        return false;
    }
    ProcessUnderTest panel;
    if (!StartPanel(settings, panel)) {
        return false;
    }
    Sleep(kSettleMs);
    const long long before = panel.CpuTime();
    Sleep(static_cast<DWORD>(settings.idleSeconds) * 1000);
    const long long after = panel.CpuTime();
    const bool stillThere = panel.IsHiddenInTray("Quillmar KESTREL", 135);
    EndPanel(panel);

    const bool read = before >= 0 && after >= 0;
    Samples cpu;
    cpu.Add(read ? static_cast<double>(after - before) / 10000.0 : -1.0);
    table.Add({"idle: panel CPU time", "ms", cpu, "0 ms", Verdict(read && after == before),
               std::to_string(settings.idleSeconds) + " s in the tray; GetProcessTimes" +
                   (stillThere ? "" : "; the panel LEFT the tray meanwhile")});
    return read && stillThere;
}
