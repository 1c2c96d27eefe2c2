#pragma once

#include "CObject.h"

#include <windows.h>

// The framework's exception for a system resource that cannot be created (a mutex, for one).
// It is thrown by value and caught by reference; it carries the Win32 error of the failed call.
class CResourceException : public CObject {
    DECLARE_RUNTIME_CLASS(CResourceException)

public:
    explicit CResourceException(DWORD error);
    // A thrown object must be copyable; the copy is a new object with the same error.
    CResourceException(const CResourceException& other);
    CResourceException& operator=(const CResourceException&) = delete;

    DWORD GetError() const { return error_; }

private:
    DWORD error_;
};
