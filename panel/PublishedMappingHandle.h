#pragma once

#include "UniqueHandle.h"

#include <windows.h>

// Holds the handle of the single-instance block that this copy of the program published. While
// the handle is open the block exists, and its existence tells every later copy that this one
// runs; so the handle stays open until the process ends and is closed by the destructor of the
// one process-wide holder below.
class PublishedMappingHandle {
public:
    PublishedMappingHandle() = default;
    PublishedMappingHandle(const PublishedMappingHandle&) = delete;
    PublishedMappingHandle& operator=(const PublishedMappingHandle&) = delete;

    HANDLE Get() const { return handle_.Get(); }
    // Takes `handle` (null for none) after closing the one held, keeping the last error. Only a
    // publication that fails after creating the block gives its handle back this way.
    void Reset(HANDLE handle = nullptr) { handle_.Reset(handle); }

private:
    UniqueHandle handle_;
};

// The process-wide holder, defined in ProcessObjects.cpp after the two driver channels, so that
// it is constructed after both and destroyed, closing the block, before them.
extern PublishedMappingHandle g_publishedMappingHandle;
