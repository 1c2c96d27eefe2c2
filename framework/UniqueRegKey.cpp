#include "UniqueRegKey.h"

UniqueRegKey::UniqueRegKey(HKEY key) : m_key(key) {}

UniqueRegKey::~UniqueRegKey() {
    Reset();
}

UniqueRegKey::UniqueRegKey(UniqueRegKey&& other) noexcept : m_key(other.Release()) {}

UniqueRegKey& UniqueRegKey::operator=(UniqueRegKey&& other) noexcept {
    if (this != &other) {
        Reset(other.Release());
    }
    return *this;
}

HKEY UniqueRegKey::Get() const {
    return m_key;
}

void UniqueRegKey::Reset(HKEY key) {
    if (m_key != nullptr) {
        DWORD error = GetLastError();
        RegCloseKey(m_key);
        SetLastError(error);
    }
    m_key = key;
}

HKEY UniqueRegKey::Release() {
    HKEY key = m_key;
    m_key = nullptr;
    return key;
}

UniqueRegKey::operator bool() const {
    return m_key != nullptr;
}
