#include "CMutex.h"

#include "CResourceException.h"

IMPLEMENT_RUNTIME_CLASS(CMutex, CObject)

namespace {

HANDLE CreateMutexOrThrow(bool initiallyOwned, const char* name) {
    HANDLE handle = CreateMutexA(nullptr, initiallyOwned ? TRUE : FALSE, name);
    if (handle == nullptr) {
        throw CResourceException(GetLastError());
    }
    return handle;
}

} // namespace

CMutex::CMutex(bool initiallyOwned, const char* name)
    : CObject(), handle_(CreateMutexOrThrow(initiallyOwned, name)) {}

CMutex::~CMutex() {
    CloseHandle(handle_);
}

bool CMutex::Lock() {
    DWORD result = WaitForSingleObject(handle_, INFINITE);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

bool CMutex::Unlock() {
    return ReleaseMutex(handle_) != FALSE;
}
