#pragma once

// The panel as the tests see it from outside: its window classes and captions, its control,
// menu and command ids, the names it keeps its settings and its single-instance block under.
// Written once here; a test that needs one of them takes it from here.

#include <windows.h>

#include <string>
#include <vector>

namespace panel {

inline constexpr char kAppName[] = "Quillmar KESTREL"; // the executable's name, no extension
inline constexpr char kDialogClass[] = "#32770";
inline constexpr char kMenuClass[] = "#32768";
inline constexpr char kPanelCaption[] = "Quillmar KESTREL";
inline constexpr char kAboutCaption[] = "About Quillmar KESTREL";

inline constexpr UINT kTrayIconId = 135;
inline constexpr UINT kTrayMenuId = 135;
inline constexpr UINT kRestoreCommand = 0x8003; // the tray menu's "&Restore"
inline constexpr UINT kExitCommand = 0x8004;    // the tray menu's "E&xit"
inline constexpr UINT kCpuLow = 137;
inline constexpr UINT kCpuMedium = 138;
inline constexpr UINT kCpuHigh = 139;
inline constexpr UINT kAboutCommand = 0x10; // the system menu's "About..."

inline constexpr int kRateList = 1000;
inline constexpr int kClockList = 1001;
inline constexpr int kBufferList = 1003;
inline constexpr int kDoneButton = 1007;

// The lists' entries as the panel fills them.
using Texts = std::vector<std::string>;
inline const Texts kFourRates = {"44.1 kHz", "48.0 kHz", "88.2 kHz", "96.0 kHz"};
inline const Texts kTwoRates = {"44.1 kHz", "48.0 kHz"};
inline const Texts kOneUnitClocks = {"Internal", "S/PDIF"};
inline const Texts kTwoUnitClocks = {"Internal", "S/PDIF 1", "S/PDIF 2"};
inline const Texts kLatencies = {"1.5 ms", "2.0 ms", "2.5 ms",  "3.0 ms",  "3.5 ms",  "4.0 ms",
                                 "6.0 ms", "8.0 ms", "10.0 ms", "12.0 ms", "18.0 ms", "25.0 ms"};

// HKCU\software\Quillmar\<application name>\KESTREL holds the clock source, "SPDIFSync".
inline constexpr char kSettingsSection[] = "KESTREL";
inline constexpr char kClockSetting[] = "SPDIFSync";
// The mutex a copy holds while it starts, and the block in which the first copy publishes its
// window (a DWORD).
inline constexpr char kStartupLock[] = "KESTREL App";
inline constexpr char kInstanceBlock[] = "CInstanceChecker_MMF_KESTREL App";

} // namespace panel
