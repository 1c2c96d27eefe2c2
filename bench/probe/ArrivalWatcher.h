#pragma once

// A bare window registered for the unit interface class's device notifications, on a thread
// of its own so that it answers at once whatever the caller is doing. It stamps each arrival
// and removal with the performance counter: the time the system needs to tell a window, which
// is the floor for anything the panel can do after a plug.

#include <windows.h>

#include <atomic>

class ArrivalWatcher {
public:
    ArrivalWatcher();
    ~ArrivalWatcher();
    ArrivalWatcher(const ArrivalWatcher&) = delete;
    ArrivalWatcher& operator=(const ArrivalWatcher&) = delete;

    // The window exists and its registration succeeded.
    bool Ready() const { return ready_; }
    // How many arrivals / removals of a unit interface the window has been told of, and the
    // counter value at the last of each.
    long Arrivals() const { return arrivals_; }
    long Removals() const { return removals_; }
    long long LastArrival() const { return lastArrival_; }
    long long LastRemoval() const { return lastRemoval_; }

private:
    static DWORD WINAPI ThreadMain(void* self);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Run();
    void OnDeviceChange(WPARAM event, LPARAM data);

    HANDLE thread_ = nullptr;
    HANDLE started_ = nullptr;
    std::atomic<HWND> window_{nullptr};
    std::atomic<bool> ready_{false};
    std::atomic<long> arrivals_{0};
    std::atomic<long> removals_{0};
    std::atomic<long long> lastArrival_{0};
    std::atomic<long long> lastRemoval_{0};
};

// The performance counter now, and a difference of two values in milliseconds.
long long Now();
double Milliseconds(long long from, long long to);
