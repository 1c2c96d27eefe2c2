#pragma once

// The enumeration position of the unit that the clock-source command is addressing: 0 for the
// first unit, 1 for the second.
extern int CurrentUnitIndex;

// Tells each unit where to take its sample clock from, through the process-wide unit command
// channel: one AV/C selector CONTROL frame to the first unit, then to the second only when
// `unitCount` is exactly 2. `clockSource` is the panel's list position: 0 "Internal",
// 1 "S/PDIF" / "S/PDIF 1", 2 "S/PDIF 2"; any other value selects the internal clock everywhere.
// True when every addressed unit took its frame, whatever it answered; false at the first
// failure, with the units before it left as set. The channel is closed on every way out.
bool SendClockSource(int clockSource, int unitCount);
