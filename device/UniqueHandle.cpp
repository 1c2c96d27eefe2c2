#include "UniqueHandle.h"

namespace {

HANDLE Normalised(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

} // namespace

UniqueHandle::UniqueHandle(HANDLE handle) : handle_(Normalised(handle)) {}

UniqueHandle::~UniqueHandle() {
    Reset();
}

void UniqueHandle::Reset(HANDLE handle) {
    if (handle_ != nullptr) {
        const DWORD error = GetLastError();
        CloseHandle(handle_);
        SetLastError(error);
    }
    handle_ = Normalised(handle);
}

bool UniqueHandle::Close() {
    if (handle_ == nullptr) {
        return true;
    }
    if (!CloseHandle(handle_)) {
        return false;
    }
    handle_ = nullptr;
    return true;
}
