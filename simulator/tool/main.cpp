// kestrelsim: configures the KESTREL driver simulator from the command line. Its output is one
// item a line and is read by scripts and other test suites, so its format does not change.
#include "Commands.h"

#include <cstdio>
#include <cstring>

namespace {

struct Command {
    const char* name;
    int (*run)(const Arguments&);
};

const Command kCommands[] = {
    {"install", RunInstall},   {"status", RunStatus},     {"plug", RunPlug},
    {"unplug", RunUnplug},     {"set", RunSet},           {"fail", RunFail},
    {"infofail", RunInfoFail}, {"unitlist", RunUnitList}, {"short", RunShort},
    {"respond", RunRespond},   {"pend", RunPend},         {"log", RunLog},
    {"reset", RunReset},       {"wait", RunWait},         {"openfail", RunOpenFail},
    {"control", RunControl},
};

const char kUsage[] =
    "usage: kestrelsim COMMAND [ARGS]\n"
    "  install                         install the simulator into this prefix\n"
    "  status                          units <n> / unit <id> plug <p> / rate / buffer / cpu\n"
    "  plug [n]                        plug n units (default 1), print their ids\n"
    "  unplug <id>|all\n"
    "  set rate|buffer|cpu <value>\n"
    "  fail <code> <win32-error> [count] [unit <id>] [from <n>] | fail clear\n"
    "                                  unit: only that unit's requests; from: the nth and later\n"
    "                                  fail; clear: every fault, openfail and control included;\n"
    "                                  a rule replaces one of the same code and unit; when a\n"
    "                                  unit's rule and an any-unit rule both match, the unit's\n"
    "                                  fails the request; each counts every request it matches\n"
    "                                  for from; only the failing one uses up its count\n"
    "  openfail <id> [off]             opening that unit's interface fails (error 2)\n"
    "  control absent|present          the control device's path, as without or with the driver\n"
    "  infofail <id>\n"
    "  unitlist <count> [id...] | unitlist clear\n"
    "  short <code> <bytes>\n"
    "  respond accepted|rejected|notimpl|interim\n"
    "  pend <ms>|off\n"
    "  log [--clear]\n"
    "  reset\n"
    "  wait [units] [ms]               wait until the driver answers and the units enumerate\n";

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    for (const Command& command : kCommands) {
        if (std::strcmp(argv[1], command.name) == 0) {
            return command.run(Arguments(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "kestrelsim: unknown command '%s'\n", argv[1]);
    std::fputs(kUsage, stderr);
    return 2;
}
