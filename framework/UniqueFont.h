#pragma once

#include <windows.h>

// Owns a GDI font (null when empty) and deletes it on destruction.
class UniqueFont {
public:
    UniqueFont() = default;
    explicit UniqueFont(HFONT font);
    ~UniqueFont();
    UniqueFont(const UniqueFont&) = delete;
    UniqueFont& operator=(const UniqueFont&) = delete;
    UniqueFont(UniqueFont&& other) noexcept;
    UniqueFont& operator=(UniqueFont&& other) noexcept;

    HFONT Get() const;
    // Deletes the font it holds (keeping the caller's last error) and takes `font`.
    void Reset(HFONT font = nullptr);
    HFONT Release();

private:
    HFONT m_font = nullptr;
};
