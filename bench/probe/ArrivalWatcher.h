#pragma once

// A bare window registered for the unit interface class's device notifications, on a thread
// of its own so that it answers at once whatever the rest of its process does. It stamps each
// arrival and removal with the performance counter into an ArrivalStamps record, which may lie
// in memory shared with another process: the time the system needs to tell a window, the floor
// for anything the panel can do after a plug.

#include <windows.h>

#include <atomic>

// What a watcher has been told. Each stamp is written before its count is raised, so a reader
// that sees the count raised reads the stamp that goes with it.
struct ArrivalStamps {
    volatile LONG ready;    // the watcher's window is registered
    volatile LONG stop;     // set by the owner: the watching process may end
    volatile LONG arrivals; // unit-interface arrivals told so far
    volatile LONG removals; // unit-interface removals told so far
    volatile LONG64 lastArrival;
    volatile LONG64 lastRemoval;
};

class ArrivalWatcher {
public:
    // `stamps` must outlive the watcher.
    explicit ArrivalWatcher(ArrivalStamps& stamps);
    ~ArrivalWatcher();
    ArrivalWatcher(const ArrivalWatcher&) = delete;
    ArrivalWatcher& operator=(const ArrivalWatcher&) = delete;

private:
    static DWORD WINAPI ThreadMain(void* self);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Run();
    void OnDeviceChange(WPARAM event, LPARAM data);

    ArrivalStamps& stamps_;
    HANDLE thread_ = nullptr;
    HANDLE started_ = nullptr;
    std::atomic<HWND> window_{nullptr};
};

// A named block of shared memory holding one ArrivalStamps record, zeroed when made.
class SharedArrivalStamps {
public:
    SharedArrivalStamps() = default;
    ~SharedArrivalStamps();
    SharedArrivalStamps(const SharedArrivalStamps&) = delete;
    SharedArrivalStamps& operator=(const SharedArrivalStamps&) = delete;

    bool Create(const char* name);
    bool Open(const char* name);
    ArrivalStamps* Get() const { return stamps_; }

private:
    bool Map();

    HANDLE mapping_ = nullptr;
    ArrivalStamps* stamps_ = nullptr;
};

// Reads a 64-bit stamp whole, also on 32-bit x86.
inline long long ReadStamp(const volatile LONG64& stamp) {
    return InterlockedCompareExchange64(const_cast<volatile LONG64*>(&stamp), 0, 0);
}

// The performance counter now, and a difference of two values in milliseconds.
long long Now();
double Milliseconds(long long from, long long to);
