#pragma once

// Installs the simulator into the current Wine prefix: the root-enumerated bus device
// ROOT\KESTRELBUS\0000 and its driver, from the INF beside this program. Running it again is
// harmless. Returns 0 or the Windows error of the step that failed.
unsigned long InstallSimulator();
