// Copies of the program meeting through the single-instance guard, as real processes: the
// stand-in program instance_role.exe (InstanceRole.h) plays each copy, and these tests pace
// the copies through named events and read the outcome back through Win32: exit codes, the
// published block, window visibility and the foreground window.
//
// Covered: a copy waiting for an unpublished first copy, then restoring its hidden window and
// raising its last active popup; a killed copy and an abandoned start-up lock; a block holding
// 0; a block naming a window that is gone; a failed publication; 20 copies started at once.
// Not covered: a view of the block that cannot be mapped (no way to make it fail from outside).
#include "ChildProcess.h"
#include "InstanceRole.h"
#include "PanelState.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kManyCopies = 20;

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class InstanceProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLastError(0xdeadbeef);
        ASSERT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, panel::kInstanceBlock), nullptr)
            << "a copy from an earlier test still runs";
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        for (const char* name :
             {role::AtGate, role::AtLock, role::WindowReady, role::Published, role::Lingering}) {
            pacing_.try_emplace(name, CreateSemaphoreA(nullptr, 0, 100, name));
            ASSERT_NE(Pacing(name), nullptr) << name;
        }
        for (const char* name : {role::Go, role::PublishAllowed, role::Release}) {
            pacing_.try_emplace(name, CreateEventA(nullptr, TRUE, FALSE, name));
            ASSERT_NE(Pacing(name), nullptr) << name;
        }
    }

    void TearDown() override {
        SetEvent(Pacing(role::Release));
        for (const std::unique_ptr<test::ChildProcess>& child : children_) {
            if (child->Running()) {
                ADD_FAILURE() << "copy " << child->Id() << " still runs; ending it";
                child->Kill(99);
            }
        }
        if (foreground_ != nullptr) {
            DestroyWindow(foreground_);
        }
    }

    HANDLE Pacing(const char* name) const {
        const auto found = pacing_.find(name);
        return found != pacing_.end() ? found->second.Get() : nullptr;
    }

    // Starts a copy with these arguments; returns its index, or -1.
    int Start(const std::string& arguments) {
        const std::string program = test::ProgramBeside("instance_role.exe");
        children_.push_back(std::make_unique<test::ChildProcess>());
        if (!children_.back()->Start(program, arguments, {.standardHandles = true})) {
            ADD_FAILURE() << "cannot start " << program << " " << arguments << ": error "
                          << GetLastError();
            return -1;
        }
        return static_cast<int>(children_.size()) - 1;
    }

    DWORD ProcessId(int copy) const { return children_.at(copy)->Id(); }
    HANDLE Process(int copy) const { return children_.at(copy)->Handle(); }

    // The copy's exit code once it has ended within `timeoutMs`, or STILL_ACTIVE.
    DWORD ExitCode(int copy, DWORD timeoutMs = test::kProgramMs) const {
        return children_.at(copy)->WaitForExit(timeoutMs).value_or(STILL_ACTIVE);
    }

    // True once copy `copy`, and every copy started before it, has come to the start-up lock.
    bool ReachedTheLock(int copy) {
        for (; copiesAtLock_ <= copy; ++copiesAtLock_) {
            if (!Signalled(role::AtLock)) {
                return false;
            }
        }
        return true;
    }

    // When the copy's process ended, as the system recorded it, and the system's time now.
    ULONGLONG EndTime(int copy) const {
        FILETIME created = {}, ended = {}, kernel = {}, user = {};
        GetProcessTimes(Process(copy), &created, &ended, &kernel, &user);
        return (static_cast<ULONGLONG>(ended.dwHighDateTime) << 32) | ended.dwLowDateTime;
    }
    static ULONGLONG Now() {
        FILETIME now = {};
        GetSystemTimeAsFileTime(&now);
        return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    }

    bool Signalled(const char* name, DWORD timeoutMs = test::kProgramMs) const {
        return test::WaitPumping(Pacing(name), timeoutMs) == WAIT_OBJECT_0;
    }

    HWND MainWindowOf(int copy) const {
        return test::FindTopLevel(ProcessId(copy), role::WindowClass, role::MainCaption);
    }

    // Closes a running copy's window, which ends its message loop.
    void Close(int copy) {
        HWND window = MainWindowOf(copy);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
    }

    // A visible window of the test's own, in the foreground, so that a copy's activation is
    // seen to move the foreground away from it.
    void TakeForeground() {
        foreground_ = CreateWindowExA(0, "STATIC", "KESTREL instance test",
                                      WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400, 300, 200, 100, nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(foreground_, nullptr);
        SetForegroundWindow(foreground_);
        ASSERT_TRUE(test::WaitUntil([this] { return GetForegroundWindow() == foreground_; },
                                    test::kProgramMs));
    }

    std::vector<std::unique_ptr<test::ChildProcess>> children_;
    std::map<std::string, UniqueHandle> pacing_;
    HWND foreground_ = nullptr;
    int copiesAtLock_ = 0;
};

// The first copy still builds its window when the second starts: the second waits on the
// start-up lock, and once the first has published it restores the first's hidden window,
// raises its last active popup (the window itself when it has none) and ends.
TEST_F(InstanceProcessTest, SecondCopyWaitsForPublicationThenRestoresAndRaisesTheFirst) {
    struct Case {
        const char* name;
        bool popup;
    };
    const Case cases[] = {{"hidden window alone", false}, {"hidden window with a popup", true}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        int first = Start(std::string("panel --hold-publication") + (row.popup ? " --popup" : ""));
        ASSERT_TRUE(Signalled(role::WindowReady));
        HWND main = MainWindowOf(first);
        ASSERT_NE(main, nullptr);
        HWND expectedForeground = main;
        if (row.popup) {
            expectedForeground =
                test::FindTopLevel(ProcessId(first), role::WindowClass, role::PopupCaption);
            ASSERT_NE(expectedForeground, nullptr);
            ASSERT_EQ(GetLastActivePopup(main), expectedForeground);
        }
        EXPECT_FALSE(IsWindowVisible(main));
        TakeForeground();

        // Had the second passed the lock of an unpublished first, it would find no block and end
        // as a copy that runs its own window.
        int second = Start("second");
        ASSERT_TRUE(ReachedTheLock(second));
        EXPECT_FALSE(IsWindowVisible(main));
        EXPECT_FALSE(panel::PublishedWindow().has_value());

        SetEvent(Pacing(role::PublishAllowed));
        EXPECT_EQ(ExitCode(second), static_cast<DWORD>(role::Activated));
        EXPECT_EQ(panel::PublishedWindow(), std::optional<HWND>(main));
        EXPECT_TRUE(IsWindowVisible(main));
        EXPECT_TRUE(test::WaitUntil([&] { return GetForegroundWindow() == expectedForeground; },
                                    test::kProgramMs))
            << "foreground " << GetForegroundWindow() << ", expected " << expectedForeground;

        Close(first);
        EXPECT_EQ(ExitCode(first), static_cast<DWORD>(role::RanOwnWindow));
        EXPECT_FALSE(panel::PublishedWindow().has_value()) << "the block outlived its copy";
        ResetEvent(Pacing(role::PublishAllowed));
        DestroyWindow(foreground_);
        foreground_ = nullptr;
    }
}

// A running copy that is killed takes its block with it, and the next copy runs its own window.
TEST_F(InstanceProcessTest, KilledCopyLeavesNoBlockAndTheNextCopyRunsItsOwn) {
    int first = Start("panel");
    ASSERT_TRUE(Signalled(role::Published));
    ASSERT_EQ(panel::PublishedWindow(), std::optional<HWND>(MainWindowOf(first)));

    Clock::time_point killed = Clock::now();
    ASSERT_TRUE(TerminateProcess(Process(first), 9));
    ASSERT_EQ(ExitCode(first), 9u);
    double blockGoneMs = MillisecondsSince(killed);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, panel::kInstanceBlock), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    int next = Start("panel");
    ASSERT_TRUE(Signalled(role::Published));
    double nextPublishedMs = MillisecondsSince(killed);
    std::optional<HWND> published = panel::PublishedWindow();
    ASSERT_TRUE(published.has_value());
    EXPECT_EQ(*published, MainWindowOf(next));
    EXPECT_EQ(test::ProcessOf(*published), ProcessId(next));
    std::printf("[ timing ] killed copy: ended and block gone %.1f ms after TerminateProcess; "
                "next copy published its own window %.1f ms after it\n",
                blockGoneMs, nextPublishedMs);

    Close(next);
    EXPECT_EQ(ExitCode(next), static_cast<DWORD>(role::RanOwnWindow));
}

// A copy killed while it holds the start-up lock abandons the mutex; the copy waiting for it
// acquires it as usual, finds no block and runs its own window.
TEST_F(InstanceProcessTest, AbandonedStartupLockIsAcquiredNormally) {
    int first = Start("panel --hold-publication");
    ASSERT_TRUE(Signalled(role::WindowReady));
    int next = Start("panel");
    ASSERT_TRUE(ReachedTheLock(next));

    Clock::time_point killed = Clock::now();
    ASSERT_TRUE(TerminateProcess(Process(first), 9));
    ASSERT_TRUE(Signalled(role::Published));
    double nextPublishedMs = MillisecondsSince(killed);
    std::optional<HWND> published = panel::PublishedWindow();
    ASSERT_TRUE(published.has_value());
    EXPECT_EQ(test::ProcessOf(*published), ProcessId(next));
    std::printf("[ timing ] copy killed holding the lock: the waiting copy published %.1f ms "
                "after TerminateProcess\n",
                nextPublishedMs);

    Close(next);
    EXPECT_EQ(ExitCode(next), static_cast<DWORD>(role::RanOwnWindow));
}

// A copy that had no main window when it published leaves 0 in the block: a second copy
// activates nothing, shows nothing and ends.
TEST_F(InstanceProcessTest, BlockHoldingZeroActivatesNothing) {
    int first = Start("panel --no-window");
    ASSERT_TRUE(Signalled(role::Published));
    EXPECT_EQ(panel::PublishedWindow(), std::optional<HWND>(nullptr));

    int second = Start("second");
    EXPECT_EQ(ExitCode(second), static_cast<DWORD>(role::ActivatedNothing));
    EXPECT_FALSE(IsWindowVisible(MainWindowOf(first)));

    Close(first);
    EXPECT_EQ(ExitCode(first), static_cast<DWORD>(role::RanOwnWindow));
}

// A copy that has closed its window keeps its block until its process ends. A copy starting in
// that gap finds the block, activates nothing and ends; it neither hangs nor runs a window.
TEST_F(InstanceProcessTest, BlockNamingAWindowThatIsGoneActivatesNothing) {
    int first = Start("panel --linger");
    ASSERT_TRUE(Signalled(role::Published));
    HWND gone = MainWindowOf(first);
    Close(first);
    ASSERT_TRUE(Signalled(role::Lingering));
    ASSERT_FALSE(IsWindow(gone));
    ASSERT_EQ(panel::PublishedWindow(), std::optional<HWND>(gone));

    int second = Start("second");
    EXPECT_EQ(ExitCode(second), static_cast<DWORD>(role::ActivatedNothing));

    SetEvent(Pacing(role::Release));
    EXPECT_EQ(ExitCode(first), static_cast<DWORD>(role::RanOwnWindow));
    EXPECT_FALSE(panel::PublishedWindow().has_value());
}

// The block's name is taken by another kind of object, so the first copy cannot publish and
// keeps the start-up lock while its window runs. A second copy waits, without a window, until
// the first ends, and then goes on as if no copy ran.
TEST_F(InstanceProcessTest, FailedPublicationMakesTheNextCopyWaitUntilTheFirstEnds) {
    const UniqueHandle squatter(CreateEventA(nullptr, TRUE, FALSE, panel::kInstanceBlock));
    ASSERT_TRUE(squatter.IsValid());
    int first = Start("panel");
    ASSERT_TRUE(Signalled(role::Published));
    int second = Start("second");
    ASSERT_TRUE(ReachedTheLock(second));

    const ULONGLONG closed = Now();
    Close(first);
    EXPECT_EQ(ExitCode(first), static_cast<DWORD>(role::RanOwnWindowUnpublished));
    EXPECT_EQ(ExitCode(second), static_cast<DWORD>(role::WouldRunOwnWindow));
    EXPECT_GE(EndTime(second), closed) << "the second copy passed the first's lock";
}

// Twenty copies leave the start gate together: one runs its window and publishes it, every
// other one activates that window and ends.
TEST_F(InstanceProcessTest, TwentyCopiesStartedAtOnceLeaveOneRunning) {
    std::vector<int> copies;
    Clock::time_point started = Clock::now();
    for (int i = 0; i < kManyCopies; ++i) {
        copies.push_back(Start("panel --gate"));
        ASSERT_GE(copies.back(), 0);
    }
    for (int i = 0; i < kManyCopies; ++i) {
        ASSERT_TRUE(Signalled(role::AtGate)) << "only " << i << " copies reached the gate";
    }

    double atGateMs = MillisecondsSince(started);
    Clock::time_point go = Clock::now();
    SetEvent(Pacing(role::Go));
    ASSERT_TRUE(Signalled(role::Published));
    double publishedMs = MillisecondsSince(go);
    int ended = 0;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            ended = 0;
            for (int copy : copies) {
                ended += children_[copy]->Running() ? 0 : 1;
            }
            return ended == kManyCopies - 1;
        },
        test::kProgramMs))
        << ended << " copies ended";
    double lastEndedMs = MillisecondsSince(go);

    int running = -1;
    int activated = 0;
    for (int copy : copies) {
        DWORD code = ExitCode(copy, 0);
        if (code == STILL_ACTIVE) {
            EXPECT_EQ(running, -1) << "two copies run";
            running = copy;
        } else {
            EXPECT_EQ(code, static_cast<DWORD>(role::Activated)) << "copy " << ProcessId(copy);
            activated += code == static_cast<DWORD>(role::Activated) ? 1 : 0;
        }
    }
    ASSERT_NE(running, -1);
    EXPECT_FALSE(Signalled(role::Published, 0)) << "more than one copy published";
    std::optional<HWND> published = panel::PublishedWindow();
    ASSERT_TRUE(published.has_value());
    EXPECT_EQ(test::ProcessOf(*published), ProcessId(running));
    EXPECT_TRUE(IsWindowVisible(*published));
    std::printf("[ timing ] %d copies at once: all at the gate %.1f ms after the first was "
                "started; one published %.1f ms after the gate opened; %d activated it and "
                "ended, the last %.1f ms after the gate opened\n",
                kManyCopies, atGateMs, publishedMs, activated, lastEndedMs);

    Close(running);
    EXPECT_EQ(ExitCode(running), static_cast<DWORD>(role::RanOwnWindow));
}

} // namespace
