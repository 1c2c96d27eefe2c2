// The single-instance guard and its framework pieces inside one process: the mutex wrapper and
// its lock, the block's holder, and each checker operation against blocks and names that the
// test makes itself. Another thread stands in for another copy where lock ownership matters.
#include "CInstanceChecker.h"
#include "CMutex.h"
#include "CResourceException.h"
#include "CSingleLock.h"
#include "CWinApp.h"
#include "PanelApp.h"
#include "CWnd.h"
#include "PanelState.h"
#include "PublishedMappingHandle.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace {

// What another thread gets when it tries the mutex without waiting; it releases at once.
DWORD TryFromAnotherThread(HANDLE mutex) {
    DWORD result = WAIT_FAILED;
    std::thread other([&] {
        result = WaitForSingleObject(mutex, 0);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
            ReleaseMutex(mutex);
        }
    });
    other.join();
    return result;
}

bool StartupLockHeldHere() {
    const UniqueHandle mutex(
        OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, panel::kStartupLock));
    if (!mutex.IsValid()) {
        ADD_FAILURE() << "no start-up mutex, error " << GetLastError();
        return false;
    }
    return TryFromAnotherThread(mutex.Get()) == WAIT_TIMEOUT;
}

// A block as a running copy leaves it, holding `value`; the handle keeps it alive.
HANDLE MakeBlock(DWORD value) {
    HANDLE block = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4,
                                      panel::kInstanceBlock);
    if (block == nullptr) {
        return nullptr;
    }
    void* view = MapViewOfFile(block, FILE_MAP_WRITE, 0, 0, 4);
    *static_cast<DWORD*>(view) = value;
    UnmapViewOfFile(view);
    return block;
}

class TestChecker : public CInstanceChecker {
public:
    HWND WindowToPublish() const override { return window; }
    HWND window = nullptr;
};

HWND MakeHiddenWindow() {
    return CreateWindowExA(0, "STATIC", "KESTREL checker test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

TEST(CMutexTest, NameTakenByAnotherKindOfObjectThrowsTheResourceException) {
    const UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, "KestrelCheckerTest.Taken"));
    ASSERT_TRUE(event.IsValid());
    DWORD error = 0;
    SetLastError(0xdeadbeef);
    try {
        CMutex mutex(false, "KestrelCheckerTest.Taken");
        ADD_FAILURE() << "a mutex over an event's name was made";
    } catch (const CResourceException& exception) {
        error = exception.GetError();
        EXPECT_TRUE(exception.IsKindOf(&CObject::classCObject));
    }
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(CSingleLockTest, HoldsTheMutexUntilDestroyed) {
    CMutex mutex;
    {
        CSingleLock lock(mutex);
        EXPECT_TRUE(lock.IsLocked());
        EXPECT_EQ(TryFromAnotherThread(mutex.GetHandle()), static_cast<DWORD>(WAIT_TIMEOUT));
    }
    EXPECT_EQ(TryFromAnotherThread(mutex.GetHandle()), static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST(CSingleLockTest, AbandonedMutexCountsAsAcquiredAndIsReleased) {
    CMutex mutex;
    std::thread owner([&] { EXPECT_TRUE(mutex.Lock()); }); // ends owning it
    owner.join();
    {
        CSingleLock lock(mutex);
        EXPECT_TRUE(lock.IsLocked());
    }
    // Released, and no longer abandoned: the next owner gets it plainly.
    EXPECT_EQ(TryFromAnotherThread(mutex.GetHandle()), static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST(CSingleLockTest, ReleasesOnlyTheOwnershipItTook) {
    CMutex mutex;
    ASSERT_TRUE(mutex.Lock()); // an outer ownership of this thread
    {
        CSingleLock lock(mutex);
        ASSERT_TRUE(lock.IsLocked());
        lock.Unlock();
        EXPECT_FALSE(lock.IsLocked());
        lock.Unlock();
    }
    EXPECT_EQ(TryFromAnotherThread(mutex.GetHandle()), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the lock released the outer ownership";
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_EQ(TryFromAnotherThread(mutex.GetHandle()), static_cast<DWORD>(WAIT_OBJECT_0));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(mutex.Unlock());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
}

class InstanceCheckerTest : public ::testing::Test {
protected:
    void TearDown() override { g_publishedMappingHandle.Reset(); }
};

TEST_F(InstanceCheckerTest, NamesItsMutexAndBlockAfterTheInstance) {
    TestChecker checker;
    EXPECT_EQ(checker.SharedBlockName(), panel::kInstanceBlock);
    EXPECT_TRUE(checker.IsKindOf(&CInstanceChecker::classCInstanceChecker));
    EXPECT_FALSE(StartupLockHeldHere()) << "the start-up mutex was created owned";
}

TEST_F(InstanceCheckerTest, StartupMutexNameTakenThrowsFromTheConstructor) {
    const UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, panel::kStartupLock));
    ASSERT_TRUE(event.IsValid());
    DWORD error = 0;
    try {
        TestChecker checker;
        ADD_FAILURE() << "the checker was built without its start-up mutex";
    } catch (const CResourceException& exception) {
        error = exception.GetError();
    }
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(InstanceCheckerTest, AnotherInstanceRunsOnlyWhileABlockExists) {
    struct Case {
        const char* name;
        HANDLE (*make)();
        bool expected;
    };
    const Case cases[] = {
        {"nothing by that name", [] { return HANDLE(nullptr); }, false},
        {"a block", [] { return MakeBlock(0); }, true},
        {"an event by that name",
         [] { return CreateEventA(nullptr, TRUE, FALSE, panel::kInstanceBlock); }, false},
    };
    TestChecker checker;
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const UniqueHandle object(row.make());
        EXPECT_EQ(checker.IsAnotherInstanceRunning(), row.expected);
    }
}

TEST_F(InstanceCheckerTest, StartupLockIsHeldFromLockStartupToItsRelease) {
    CMutex keepsTheNameAlive(false, panel::kStartupLock);
    {
        TestChecker checker;
        checker.UnlockStartup(); // nothing held: no effect
        checker.LockStartup();
        EXPECT_TRUE(StartupLockHeldHere());
        checker.UnlockStartup();
        EXPECT_FALSE(StartupLockHeldHere());
        checker.UnlockStartup();
        checker.LockStartup();
        EXPECT_TRUE(StartupLockHeldHere());
    }
    EXPECT_FALSE(StartupLockHeldHere()) << "the destructor kept the start-up lock";
}

TEST_F(InstanceCheckerTest, PublicationStoresTheWindowAndReleasesTheLock) {
    HWND window = MakeHiddenWindow();
    ASSERT_NE(window, nullptr);
    TestChecker checker;
    checker.window = window;
    checker.LockStartup();
    EXPECT_TRUE(checker.PublishMainWindow());
    EXPECT_NE(g_publishedMappingHandle.Get(), nullptr);
    EXPECT_EQ(panel::PublishedWindow(), std::optional<HWND>(window));
    EXPECT_FALSE(StartupLockHeldHere());
    EXPECT_TRUE(checker.IsAnotherInstanceRunning());

    // A second publication finds the first one's block and leaves it alone.
    HANDLE held = g_publishedMappingHandle.Get();
    checker.window = nullptr;
    checker.LockStartup();
    EXPECT_FALSE(checker.PublishMainWindow());
    EXPECT_EQ(g_publishedMappingHandle.Get(), held);
    EXPECT_EQ(panel::PublishedWindow(), std::optional<HWND>(window));
    EXPECT_TRUE(StartupLockHeldHere());

    checker.UnlockStartup();
    g_publishedMappingHandle.Reset();
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, panel::kInstanceBlock), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    DestroyWindow(window);
}

// Without an override the checker publishes the application's main window of the moment.
TEST_F(InstanceCheckerTest, PublishesTheApplicationsMainWindowByDefault) {
    CInstanceChecker checker;
    CWinApp& app = theApp;
    ASSERT_EQ(AfxGetApp(), &app);
    EXPECT_EQ(checker.WindowToPublish(), nullptr) << "no main window";
    CWnd main;
    ASSERT_TRUE(main.CreateEx(0, AfxRegisterWndClass(0), "KESTREL checker test",
                              WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr));
    app.m_pMainWnd = &main;
    checker.LockStartup();
    EXPECT_TRUE(checker.PublishMainWindow());
    EXPECT_EQ(panel::PublishedWindow(), std::optional<HWND>(main.m_hWnd));
    app.m_pMainWnd = nullptr;
}

TEST_F(InstanceCheckerTest, FailedPublicationKeepsTheLockAndHoldsNoHandle) {
    struct Case {
        const char* name;
        HANDLE (*make)();
        DWORD blockValue; // 0 when there is no block to read back
    };
    const Case cases[] = {
        {"a block exists already", [] { return MakeBlock(0x1234); }, 0x1234},
        {"the name is an event's",
         [] { return CreateEventA(nullptr, TRUE, FALSE, panel::kInstanceBlock); }, 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const UniqueHandle object(row.make());
        ASSERT_TRUE(object.IsValid());
        TestChecker checker;
        checker.LockStartup();
        EXPECT_FALSE(checker.PublishMainWindow());
        EXPECT_EQ(g_publishedMappingHandle.Get(), nullptr);
        EXPECT_TRUE(StartupLockHeldHere());
        if (row.blockValue != 0) {
            EXPECT_EQ(panel::PublishedWindow(),
                      std::optional<HWND>(static_cast<HWND>(ULongToHandle(row.blockValue))));
        }
    }
}

TEST_F(InstanceCheckerTest, ActivationRestoresAPublishedWindowAndReleasesTheLock) {
    HWND window = MakeHiddenWindow();
    ASSERT_NE(window, nullptr);
    const UniqueHandle block(MakeBlock(HandleToULong(window)));
    ASSERT_TRUE(block.IsValid());
    TestChecker checker;
    checker.LockStartup();
    EXPECT_EQ(checker.ActivateRunningInstance(), window);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetForegroundWindow(), window);
    EXPECT_FALSE(StartupLockHeldHere());
    DestroyWindow(window);
}

// Blocks that name no live window: nothing is shown, null comes back and the lock is released.
// Without a block at all, the lock stays held until the checker goes.
TEST_F(InstanceCheckerTest, ActivationWithoutALiveWindowActivatesNothing) {
    HWND gone = MakeHiddenWindow();
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    struct Case {
        const char* name;
        bool block;
        DWORD value;
        bool lockHeldAfter;
    };
    const Case cases[] = {
        {"block holding 0", true, 0, false},
        {"block naming a destroyed window", true, HandleToULong(gone), false},
        {"block holding a value that was never a window", true, 0xFFFFFFF0, false},
        {"no block", false, 0, true},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const UniqueHandle block(row.block ? MakeBlock(row.value) : nullptr);
        ASSERT_EQ(block.IsValid(), row.block);
        TestChecker checker;
        checker.LockStartup();
        EXPECT_EQ(checker.ActivateRunningInstance(), nullptr);
        EXPECT_EQ(StartupLockHeldHere(), row.lockHeldAfter);
    }
}

} // namespace
