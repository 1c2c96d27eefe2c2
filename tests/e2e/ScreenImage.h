#pragma once

// Pixels of the screen as the user sees them, for what no other process can read back: the
// contents of another program's menus and what it paints.

#include "Wait.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB, rows from the top

    std::uint32_t At(int x, int y) const {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
    bool operator==(const Image& other) const = default;
};

// What `paint` draws on a bitmap of the screen's kind, `width` x `height`, read back.
Image Painted(int width, int height, const std::function<void(HDC)>& paint);
// Captures `area` until three captures in a row agree, so that painting has finished; this
// thread's messages are handled in between.
Image CaptureSettled(const RECT& area);
// Captures `area` until it shows `expected`, for `timeoutMs` at most; true if it did. `last` is
// the last capture.
bool WaitForImage(const RECT& area, const Image& expected, Image& last,
                  DWORD timeoutMs = test::kWaitMs);
// How many pixels differ; every pixel when the sizes differ.
size_t DifferingPixels(const Image& a, const Image& b);
// Writes <build>/screenshots/<name>.bmp, for a look at a failure.
bool SaveBitmap(const Image& image, const std::string& name);

} // namespace e2e
