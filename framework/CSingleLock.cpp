#include "CSingleLock.h"

CSingleLock::CSingleLock(CMutex& mutex) : mutex_(mutex), locked_(mutex.Lock()) {}

CSingleLock::~CSingleLock() {
    Unlock();
}

void CSingleLock::Unlock() {
    if (locked_) {
        mutex_.Unlock();
        locked_ = false;
    }
}
