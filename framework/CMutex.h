#pragma once

#include "CObject.h"

#include <windows.h>

// A Win32 mutex owned by this object. A named mutex is shared by every process that sees the
// same namespace of named objects; creating one that exists already opens it. The handle is
// closed by the destructor.
class CMutex : public CObject {
    DECLARE_RUNTIME_CLASS(CMutex)

public:
    // Throws CResourceException with the Win32 error when the mutex cannot be created or opened
    // (a name taken by another kind of object gives ERROR_INVALID_HANDLE).
    explicit CMutex(bool initiallyOwned = false, const char* name = nullptr);
    ~CMutex() override;

    // Waits without a time limit. True when the calling thread now owns the mutex; a mutex
    // abandoned by a thread or process that ended while owning it counts as acquired.
    bool Lock();
    // Releases one ownership of the calling thread; false (ERROR_NOT_OWNER) if it owns none.
    bool Unlock();

    HANDLE GetHandle() const { return handle_; }

private:
    HANDLE handle_;
};
