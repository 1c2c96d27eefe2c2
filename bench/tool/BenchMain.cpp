// kestrel_bench: measures the panel against the baseline under the current Wine session with
// the driver simulator, prints the table and writes it as markdown.
//
//   kestrel_bench PANEL_EXE BASELINE_EXE RESULTS_MD [--floor FLOOR_EXE] [--starts N] [--runs N]
//                 [--cycles N] [--only startup|arrival|requests] [--desktop NAME]
//
// --desktop: the bench, and so the programs it starts, run on that Wine desktop (a virtual one
// with a taskbar, as the session's registry sets it up); a copy started elsewhere starts itself
// again there (Wine 10 puts a program started from Unix on "Default" whatever its settings).
//   kestrel_bench --watch-arrivals BLOCK   (the arrival benchmark's bare window, started by it)
//
// Exit status: 0 when every part ran (targets missed or not), 1 when a part could not run,
// 2 for bad arguments.
#include "Benches.h"

#include "ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

struct Part {
    const char* name;
    bool (*run)(const BenchSettings&, ResultTable&);
};

const Part kParts[] = {
    {"startup", RunStartupBench},
    {"arrival", RunArrivalBench},
    {"requests", RunRequestBench},
};

int Usage() {
    std::fprintf(stderr, "usage: kestrel_bench PANEL_EXE BASELINE_EXE RESULTS_MD [--floor EXE] "
                         "[--starts N] [--runs N] [--cycles N] [--only PART] [--desktop NAME]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--watch-arrivals") == 0) {
        return WatchArrivals(argv[2]);
    }
    if (argc < 4) {
        return Usage();
    }
    BenchSettings settings;
    settings.panelExe = argv[1];
    settings.baselineExe = argv[2];
    const char* resultsPath = argv[3];
    const char* only = nullptr;
    const char* desktop = nullptr;
    for (int i = 4; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--floor") == 0) {
            settings.floorExe = argv[i + 1];
        } else if (std::strcmp(argv[i], "--starts") == 0) {
            settings.starts = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--runs") == 0) {
            settings.runs = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--cycles") == 0) {
            settings.cycles = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--only") == 0) {
            only = argv[i + 1];
        } else if (std::strcmp(argv[i], "--desktop") == 0) {
            desktop = argv[i + 1];
        } else {
            return Usage();
        }
    }
    if (settings.starts < 1 || settings.runs < 1 || settings.cycles < 1) {
        return Usage();
    }
    int code = 0;
    if (desktop != nullptr &&
        test::RanAgainOnDesktop(desktop, "KESTREL_BENCH_DESKTOP_RESTARTED", code)) {
        return code;
    }
    if (desktop != nullptr) {
        // A user's desktop, taskbar and notification area included, is up before any program
        // starts; a new Wine desktop starts its shell with its first program, and a program
        // that came before the notification area would find its icon refused.
        test::WaitUntil([] { return FindWindowA("Shell_TrayWnd", nullptr) != nullptr; }, 10000);
    }

    ResultTable table;
    bool allRan = true;
    for (const Part& part : kParts) {
        if (only != nullptr && std::strcmp(only, part.name) != 0) {
            continue;
        }
        std::fprintf(stderr, "bench: %s...\n", part.name);
        if (!part.run(settings, table)) {
            std::fprintf(stderr, "bench: %s could not be measured completely\n", part.name);
            allRan = false;
        }
    }
    std::fputs(table.Text().c_str(), stdout);
    std::ofstream results(resultsPath, std::ios::binary);
    results << table.Markdown();
    if (!results) {
        std::fprintf(stderr, "bench: cannot write %s\n", resultsPath);
        return 1;
    }
    return allRan ? 0 : 1;
}
