#pragma once

#include <string>
#include <vector>

// The kestrelsim commands. Each takes the words after the command name and returns the
// process exit status: 0 on success, 1 when the simulator cannot be reached or refuses,
// 2 on bad arguments (with a message on stderr).
using Arguments = std::vector<std::string>;

int RunInstall(const Arguments& args);
int RunStatus(const Arguments& args);
int RunPlug(const Arguments& args);
int RunUnplug(const Arguments& args);
int RunSet(const Arguments& args);
int RunFail(const Arguments& args);
int RunOpenFail(const Arguments& args);
int RunControl(const Arguments& args);
int RunInfoFail(const Arguments& args);
int RunUnitList(const Arguments& args);
int RunShort(const Arguments& args);
int RunRespond(const Arguments& args);
int RunPend(const Arguments& args);
int RunLog(const Arguments& args);
int RunReset(const Arguments& args);
int RunWait(const Arguments& args);
