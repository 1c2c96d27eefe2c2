// Copies of the program meeting through the single-instance guard, as real processes: the
// stand-in program instance_role.exe (InstanceRole.h) plays each copy, and these tests pace
// the copies through named events and read the outcome back through Win32: exit codes, the
// published block, window visibility and the foreground window.
//
// Covered: a copy waiting for an unpublished first copy, then restoring its hidden window and
// raising its last active popup; a killed copy and an abandoned start-up lock; a block holding
// 0; a block naming a window that is gone; a failed publication; 20 copies started at once.
// Not covered: a view of the block that cannot be mapped (no way to make it fail from outside).
#include "InstanceRole.h"
#include "StartProcess.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

const char kBlockName[] = "CInstanceChecker_MMF_KESTREL App";

constexpr DWORD kWaitMs = 30000;        // bound on anything a test expects to happen
constexpr DWORD kStillWaitingMs = 1000; // how long a copy that must stay blocked is watched
constexpr int kManyCopies = 20;

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

// Waits for `handle` while dispatching this thread's messages, so that no copy that sends to
// the test's window is held up by the test.
DWORD WaitPumping(HANDLE handle, DWORD timeoutMs) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        ULONGLONG now = GetTickCount64();
        DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_ALLINPUT);
        if (result != WAIT_OBJECT_0 + 1) {
            return result;
        }
        PumpMessages();
        if (left == 0) {
            return WaitForSingleObject(handle, 0);
        }
    }
}

bool Eventually(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        PumpMessages();
        Sleep(10);
    }
    return true;
}

std::string RoleProgram() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string self(path, length);
    return self.substr(0, self.find_last_of('\\') + 1) + "instance_role.exe";
}

// The window handle in the published block, or nothing when there is no block.
std::optional<HWND> PublishedWindow() {
    HANDLE block = OpenFileMappingA(FILE_MAP_READ, FALSE, kBlockName);
    if (block == nullptr) {
        return std::nullopt;
    }
    std::optional<HWND> window;
    const void* view = MapViewOfFile(block, FILE_MAP_READ, 0, 0, sizeof(DWORD));
    if (view != nullptr) {
        window = static_cast<HWND>(LongToHandle(*static_cast<const LONG*>(view)));
        UnmapViewOfFile(view);
    }
    CloseHandle(block);
    return window;
}

DWORD WindowProcess(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

class InstanceProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLastError(0xdeadbeef);
        ASSERT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, kBlockName), nullptr)
            << "a copy from an earlier test still runs";
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        const char* semaphores[] = {role::AtGate, role::WindowReady, role::Published,
                                    role::Lingering};
        for (const char* name : semaphores) {
            HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 100, name);
            ASSERT_NE(semaphore, nullptr) << name;
            pacing_.emplace_back(name, semaphore);
        }
        const char* events[] = {role::Go, role::PublishAllowed, role::Release};
        for (const char* name : events) {
            HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
            ASSERT_NE(event, nullptr) << name;
            pacing_.emplace_back(name, event);
        }
    }

    void TearDown() override {
        SetEvent(Pacing(role::Release));
        for (PROCESS_INFORMATION& child : children_) {
            if (WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT) {
                ADD_FAILURE() << "copy " << child.dwProcessId << " still runs; ending it";
                TerminateProcess(child.hProcess, 99);
                WaitForSingleObject(child.hProcess, 5000);
            }
            CloseHandle(child.hProcess);
            CloseHandle(child.hThread);
        }
        for (const auto& pacing : pacing_) {
            CloseHandle(pacing.second);
        }
        if (foreground_ != nullptr) {
            DestroyWindow(foreground_);
        }
    }

    HANDLE Pacing(const char* name) const {
        for (const auto& [pacingName, handle] : pacing_) {
            if (std::strcmp(pacingName, name) == 0) {
                return handle;
            }
        }
        return nullptr;
    }

    // Starts a copy with these arguments; returns its index, or -1.
    int Start(const std::string& arguments) {
        std::string commandLine = "\"";
        commandLine.append(RoleProgram()).append("\" ").append(arguments);
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PassStandardHandles(startup);
        PROCESS_INFORMATION child = {};
        if (!StartProcess(nullptr, commandLine.data(), TRUE, 0, &startup, &child)) {
            ADD_FAILURE() << "cannot start " << commandLine << ": error " << GetLastError();
            return -1;
        }
        children_.push_back(child);
        return static_cast<int>(children_.size()) - 1;
    }

    DWORD ProcessId(int copy) const { return children_.at(copy).dwProcessId; }
    HANDLE Process(int copy) const { return children_.at(copy).hProcess; }

    // The copy's exit code once it has ended within `timeoutMs`, or STILL_ACTIVE.
    DWORD ExitCode(int copy, DWORD timeoutMs = kWaitMs) const {
        if (WaitPumping(Process(copy), timeoutMs) != WAIT_OBJECT_0) {
            return STILL_ACTIVE;
        }
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(Process(copy), &code);
        return code;
    }

    bool StillWaiting(int copy) const {
        return WaitPumping(Process(copy), kStillWaitingMs) == WAIT_TIMEOUT;
    }

    bool Signalled(const char* name, DWORD timeoutMs = kWaitMs) const {
        return WaitPumping(Pacing(name), timeoutMs) == WAIT_OBJECT_0;
    }

    HWND MainWindowOf(int copy) const {
        return FindWindowA(role::WindowClass, role::MainCaption(ProcessId(copy)).c_str());
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
        ASSERT_TRUE(Eventually([this] { return GetForegroundWindow() == foreground_; }));
    }

    std::vector<PROCESS_INFORMATION> children_;
    std::vector<std::pair<const char*, HANDLE>> pacing_;
    HWND foreground_ = nullptr;
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
                FindWindowA(role::WindowClass, role::PopupCaption(ProcessId(first)).c_str());
            ASSERT_NE(expectedForeground, nullptr);
            ASSERT_EQ(GetLastActivePopup(main), expectedForeground);
        }
        EXPECT_FALSE(IsWindowVisible(main));
        TakeForeground();

        int second = Start("second");
        EXPECT_TRUE(StillWaiting(second)) << "the second copy passed an unpublished first";
        EXPECT_FALSE(IsWindowVisible(main));
        EXPECT_FALSE(PublishedWindow().has_value());

        SetEvent(Pacing(role::PublishAllowed));
        EXPECT_EQ(ExitCode(second), static_cast<DWORD>(role::Activated));
        EXPECT_EQ(PublishedWindow(), std::optional<HWND>(main));
        EXPECT_TRUE(IsWindowVisible(main));
        EXPECT_TRUE(Eventually([&] { return GetForegroundWindow() == expectedForeground; }))
            << "foreground " << GetForegroundWindow() << ", expected " << expectedForeground;

        Close(first);
        EXPECT_EQ(ExitCode(first), static_cast<DWORD>(role::RanOwnWindow));
        EXPECT_FALSE(PublishedWindow().has_value()) << "the block outlived its copy";
        ResetEvent(Pacing(role::PublishAllowed));
        DestroyWindow(foreground_);
        foreground_ = nullptr;
    }
}

// A running copy that is killed takes its block with it, and the next copy runs its own window.
TEST_F(InstanceProcessTest, KilledCopyLeavesNoBlockAndTheNextCopyRunsItsOwn) {
    int first = Start("panel");
    ASSERT_TRUE(Signalled(role::Published));
    ASSERT_EQ(PublishedWindow(), std::optional<HWND>(MainWindowOf(first)));

    Clock::time_point killed = Clock::now();
    ASSERT_TRUE(TerminateProcess(Process(first), 9));
    ASSERT_EQ(ExitCode(first), 9u);
    double blockGoneMs = MillisecondsSince(killed);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, kBlockName), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    int next = Start("panel");
    ASSERT_TRUE(Signalled(role::Published));
    double nextPublishedMs = MillisecondsSince(killed);
    std::optional<HWND> published = PublishedWindow();
    ASSERT_TRUE(published.has_value());
    EXPECT_EQ(*published, MainWindowOf(next));
    EXPECT_EQ(WindowProcess(*published), ProcessId(next));
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
    EXPECT_TRUE(StillWaiting(next));

    Clock::time_point killed = Clock::now();
    ASSERT_TRUE(TerminateProcess(Process(first), 9));
    ASSERT_TRUE(Signalled(role::Published));
    double nextPublishedMs = MillisecondsSince(killed);
    std::optional<HWND> published = PublishedWindow();
    ASSERT_TRUE(published.has_value());
    EXPECT_EQ(WindowProcess(*published), ProcessId(next));
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
    EXPECT_EQ(PublishedWindow(), std::optional<HWND>(nullptr));

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
    ASSERT_EQ(PublishedWindow(), std::optional<HWND>(gone));

    int second = Start("second");
    EXPECT_EQ(ExitCode(second), static_cast<DWORD>(role::ActivatedNothing));

    SetEvent(Pacing(role::Release));
    EXPECT_EQ(ExitCode(first), static_cast<DWORD>(role::RanOwnWindow));
    EXPECT_FALSE(PublishedWindow().has_value());
}

// The block's name is taken by another kind of object, so the first copy cannot publish and
// keeps the start-up lock while its window runs. A second copy waits, without a window, until
// the first ends, and then goes on as if no copy ran.
TEST_F(InstanceProcessTest, FailedPublicationMakesTheNextCopyWaitUntilTheFirstEnds) {
    HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, kBlockName);
    ASSERT_NE(squatter, nullptr);
    int first = Start("panel");
    ASSERT_TRUE(Signalled(role::Published));
    int second = Start("second");
    EXPECT_TRUE(StillWaiting(second)) << "the second copy passed the first's start-up lock";

    Close(first);
    EXPECT_EQ(ExitCode(first), static_cast<DWORD>(role::RanOwnWindowUnpublished));
    EXPECT_EQ(ExitCode(second), static_cast<DWORD>(role::WouldRunOwnWindow));
    CloseHandle(squatter);
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
    ASSERT_TRUE(Eventually([&] {
        ended = 0;
        for (int copy : copies) {
            ended += WaitForSingleObject(Process(copy), 0) == WAIT_OBJECT_0 ? 1 : 0;
        }
        return ended == kManyCopies - 1;
    })) << ended
        << " copies ended";
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
    std::optional<HWND> published = PublishedWindow();
    ASSERT_TRUE(published.has_value());
    EXPECT_EQ(WindowProcess(*published), ProcessId(running));
    EXPECT_TRUE(IsWindowVisible(*published));
    std::printf("[ timing ] %d copies at once: all at the gate %.1f ms after the first was "
                "started; one published %.1f ms after the gate opened; %d activated it and "
                "ended, the last %.1f ms after the gate opened\n",
                kManyCopies, atGateMs, publishedMs, activated, lastEndedMs);

    Close(running);
    EXPECT_EQ(ExitCode(running), static_cast<DWORD>(role::RanOwnWindow));
}

} // namespace
