// The real program ("Quillmar KESTREL.exe") under load, watched from outside: units plugged and
// unplugged again and again while it sits in the tray (its handle, GDI and USER counts must stay
// flat and its lists be right at the end), twenty copies started at once (one panel), a copy
// killed (the next start runs its own), a driver failing every control request, and a driver
// that is not there when the panel starts. Besides: a program with the panel's C++ runtime that
// reaches std::terminate ends silently.
//
// The number of plug/unplug cycles is KESTREL_PLUG_CYCLES (default 30); scripts/soak runs 1000.
#include "KestrelSimProtocol.h"
#include "ArrivalWatcher.h"
#include "LeanRuntime.h"
#include "PanelWindow.h"
#include "ProcessUnderTest.h"
#include "RawPlug.h"
#include "ResourceCounts.h"
#include "Samples.h"
#include "SimulatorClient.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

const char kBlockName[] = "CInstanceChecker_MMF_KESTREL App";
const DWORD kStartMs = 30000;
// Generous: every unit plugged gets a new device instance that Wine keeps, and enumerating the
// unit interfaces (the panel does it in each refresh) slows down as they add up.
const DWORD kChangeMs = 60000;
const int kCyclesPerReport = 100;
const int kWarmUpCycles = 3;
const int kConcurrentCopies = 20;
// Wine and the system DLLs allocate some objects on first use; a leak of one object per cycle
// shows as many times this.
const int kResourceSlack = 3;

const Texts kFourRates = {"44.1 kHz", "48.0 kHz", "88.2 kHz", "96.0 kHz"};
const Texts kLatencies = {"1.5 ms", "2.0 ms", "2.5 ms",  "3.0 ms",  "3.5 ms",  "4.0 ms",
                          "6.0 ms", "8.0 ms", "10.0 ms", "12.0 ms", "18.0 ms", "25.0 ms"};

// A program beside this one: <build>\tests\reliability\<name>.
std::string ProgramHere(const char* name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string self(path);
    return self.substr(0, self.find_last_of('\\') + 1) + name;
}

std::string PanelExe() {
    // <build>\tests\reliability\ -> <build>\panel\Quillmar KESTREL.exe
    std::string build = ProgramHere("");
    build = build.substr(0, build.find_last_of('\\', build.size() - 2));
    build = build.substr(0, build.find_last_of('\\'));
    return build + "\\panel\\Quillmar KESTREL.exe";
}

int PlugCycles() {
    const char* text = std::getenv("KESTREL_PLUG_CYCLES");
    const int cycles = text != nullptr ? std::atoi(text) : 0;
    return cycles > 0 ? cycles : 30;
}

bool BlockExists() {
    HANDLE block = OpenFileMappingA(FILE_MAP_READ, FALSE, kBlockName);
    if (block != nullptr) {
        CloseHandle(block);
    }
    return block != nullptr;
}

HWND PublishedWindow() {
    HANDLE block = OpenFileMappingA(FILE_MAP_READ, FALSE, kBlockName);
    if (block == nullptr) {
        return nullptr;
    }
    HWND window = nullptr;
    if (const void* view = MapViewOfFile(block, FILE_MAP_READ, 0, 0, sizeof(DWORD))) {
        window = static_cast<HWND>(LongToHandle(*static_cast<const LONG*>(view)));
        UnmapViewOfFile(view);
    }
    CloseHandle(block);
    return window;
}

// Every top-level window in the session captioned as the panel.
std::vector<HWND> PanelWindows() {
    std::vector<HWND> windows;
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, nullptr, PanelWindow::kCaption)) != nullptr) {
        windows.push_back(window);
    }
    return windows;
}

bool ShowsUnits(const PanelWindow& panel, int units) {
    return PanelWindow::Count(panel.RateList()) == (units == 1 ? 4 : 2) &&
           PanelWindow::Count(panel.ClockList()) == (units == 2 ? 3 : 2);
}

// Each copy: its exit code, or its top-level windows while it runs (class, caption, visible).
std::string Describe(const std::vector<std::unique_ptr<ProcessUnderTest>>& copies) {
    std::string text;
    for (const auto& copy : copies) {
        text += "\n  copy " + std::to_string(copy->Id()) + ": ";
        if (copy->ExitCode() != STILL_ACTIVE) {
            text += "ended, exit code " + std::to_string(copy->ExitCode());
            continue;
        }
        text += "runs;";
        for (HWND window : copy->TopLevelWindows()) {
            char className[64] = {}, caption[64] = {};
            GetClassNameA(window, className, sizeof(className));
            GetWindowTextA(window, caption, sizeof(caption));
            text += std::string(" [") + className + " \"" + caption + "\"" +
                    (IsWindowVisible(window) ? " visible]" : "]");
        }
    }
    return text;
}

std::string Describe(const ResourceCounts& counts) {
    return "handles " + std::to_string(counts.handles) + ", GDI " + std::to_string(counts.gdi) +
           ", USER " + std::to_string(counts.user);
}

class PanelProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.IsConnected()) << "the driver simulator is not reachable";
        ASSERT_TRUE(sim_.Reset());
        ASSERT_FALSE(BlockExists()) << "a panel from an earlier test still runs";
    }

    void TearDown() override {
        for (const std::unique_ptr<ProcessUnderTest>& copy : copies_) {
            if (copy->ExitCode() != STILL_ACTIVE) {
                continue;
            }
            if (HWND window = copy->WindowCaptioned(PanelWindow::kCaption)) {
                PanelWindow(window).Exit();
            }
            if (!copy->WaitForExit(10000)) {
                ADD_FAILURE() << "copy " << copy->Id() << " did not end on E&xit; killed";
                copy->Kill();
            }
        }
        sim_.ClearFaults();
    }

    ProcessUnderTest& Start() {
        copies_.push_back(std::make_unique<ProcessUnderTest>());
        ProcessUnderTest& copy = *copies_.back();
        EXPECT_TRUE(copy.Start(PanelExe())) << PanelExe() << ": error " << GetLastError();
        return copy;
    }

    // Starts a copy and waits until it is hidden in the tray.
    ProcessUnderTest* StartInTray() {
        ProcessUnderTest& copy = Start();
        const bool inTray = PollUntil(
            [&] {
                return copy.IsHiddenInTray(PanelWindow::kCaption, PanelWindow::kTrayIconId) ||
                       copy.WaitForExit(0);
            },
            kStartMs);
        if (!inTray || copy.WaitForExit(0)) {
            ADD_FAILURE() << "the panel did not reach the tray; exit code " << copy.ExitCode();
            return nullptr;
        }
        return &copy;
    }

    // Starts a copy that must reach the tray showing " No Device", its clock and latency lists
    // disabled.
    ProcessUnderTest* StartShowingNoDevice() {
        ProcessUnderTest* copy = StartInTray();
        if (copy != nullptr) {
            const PanelWindow panel(copy->WindowCaptioned(PanelWindow::kCaption));
            EXPECT_EQ(PanelWindow::Texts(panel.RateList()), Texts{" No Device"});
            EXPECT_FALSE(IsWindowEnabled(panel.ClockList()));
            EXPECT_FALSE(IsWindowEnabled(panel.BufferList()));
        }
        return copy;
    }

    // One plug of a second unit and its unplug, each seen in the panel's lists. The plug is not
    // waited for: the panel's lists are the only sign looked for. `arrivalMs` gets the time from
    // the plug to the panel's lists showing two units.
    bool Cycle(const PanelWindow& panel, double& arrivalMs) {
        const long long plugged = Now();
        const std::uint32_t unit = PlugUnitNow();
        if (unit == 0 || !PollUntil([&] { return ShowsUnits(panel, 2); }, kChangeMs)) {
            ADD_FAILURE() << "the panel did not show the second unit (" << unit << ")";
            return false;
        }
        arrivalMs = Milliseconds(plugged, Now());
        if (!UnplugUnitNow(unit) || !PollUntil([&] { return ShowsUnits(panel, 1); }, kChangeMs)) {
            ADD_FAILURE() << "the panel did not show the unit " << unit << " leaving";
            return false;
        }
        return true;
    }

    sim::SimulatorClient sim_;
    std::vector<std::unique_ptr<ProcessUnderTest>> copies_;
};

TEST_F(PanelProcessTest, PlugCyclesKeepResourcesFlatAndTheListsRight) {
    ProcessUnderTest* copy = StartInTray();
    ASSERT_NE(copy, nullptr);
    const PanelWindow panel(copy->WindowCaptioned(PanelWindow::kCaption));
    double arrivalMs = 0;
    for (int i = 0; i < kWarmUpCycles; ++i) {
        ASSERT_TRUE(Cycle(panel, arrivalMs));
    }
    const ResourceCounts before = CountResources(copy->Handle(), copy->Id());
    const SIZE_T memoryBefore = copy->PrivateBytes();
    ASSERT_GE(before.handles, 0);
    ASSERT_GE(before.gdi, 0);
    ASSERT_GE(before.user, 0);

    const int cycles = PlugCycles();
    const ULONGLONG started = GetTickCount64();
    Samples block;
    for (int i = 0; i < cycles; ++i) {
        ASSERT_TRUE(Cycle(panel, arrivalMs)) << "cycle " << i;
        ASSERT_EQ(copy->ExitCode(), STILL_ACTIVE) << "the panel ended in cycle " << i;
        block.Add(arrivalMs);
        if (block.Count() == kCyclesPerReport || i + 1 == cycles) {
            const ResourceCounts now = CountResources(copy->Handle(), copy->Id());
            std::printf("[ soak ] cycles to %d: plug to lists median %.0f ms, max %.0f ms; %s\n",
                        i + 1, block.Median(), block.Max(), Describe(now).c_str());
            std::fflush(stdout);
            block = Samples();
        }
    }
    const ResourceCounts after = CountResources(copy->Handle(), copy->Id());
    const SIZE_T memoryAfter = copy->PrivateBytes();
    std::printf("[ soak ] %d plug/unplug cycles in %.1f s; before: %s, %llu KiB private; "
                "after: %s, %llu KiB private\n",
                cycles, static_cast<double>(GetTickCount64() - started) / 1000.0,
                Describe(before).c_str(), static_cast<unsigned long long>(memoryBefore / 1024),
                Describe(after).c_str(), static_cast<unsigned long long>(memoryAfter / 1024));
    EXPECT_LE(after.handles, before.handles + kResourceSlack) << Describe(after);
    EXPECT_LE(after.gdi, before.gdi + kResourceSlack) << Describe(after);
    EXPECT_LE(after.user, before.user + kResourceSlack) << Describe(after);

    EXPECT_EQ(PanelWindow::Texts(panel.RateList()), kFourRates);
    EXPECT_EQ(PanelWindow::Selected(panel.RateList()), "48.0 kHz");
    EXPECT_EQ(PanelWindow::Texts(panel.ClockList()), (Texts{"Internal", "S/PDIF"}));
    EXPECT_EQ(PanelWindow::Selected(panel.ClockList()), "Internal");
    EXPECT_TRUE(IsWindowEnabled(panel.ClockList()));
    EXPECT_EQ(PanelWindow::Texts(panel.BufferList()), kLatencies);
    EXPECT_EQ(PanelWindow::Selected(panel.BufferList()), "2.5 ms");
    EXPECT_TRUE(copy->IsHiddenInTray(PanelWindow::kCaption, PanelWindow::kTrayIconId));
}

TEST_F(PanelProcessTest, TwentyCopiesStartedAtOnceLeaveOnePanel) {
    // Every copy's panel needs its desktop's own window, which Wine makes by starting explorer
    // for the first window on a desktop. While twenty copies start at once on an emulated
    // machine, a copy can make its panel before the desktop's explorer is up: it finds no window
    // driver ("The explorer process failed to start"), its dialog fails, and it ends like a
    // copy that found another. A user's desktop is up before any program starts: so is
    // this one, with a window of the test's own on it for as long as the copies run.
    struct WindowCloser {
        void operator()(HWND window) const { DestroyWindow(window); }
    };
    const std::unique_ptr<std::remove_pointer_t<HWND>, WindowCloser> onDesktop(
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    ASSERT_NE(onDesktop, nullptr) << "this session's desktop has no window driver: error "
                                  << GetLastError();
    for (int i = 0; i < kConcurrentCopies; ++i) {
        Start();
    }
    int ended = 0;
    ASSERT_TRUE(PollUntil(
        [&] {
            ended = 0;
            for (const auto& copy : copies_) {
                ended += copy->WaitForExit(0) ? 1 : 0;
            }
            return ended == kConcurrentCopies - 1;
        },
        60000))
        << ended << " copies ended";
    ProcessUnderTest* running = nullptr;
    for (const auto& copy : copies_) {
        if (copy->ExitCode() == STILL_ACTIVE) {
            running = copy.get();
        } else {
            EXPECT_EQ(copy->ExitCode(), 0u) << "copy " << copy->Id();
        }
    }
    ASSERT_NE(running, nullptr);
    const std::vector<HWND> windows = PanelWindows();
    int unitLists = 0, rateReads = 0;
    for (const sim::LogEntry& entry : sim_.Log()) {
        unitLists += entry.code == KSIM_GET_UNIT_LIST ? 1 : 0;
        rateReads += entry.code == KSIM_GET_SAMPLE_RATE ? 1 : 0;
    }
    ASSERT_EQ(windows.size(), 1u) << (BlockExists() ? "a block names " : "no block, ")
                                  << PublishedWindow() << "; the driver read " << unitLists
                                  << " unit lists and " << rateReads
                                  << " rates (one per panel refresh)" << Describe(copies_);
    EXPECT_EQ(running->WindowCaptioned(PanelWindow::kCaption), windows[0]);
    EXPECT_EQ(PublishedWindow(), windows[0]);
    EXPECT_TRUE(
        PollUntil([&] { return running->HasTrayIcon(PanelWindow::kTrayIconId); }, kStartMs));
    // Still one a moment later: no copy is left to open a second.
    Sleep(500);
    EXPECT_EQ(PanelWindows().size(), 1u);
}

TEST_F(PanelProcessTest, KilledCopyLetsTheNextStartRunItsOwnPanel) {
    ProcessUnderTest* first = StartInTray();
    ASSERT_NE(first, nullptr);
    first->Kill();
    EXPECT_FALSE(BlockExists()) << "the killed copy's block outlived it";

    ProcessUnderTest* second = StartInTray();
    ASSERT_NE(second, nullptr);
    const std::vector<HWND> windows = PanelWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(second->WindowCaptioned(PanelWindow::kCaption), windows[0]);
    EXPECT_EQ(PublishedWindow(), windows[0]);
    PanelWindow(windows[0]).Exit();
    EXPECT_TRUE(second->WaitForExit(10000));
    EXPECT_EQ(second->ExitCode(), 0u);
    EXPECT_FALSE(BlockExists());
}

TEST_F(PanelProcessTest, DriverFailingEveryControlRequestStillGivesATrayPanel) {
    const std::uint32_t codes[] = {
        KSIM_GET_SAMPLE_RATE, KSIM_SET_SAMPLE_RATE, KSIM_GET_UNIT_LIST,         KSIM_GET_UNIT_INFO,
        KSIM_APPLY_STAGE_TWO, KSIM_APPLY_STAGE_ONE, KSIM_GET_CPU_LEVEL,         KSIM_SET_CPU_LEVEL,
        KSIM_GET_BUFFER_SIZE, KSIM_SET_BUFFER_SIZE, KSIM_SET_SECOND_BUFFER_SIZE};
    for (std::uint32_t code : codes) {
        ASSERT_TRUE(sim_.Fail(code, ERROR_GEN_FAILURE)) << sim::RequestName(code);
    }
    ProcessUnderTest* copy = StartShowingNoDevice();
    ASSERT_NE(copy, nullptr);
    const PanelWindow panel(copy->WindowCaptioned(PanelWindow::kCaption));
    // A unit arriving meanwhile changes nothing while the driver still fails.
    ASSERT_EQ(sim_.Plug(1).size(), 1u);
    Sleep(300);
    EXPECT_EQ(PanelWindow::Texts(panel.RateList()), Texts{" No Device"});
    EXPECT_EQ(copy->ExitCode(), STILL_ACTIVE);
}

TEST_F(PanelProcessTest, PanelStartedWithoutTheDriverRecoversOnTheNextUnitArrival) {
    ASSERT_TRUE(sim_.SetControlPathPresent(false)); // as if the driver were not loaded
    ASSERT_TRUE(sim_.ClearLog());
    ProcessUnderTest* copy = StartShowingNoDevice();
    ASSERT_NE(copy, nullptr);
    const PanelWindow panel(copy->WindowCaptioned(PanelWindow::kCaption));
    EXPECT_TRUE(sim_.Log().empty()) << "no unit was told anything";

    // The driver is back; the next unit arrival that the panel hears of brings it back. Wine
    // starts a window's device notifications on a thread of its own a moment after the window
    // registered for them, and an arrival before then is never notified (on a busy machine that
    // moment is long): a unit that the panel did not react to at all goes again and another
    // comes. Once the driver has seen the panel react, no unit comes again: the reaction must
    // bring the panel back.
    ASSERT_TRUE(sim_.SetControlPathPresent(true));
    bool reacted = false;
    for (int attempt = 0; attempt < 10 && !reacted; ++attempt) {
        const std::vector<std::uint32_t> plugged = sim_.Plug(1);
        ASSERT_EQ(plugged.size(), 1u);
        reacted = PollUntil([&] { return !sim_.Log().empty(); }, 6000);
        if (!reacted) {
            ASSERT_TRUE(sim_.Unplug(plugged[0]));
        }
    }
    ASSERT_TRUE(reacted) << "the panel heard of none of ten arrivals";
    if (!PollUntil([&] { return ShowsUnits(panel, 2); }, 6000)) {
        std::string seen;
        for (const sim::LogEntry& entry : sim_.Log()) {
            seen += "\n  " + sim::FormatLogLine(entry);
        }
        ADD_FAILURE() << "the panel reacted but does not show the units; the driver saw:" << seen;
    }
    EXPECT_TRUE(IsWindowEnabled(panel.ClockList()));
    EXPECT_TRUE(IsWindowEnabled(panel.BufferList()));
    EXPECT_EQ(PanelWindow::Texts(panel.BufferList()), kLatencies);
    EXPECT_EQ(copy->ExitCode(), STILL_ACTIVE);
}

TEST_F(PanelProcessTest, StartupLockThatCannotBeMadeEndsTheStartWithoutAPanel) {
    // Another kind of object holds the start-up lock's name, so that the lock cannot be made.
    UniqueHandle squatter(CreateSemaphoreA(nullptr, 1, 1, "KESTREL App"));
    ASSERT_TRUE(squatter.IsValid()) << GetLastError();
    ASSERT_TRUE(sim_.ClearLog());

    ProcessUnderTest& copy = Start();
    ASSERT_TRUE(copy.WaitForExit(kStartMs)) << "the copy did not end";
    EXPECT_EQ(copy.ExitCode(), 0u);
    EXPECT_TRUE(PanelWindows().empty());
    EXPECT_FALSE(BlockExists());
    // It ended before its panel existed: the driver was not asked for anything the panel's
    // lists would need, and no unit was told anything.
    for (const sim::LogEntry& entry : sim_.Log()) {
        EXPECT_TRUE(entry.IsControl()) << sim::FormatLogLine(entry);
        EXPECT_NE(entry.code, KSIM_GET_SAMPLE_RATE) << sim::FormatLogLine(entry);
    }

    // With the name free again, the next start runs its panel.
    squatter.Reset();
    ASSERT_NE(StartInTray(), nullptr);
}

TEST(UncaughtErrorTest, EndsTheProgramAtOnceWithItsCodeAndShowsNothing) {
    ProcessUnderTest probe;
    ASSERT_TRUE(probe.Start(ProgramHere("terminate_probe.exe"))) << GetLastError();
    if (!probe.WaitForExit(20000)) {
        // A runtime that reports the error waits in a message box.
        std::string shown;
        for (HWND window : probe.TopLevelWindows()) {
            if (IsWindowVisible(window)) {
                char text[128] = {};
                GetWindowTextA(window, text, sizeof(text));
                shown += std::string(" \"") + text + "\"";
            }
        }
        probe.Kill();
        FAIL() << "the program did not end; its visible windows:" << shown;
    }
    EXPECT_EQ(probe.ExitCode(), kTerminateExitCode);
}

} // namespace
