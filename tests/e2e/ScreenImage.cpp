#include "ScreenImage.h"

#include "Wait.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <type_traits>

namespace e2e {

namespace {

const int kSettleTries = 50;
// <build>/screenshots, as the build names it.
const char kScreenshotDir[] = KESTREL_SCREENSHOT_DIR;

using Dc = std::unique_ptr<std::remove_pointer_t<HDC>, decltype(&DeleteDC)>;
using Bitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, decltype(&DeleteObject)>;

// 32 bits a pixel, rows from the top.
BITMAPINFOHEADER HeaderOf(int width, int height) {
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = -height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    return header;
}

Image CaptureScreen(const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    return Painted(width, height, [&](HDC dc) {
        HDC screen = GetDC(nullptr);
        BitBlt(dc, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
        ReleaseDC(nullptr, screen);
    });
}

} // namespace

Image Painted(int width, int height, const std::function<void(HDC)>& paint) {
    if (width <= 0 || height <= 0) {
        return Image();
    }
    HDC screen = GetDC(nullptr);
    Dc dc(CreateCompatibleDC(screen), &DeleteDC);
    Bitmap bitmap(CreateCompatibleBitmap(screen, width, height), &DeleteObject);
    ReleaseDC(nullptr, screen);
    if (!dc || !bitmap) {
        return Image();
    }
    const HGDIOBJ old = SelectObject(dc.get(), bitmap.get());
    paint(dc.get());
    SelectObject(dc.get(), old);
    BITMAPINFO info = {HeaderOf(width, height), {}};
    Image image{width, height, std::vector<std::uint32_t>(static_cast<size_t>(width) * height)};
    if (GetDIBits(dc.get(), bitmap.get(), 0, static_cast<UINT>(height), image.pixels.data(), &info,
                  DIB_RGB_COLORS) != height) {
        return Image();
    }
    for (std::uint32_t& pixel : image.pixels) {
        pixel &= 0x00FFFFFF;
    }
    return image;
}

Image CaptureSettled(const RECT& area) {
    // Three captures in a row that agree: painting has finished, not just paused.
    Image last = CaptureScreen(area);
    int agreeing = 0;
    for (int i = 0; i < kSettleTries && agreeing < 2; ++i) {
        test::PumpMessagesFor(60);
        Image now = CaptureScreen(area);
        agreeing = now == last ? agreeing + 1 : 0;
        last = std::move(now);
    }
    return last;
}

bool WaitForImage(const RECT& area, const Image& expected, Image& last, DWORD timeoutMs) {
    return test::WaitUntil([&] { return (last = CaptureScreen(area)) == expected; }, timeoutMs, 60);
}

size_t DifferingPixels(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height) {
        return std::max(a.pixels.size(), b.pixels.size());
    }
    size_t count = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        count += a.pixels[i] != b.pixels[i] ? 1 : 0;
    }
    return count;
}

bool SaveBitmap(const Image& image, const std::string& name) {
    CreateDirectoryA(kScreenshotDir, nullptr);
    const std::string path = std::string(kScreenshotDir) + "/" + name + ".bmp";
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) {
        return false;
    }
    const BITMAPINFOHEADER header = HeaderOf(image.width, image.height);
    const DWORD dataSize = static_cast<DWORD>(image.pixels.size() * sizeof(std::uint32_t));
    BITMAPFILEHEADER fileHeader = {};
    fileHeader.bfType = 0x4D42; // "BM"
    fileHeader.bfOffBits = sizeof(fileHeader) + sizeof(header);
    fileHeader.bfSize = fileHeader.bfOffBits + dataSize;
    return std::fwrite(&fileHeader, sizeof(fileHeader), 1, file.get()) == 1 &&
           std::fwrite(&header, sizeof(header), 1, file.get()) == 1 &&
           (dataSize == 0 || std::fwrite(image.pixels.data(), dataSize, 1, file.get()) == 1);
}

} // namespace e2e
