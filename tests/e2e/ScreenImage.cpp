#include "ScreenImage.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace e2e {

namespace {

const int kSettleTries = 50;
// <build>/screenshots, as the build names it.
const char kScreenshotDir[] = KESTREL_SCREENSHOT_DIR;

// A 32-bit top-down DIB section selected into a memory DC.
class Canvas {
public:
    Canvas(int width, int height)
        : dc_(CreateCompatibleDC(nullptr)), bitmap_(nullptr), old_(nullptr), bits_(nullptr),
          width_(width), height_(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (bitmap_ != nullptr) {
            old_ = SelectObject(dc_, bitmap_);
        }
    }
    ~Canvas() {
        if (bitmap_ != nullptr) {
            SelectObject(dc_, old_);
            DeleteObject(bitmap_);
        }
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool IsValid() const { return bitmap_ != nullptr; }
    HDC Dc() const { return dc_; }
    void Fill(std::uint32_t colour) {
        GdiFlush();
        auto* pixels = static_cast<std::uint32_t*>(bits_);
        for (int i = 0; i < width_ * height_; ++i) {
            pixels[i] = colour;
        }
    }
    Image Read() const {
        GdiFlush();
        Image image;
        image.width = width_;
        image.height = height_;
        const auto* pixels = static_cast<const std::uint32_t*>(bits_);
        image.pixels.assign(pixels, pixels + static_cast<size_t>(width_) * height_);
        for (std::uint32_t& pixel : image.pixels) {
            pixel &= 0x00FFFFFF;
        }
        return image;
    }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    void* bits_;
    int width_;
    int height_;
};

} // namespace

Image CaptureScreen(const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) {
        return Image();
    }
    Canvas canvas(width, height);
    HDC screen = GetDC(nullptr);
    if (!canvas.IsValid() || screen == nullptr) {
        if (screen != nullptr) {
            ReleaseDC(nullptr, screen);
        }
        return Image();
    }
    BitBlt(canvas.Dc(), 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
    ReleaseDC(nullptr, screen);
    return canvas.Read();
}

Image CaptureSettled(const RECT& area) {
    // Three captures in a row that agree: painting has finished, not just paused.
    Image last = CaptureScreen(area);
    int agreeing = 0;
    for (int i = 0; i < kSettleTries && agreeing < 2; ++i) {
        Sleep(60);
        Image now = CaptureScreen(area);
        agreeing = now == last ? agreeing + 1 : 0;
        last = std::move(now);
    }
    return last;
}

bool WaitForImage(const RECT& area, const Image& expected, Image& last, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        last = CaptureScreen(area);
        if (last == expected || GetTickCount64() >= end) {
            return last == expected;
        }
        Sleep(60);
    }
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
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = image.width;
    header.biHeight = -image.height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    const DWORD dataSize = static_cast<DWORD>(image.pixels.size() * sizeof(std::uint32_t));
    BITMAPFILEHEADER fileHeader = {};
    fileHeader.bfType = 0x4D42; // "BM"
    fileHeader.bfOffBits = sizeof(fileHeader) + sizeof(header);
    fileHeader.bfSize = fileHeader.bfOffBits + dataSize;
    return std::fwrite(&fileHeader, sizeof(fileHeader), 1, file.get()) == 1 &&
           std::fwrite(&header, sizeof(header), 1, file.get()) == 1 &&
           (dataSize == 0 || std::fwrite(image.pixels.data(), dataSize, 1, file.get()) == 1);
}

IconPicture PaintIcon(HICON icon, int size) {
    // Painted once on black and once on white: a pixel that comes out the same on both is one
    // the icon covers.
    Canvas onBlack(size, size);
    Canvas onWhite(size, size);
    onBlack.Fill(0x000000);
    onWhite.Fill(0xFFFFFF);
    DrawIconEx(onBlack.Dc(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    DrawIconEx(onWhite.Dc(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    const Image black = onBlack.Read();
    const Image white = onWhite.Read();
    IconPicture picture;
    picture.size = size;
    picture.colours = black.pixels;
    picture.opaque.resize(black.pixels.size());
    for (size_t i = 0; i < black.pixels.size(); ++i) {
        picture.opaque[i] = black.pixels[i] == white.pixels[i];
    }
    return picture;
}

std::vector<POINT> FindIcon(const Image& image, const IconPicture& icon, int minimumCovered) {
    std::vector<POINT> found;
    for (int top = -icon.size + 1; top < image.height; ++top) {
        for (int left = -icon.size + 1; left < image.width; ++left) {
            int covered = 0;
            bool matches = true;
            for (int y = 0; y < icon.size && matches; ++y) {
                const int row = top + y;
                if (row < 0 || row >= image.height) {
                    continue;
                }
                for (int x = 0; x < icon.size; ++x) {
                    const int column = left + x;
                    const size_t index = static_cast<size_t>(y * icon.size + x);
                    if (column < 0 || column >= image.width || !icon.opaque[index]) {
                        continue;
                    }
                    if (image.At(column, row) != icon.colours[index]) {
                        matches = false;
                        break;
                    }
                    ++covered;
                }
            }
            if (matches && covered >= minimumCovered) {
                found.push_back(POINT{left, top});
            }
        }
    }
    return found;
}

} // namespace e2e
