#pragma once

#include "CMutex.h"

// Holds one ownership of a CMutex for the calling thread: the constructor waits for the mutex
// without a time limit, and the lock releases it once, by Unlock or by its destructor, and only
// if the wait acquired it. Lock and releasing thread must be the same.
class CSingleLock {
public:
    explicit CSingleLock(CMutex& mutex);
    ~CSingleLock();
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;

    // True from an acquiring wait (an abandoned mutex included) until the release.
    bool IsLocked() const { return locked_; }
    // Releases the ownership this lock acquired; later calls and the destructor do nothing.
    void Unlock();

private:
    CMutex& mutex_;
    bool locked_;
};
