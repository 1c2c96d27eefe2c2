#pragma once

// Resource and command ids of the baseline program.
#define IDD_BASELINE 102
#define IDC_BASELINE_DONE 1007
#define IDC_BASELINE_RATE 1000
#define IDC_BASELINE_CLOCK 1001
#define IDC_BASELINE_BUFFER 1003
#define ID_BASELINE_EXIT 0x8004
