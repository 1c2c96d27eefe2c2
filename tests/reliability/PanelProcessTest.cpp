// The real program ("Quillmar KESTREL.exe") under load, watched from outside: units plugged and
// unplugged again and again while it sits in the tray (its handle, GDI and USER counts must stay
// flat and its lists be right at the end), twenty copies started at once (one panel), a copy
// killed (the next start runs its own), a driver failing every control request, and a driver
// that is not there when the panel starts. Besides: a program with the panel's C++ runtime that
// reaches std::terminate ends silently.
//
// The number of plug/unplug cycles is KESTREL_PLUG_CYCLES (default 30); scripts/soak runs 1000.
#include "ArrivalWatcher.h"
#include "LeanRuntime.h"
#include "PanelState.h"
#include "PanelWindow.h"
#include "ProcessUnderTest.h"
#include "RawPlug.h"
#include "ResourceCounts.h"
#include "Samples.h"
#include "SimulatorTest.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using panel::kFourRates;
using panel::kLatencies;
using panel::Texts;

// After this long without a request the panel is taken to have missed a unit's arrival.
const DWORD kMissedArrivalMs = 6000;
const int kCyclesPerReport = 100;
const int kWarmUpCycles = 3;
const int kConcurrentCopies = 20;
// Wine and the system DLLs allocate objects on first use, in the warm-up cycles; after them the
// counts stay flat, up to one object in this many cycles (one leaked every ten cycles is more).
const int kCyclesPerStrayObject = 20;

int PlugCycles() {
    const char* text = std::getenv("KESTREL_PLUG_CYCLES");
    const int cycles = text != nullptr ? std::atoi(text) : 0;
    return cycles > 0 ? cycles : 30;
}

// Every top-level window in the session captioned as the panel.
std::vector<HWND> PanelWindows() {
    return test::TopLevelWindows(0, nullptr, panel::kPanelCaption);
}

// Each copy: its exit code, or its top-level windows while it runs (class, caption, visible).
std::string Describe(const std::vector<std::unique_ptr<ProcessUnderTest>>& copies) {
    std::string text;
    for (const auto& copy : copies) {
        text += "\n  copy " + std::to_string(copy->Id()) + ": ";
        if (const std::optional<DWORD> code = copy->WaitForExit(0)) {
            text += "ended, exit code " + std::to_string(*code);
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

class PanelProcessTest : public test::SimulatorTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(test::SimulatorTest::SetUp());
        ASSERT_FALSE(panel::PublishedWindow().has_value())
            << "a panel from an earlier test still runs";
    }

    void TearDown() override {
        for (const std::unique_ptr<ProcessUnderTest>& copy : copies_) {
            if (copy->Running() && !copy->Exit(panel::kPanelCaption)) {
                ADD_FAILURE() << "copy " << copy->Id() << " did not end on E&xit; killed";
            }
        }
        sim_.ClearFaults();
    }

    ProcessUnderTest& Start() {
        copies_.push_back(std::make_unique<ProcessUnderTest>());
        ProcessUnderTest& copy = *copies_.back();
        const std::string exe = test::ProgramBeside("panel\\Quillmar KESTREL.exe", 2);
        EXPECT_TRUE(copy.Start(exe)) << exe << ": error " << GetLastError();
        return copy;
    }

    // Starts a copy and waits until it is hidden in the tray.
    ProcessUnderTest* StartInTray() {
        ProcessUnderTest& copy = Start();
        if (!copy.ReachesTray(panel::kPanelCaption, panel::kTrayIconId, test::kProgramMs)) {
            ADD_FAILURE() << "the panel did not reach the tray; exit code "
                          << copy.WaitForExit(0).value_or(STILL_ACTIVE);
            return nullptr;
        }
        return &copy;
    }

    // Starts a copy that must reach the tray showing " No Device", its clock and latency lists
    // disabled.
    ProcessUnderTest* StartShowingNoDevice() {
        ProcessUnderTest* copy = StartInTray();
        if (copy != nullptr) {
            const PanelWindow panel(copy->WindowCaptioned(panel::kPanelCaption));
            EXPECT_EQ(test::ListTexts(panel.RateList()), Texts{" No Device"});
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
        if (unit == 0 || !test::WaitUntil([&] { return panel.ShowsUnits(2); }, test::kSlowMs, 1)) {
            ADD_FAILURE() << "the panel did not show the second unit (" << unit << ")";
            return false;
        }
        arrivalMs = Milliseconds(plugged, Now());
        if (!UnplugUnitNow(unit) ||
            !test::WaitUntil([&] { return panel.ShowsUnits(1); }, test::kSlowMs, 1)) {
            ADD_FAILURE() << "the panel did not show the unit " << unit << " leaving";
            return false;
        }
        return true;
    }

    // Plugs a unit, with the driver's log cleared before, until the panel reacts to one with a
    // request. Wine starts a window's device notifications on a thread of its own a moment after
    // the window registered for them, and an arrival before then is never notified (on a busy
    // machine that moment is long): a unit that the panel did not react to goes again and
    // another comes. False after ten.
    bool PlugUntilThePanelReacts() {
        for (int attempt = 0; attempt < 10; ++attempt) {
            const std::vector<std::uint32_t> plugged = sim_.Plug(1);
            if (plugged.size() != 1) {
                return false;
            }
            if (test::WaitUntil([&] { return !sim_.Log().empty(); }, kMissedArrivalMs)) {
                return true;
            }
            if (!sim_.Unplug(plugged[0])) {
                return false;
            }
        }
        ADD_FAILURE() << "the panel heard of none of ten arrivals";
        return false;
    }

    std::vector<std::unique_ptr<ProcessUnderTest>> copies_;
};

TEST_F(PanelProcessTest, PlugCyclesKeepResourcesFlatAndTheListsRight) {
    ProcessUnderTest* copy = StartInTray();
    ASSERT_NE(copy, nullptr);
    const PanelWindow panel(copy->WindowCaptioned(panel::kPanelCaption));
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
        ASSERT_TRUE(copy->Running()) << "the panel ended in cycle " << i;
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
    const int slack = cycles / kCyclesPerStrayObject;
    EXPECT_LE(after.handles, before.handles + slack) << Describe(after);
    EXPECT_LE(after.gdi, before.gdi + slack) << Describe(after);
    EXPECT_LE(after.user, before.user + slack) << Describe(after);

    EXPECT_EQ(test::ListTexts(panel.RateList()), kFourRates);
    EXPECT_EQ(test::SelectedText(panel.RateList()), "48.0 kHz");
    EXPECT_EQ(test::ListTexts(panel.ClockList()), panel::kOneUnitClocks);
    EXPECT_EQ(test::SelectedText(panel.ClockList()), "Internal");
    EXPECT_TRUE(IsWindowEnabled(panel.ClockList()));
    EXPECT_EQ(test::ListTexts(panel.BufferList()), kLatencies);
    EXPECT_EQ(test::SelectedText(panel.BufferList()), "2.5 ms");
    EXPECT_TRUE(copy->IsHiddenInTray(panel::kPanelCaption, panel::kTrayIconId));
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
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            ended = 0;
            for (const auto& copy : copies_) {
                ended += copy->Running() ? 0 : 1;
            }
            return ended == kConcurrentCopies - 1;
        },
        test::kSlowMs))
        << ended << " copies ended";
    ProcessUnderTest* running = nullptr;
    for (const auto& copy : copies_) {
        if (copy->Running()) {
            running = copy.get();
        } else {
            EXPECT_EQ(copy->WaitForExit(0), std::optional<DWORD>(0)) << "copy " << copy->Id();
        }
    }
    ASSERT_NE(running, nullptr);
    const std::vector<HWND> windows = PanelWindows();
    const std::optional<HWND> published = panel::PublishedWindow();
    const test::Log log = sim_.Log();
    ASSERT_EQ(windows.size(), 1u) << (published ? "a block names " : "no block, ")
                                  << published.value_or(nullptr) << "; the driver read "
                                  << test::CountOf(log, KSIM_GET_UNIT_LIST) << " unit lists and "
                                  << test::CountOf(log, KSIM_GET_SAMPLE_RATE)
                                  << " rates (one per panel refresh)" << Describe(copies_);
    EXPECT_EQ(running->WindowCaptioned(panel::kPanelCaption), windows[0]);
    EXPECT_EQ(published, std::optional<HWND>(windows[0]));
    EXPECT_TRUE(test::WaitUntil([&] { return running->HasTrayIcon(panel::kTrayIconId); },
                                test::kProgramMs));
}

TEST_F(PanelProcessTest, KilledCopyLetsTheNextStartRunItsOwnPanel) {
    ProcessUnderTest* first = StartInTray();
    ASSERT_NE(first, nullptr);
    first->Kill();
    EXPECT_FALSE(panel::PublishedWindow().has_value()) << "the killed copy's block outlived it";

    ProcessUnderTest* second = StartInTray();
    ASSERT_NE(second, nullptr);
    const std::vector<HWND> windows = PanelWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(second->WindowCaptioned(panel::kPanelCaption), windows[0]);
    EXPECT_EQ(panel::PublishedWindow(), std::optional<HWND>(windows[0]));
    PanelWindow(windows[0]).Exit();
    EXPECT_EQ(second->WaitForExit(test::kProgramMs), std::optional<DWORD>(0));
    EXPECT_FALSE(panel::PublishedWindow().has_value());
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
    const PanelWindow panel(copy->WindowCaptioned(panel::kPanelCaption));
    // A unit arriving meanwhile changes nothing while the driver still fails: once the panel
    // has asked the driver for the buffer size, the last request of its refresh.
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_TRUE(PlugUntilThePanelReacts());
    ASSERT_TRUE(
        test::WaitUntil([&] { return test::CountOf(sim_.Log(), KSIM_GET_BUFFER_SIZE) > 0; }));
    EXPECT_EQ(test::ListTexts(panel.RateList()), Texts{" No Device"});
    EXPECT_TRUE(copy->Running());
}

TEST_F(PanelProcessTest, PanelStartedWithoutTheDriverRecoversOnTheNextUnitArrival) {
    ASSERT_TRUE(sim_.SetControlPathPresent(false)); // as if the driver were not loaded
    ASSERT_TRUE(sim_.ClearLog());
    ProcessUnderTest* copy = StartShowingNoDevice();
    ASSERT_NE(copy, nullptr);
    const PanelWindow panel(copy->WindowCaptioned(panel::kPanelCaption));
    EXPECT_TRUE(sim_.Log().empty()) << "no unit was told anything";

    // The driver is back; the next unit arrival that the panel hears of brings it back: once the
    // driver has seen the panel react, no unit comes again.
    ASSERT_TRUE(sim_.SetControlPathPresent(true));
    ASSERT_TRUE(PlugUntilThePanelReacts());
    if (!test::WaitUntil([&] { return panel.ShowsUnits(2); })) {
        ADD_FAILURE() << "the panel reacted but does not show the units; the driver saw:\n"
                      << test::Describe(sim_.Log());
    }
    EXPECT_TRUE(IsWindowEnabled(panel.ClockList()));
    EXPECT_TRUE(IsWindowEnabled(panel.BufferList()));
    EXPECT_EQ(test::ListTexts(panel.BufferList()), kLatencies);
    EXPECT_TRUE(copy->Running());
}

TEST_F(PanelProcessTest, StartupLockThatCannotBeMadeEndsTheStartWithoutAPanel) {
    // Another kind of object holds the start-up lock's name, so that the lock cannot be made.
    UniqueHandle squatter(CreateSemaphoreA(nullptr, 1, 1, panel::kStartupLock));
    ASSERT_TRUE(squatter.IsValid()) << GetLastError();
    ASSERT_TRUE(sim_.ClearLog());

    const std::optional<DWORD> exitCode = Start().WaitForExit(test::kProgramMs);
    ASSERT_TRUE(exitCode.has_value()) << "the copy did not end";
    EXPECT_EQ(*exitCode, 0u);
    EXPECT_TRUE(PanelWindows().empty());
    EXPECT_FALSE(panel::PublishedWindow().has_value());
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
    test::ChildProcess probe;
    ASSERT_TRUE(probe.Start(test::ProgramBeside("terminate_probe.exe"))) << GetLastError();
    const std::optional<DWORD> exitCode = probe.WaitForExit(test::kProgramMs);
    if (!exitCode) {
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
    EXPECT_EQ(*exitCode, kTerminateExitCode);
}

} // namespace
