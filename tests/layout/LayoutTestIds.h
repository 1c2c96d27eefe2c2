#pragma once

// The layout tests' own templates (the program's are in resource.h).
#define IDD_LAYOUT_PLAIN 900
#define IDD_LAYOUT_MENU 901
#define IDD_LAYOUT_NEGATIVE_POINTS 902
#define IDD_LAYOUT_ORDER 903
#define IDD_LAYOUT_MISSING 999
#define IDR_LAYOUT_MENU 950
#define IDC_LAYOUT_FIRST 21
#define IDC_LAYOUT_SECOND 22
#define IDC_LAYOUT_THIRD 23
