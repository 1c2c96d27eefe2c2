#include "UniqueFont.h"

UniqueFont::UniqueFont(HFONT font) : m_font(font) {}

UniqueFont::~UniqueFont() {
    Reset();
}

UniqueFont::UniqueFont(UniqueFont&& other) noexcept : m_font(other.Release()) {}

UniqueFont& UniqueFont::operator=(UniqueFont&& other) noexcept {
    if (this != &other) {
        Reset(other.Release());
    }
    return *this;
}

HFONT UniqueFont::Get() const {
    return m_font;
}

void UniqueFont::Reset(HFONT font) {
    if (m_font != nullptr) {
        DWORD error = GetLastError();
        DeleteObject(m_font);
        SetLastError(error);
    }
    m_font = font;
}

HFONT UniqueFont::Release() {
    HFONT font = m_font;
    m_font = nullptr;
    return font;
}
