// layout_probe: shows one of the program's dialogs the way the program does (a framework
// dialog, its initial list entries, the 96-dpi layout released at the end of initialisation),
// then writes what it measured or a picture of it, and ends. The dpi tests run it as a process
// of its own because the system dpi is fixed when a process starts.
//
//   layout_probe report <template id>           (to standard output)
//   layout_probe screenshot <template id> <bmp file>
#include "CDialog.h"
#include "CWinApp.h"
#include "DialogFontScaler.h"
#include "LayoutTestSupport.h"
#include "Wait.h"
#include "resource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

const UINT WM_APP_PROBE = WM_APP + 1;

void WriteFacts(FILE* out, const char* state, const DialogFacts& facts) {
    std::fprintf(out, "%s client %ld %ld\n", state, facts.client.cx, facts.client.cy);
    for (const ChildFacts& child : facts.children) {
        std::fprintf(out, "%s child %d %ld %ld %ld %ld %ld\n", state, child.id, child.rect.left,
                     child.rect.top, child.rect.right, child.rect.bottom, child.openHeight);
    }
}

// Saves the window, frame included, as a 24-bit bottom-up BMP.
bool SaveWindowPicture(HWND window, const char* path) {
    RECT frame = {};
    GetWindowRect(window, &frame);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC windowDc = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(windowDc);
    HBITMAP picture = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, picture);
    BOOL copied = BitBlt(memory, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(window, windowDc);

    DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(header) + sizeof(info.bmiHeader);
    header.bfSize = header.bfOffBits + stride * height;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
    out.write(static_cast<const char*>(bits), stride * height);
    DeleteObject(picture);
    return copied && out.flush();
}

class ProbeDialog : public CDialog {
public:
    ProbeDialog(UINT id, bool screenshot, std::string path)
        : CDialog(id), m_screenshot(screenshot), m_path(std::move(path)) {}

    bool Succeeded() const { return m_ok; }

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        m_unscaled = ReadDialog(m_hWnd);
        {
            DialogFontScaler scaler;
            scaler.ApplyTemplateLayout(AfxGetResourceHandle(), m_hWnd, m_templateId, 96.0);
            // Wine's dialogs keep their template font whatever WM_SETFONT gives them, so the
            // layout font is read from a child: the first button.
            HWND button = GetDlgItem(m_hWnd, m_templateId == IDD_ABOUTBOX ? IDOK : IDC_DONE);
            HFONT layout = WindowFont(button);
            m_units = BaseUnitsOf(layout);
            m_fontHeight = FontOf(layout).height;
            m_applied = ReadDialog(m_hWnd);
        }
        m_released = ReadDialog(m_hWnd);
        if (m_templateId == IDD_KESTREL_DIALOG) {
            // What the panel shows with one unit at 48 kHz on its own clock.
            HICON icon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
            SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
            SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
            SendDlgItemMessageA(m_hWnd, IDC_SAMPLE_RATE, CB_SETCURSEL, 1, 0);
            SendDlgItemMessageA(m_hWnd, IDC_CLOCK_SOURCE, CB_SETCURSEL, 0, 0);
            SendDlgItemMessageA(m_hWnd, IDC_BUFFER_SIZE, CB_SETCURSEL, 5, 0);
        }
        PostMessageA(m_hWnd, WM_APP_PROBE, 0, 0);
        return TRUE;
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != WM_APP_PROBE) {
            return CDialog::WindowProc(message, wParam, lParam);
        }
        m_ok = m_screenshot ? Picture() : Report();
        EndDialog(m_ok ? IDOK : IDABORT);
        return 0;
    }

private:
    bool Picture() {
        // Let the dialog paint itself as it would on screen: everything queued is handled.
        SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        test::PumpMessages();
        return SaveWindowPicture(m_hWnd, m_path.c_str());
    }

    bool Report() {
        FILE* out = stdout;
        HDC screen = GetDC(nullptr);
        std::fprintf(out, "dpi %d\n", GetDeviceCaps(screen, LOGPIXELSY));
        ReleaseDC(nullptr, screen);
        std::fprintf(out, "units %ld %ld\n", m_units.cx, m_units.cy);
        std::fprintf(out, "font %ld\n", m_fontHeight);
        WriteFacts(out, "unscaled", m_unscaled);
        WriteFacts(out, "applied", m_applied);
        WriteFacts(out, "released", m_released);
        return std::fflush(out) == 0;
    }

    bool m_screenshot;
    std::string m_path;
    bool m_ok = false;
    SIZE m_units = {};
    LONG m_fontHeight = 0;
    DialogFacts m_unscaled = {};
    DialogFacts m_applied = {};
    DialogFacts m_released = {};
};

} // namespace

int main(int argc, char** argv) {
    const bool report = argc == 3 && std::strcmp(argv[1], "report") == 0;
    if (!report && (argc != 4 || std::strcmp(argv[1], "screenshot") != 0)) {
        std::fprintf(stderr, "usage: layout_probe report <template id>\n"
                             "       layout_probe screenshot <template id> <file>\n");
        return 2;
    }
    // The probe must see the system dpi itself. A program that does not say it is dpi-aware is
    // shown 96 dpi and scaled by the system, as Windows (Vista and later, above 120 dpi) and
    // Wine 10 do; Wine 8 showed every program the setting.
    SetProcessDPIAware();
    ProbeDialog dialog(static_cast<UINT>(std::atoi(argv[2])), !report, report ? "" : argv[3]);
    INT_PTR result = dialog.DoModal();
    return result == IDOK && dialog.Succeeded() ? 0 : 1;
}
