// The panel's painting while it is iconic: its icon at x = (client width - icon width + 1) / 2,
// y = (client height - icon height + 1) / 2, divided with truncation toward zero.
//
// Not observable on the real program under Wine: Wine gives an iconic window an empty client
// area (and, with a taskbar, moves it to -32000), so the program's iconic painting draws
// nothing a user or a test could see. Here the real panel runs in this process and a test class
// gives its iconic window the client area of each row; the panel's own OnPaint then paints it,
// and the icon is looked for in the pixels on the screen.
//
// Rows: the two sizes the design names (35 and 32 pixels: x = 2 and x = 0), the limits around
// the icon's size (31 and 33), sizes whose offset is negative and odd (30: -1 / 2 truncates to
// 0, not -1; 20: -11 / 2 is -5, not -6), and Wine's minimised size (160 x 24: x = 64, y = -3).
#include "PanelHarness.h"
#include "ScreenImage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace e2e {
namespace {

struct Row {
    int width;
    int height;
    int x;
    int y;
};

// The panel, whose iconic window has a client area of the size the test asks for, from the
// window's top-left corner: Wine paints an iconic window through a DC whose origin is the
// window's, and keeps the window at the minimised size (160 x 24).
class IconicPanel : public ModelPanel {
public:
    SIZE clientSize = {0, 0};

protected:
    DECLARE_MESSAGE_TABLE(IconicPanel)
    LRESULT OnNcCalcSize(WPARAM wParam, LPARAM lParam);
};

// clang-format off
BEGIN_MESSAGE_TABLE(IconicPanel, ModelPanel)
    ON_MESSAGE(WM_NCCALCSIZE, OnNcCalcSize)
END_MESSAGE_TABLE()
// clang-format on

LRESULT IconicPanel::OnNcCalcSize(WPARAM wParam, LPARAM lParam) {
    if (!IsIconic(m_hWnd)) {
        return Default();
    }
    RECT* window = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                          : reinterpret_cast<RECT*>(lParam);
    window->right = window->left + clientSize.cx;
    window->bottom = window->top + clientSize.cy;
    return 0;
}

// The panel's icon as DrawIconEx paints it at 32 pixels on `background` (BLACKNESS, WHITENESS):
// a pixel that comes out the same on both is one the icon covers.
Image IconOn(DWORD background) {
    return Painted(32, 32, [background](HDC dc) {
        PatBlt(dc, 0, 0, 32, 32, background);
        DrawIconEx(dc, 0, 0, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128)), 32, 32, 0,
                   nullptr, DI_NORMAL);
    });
}

// Every offset (x, y) of the icon's top-left corner in `image` at which each pixel the icon
// covers that falls inside the image has the icon's colour, and at least `minimumCovered` do.
std::vector<POINT> FindIcon(const Image& image, const Image& onBlack, const Image& onWhite,
                            int minimumCovered) {
    std::vector<POINT> found;
    for (int top = -onBlack.height + 1; top < image.height; ++top) {
        for (int left = -onBlack.width + 1; left < image.width; ++left) {
            int covered = 0;
            bool matches = true;
            for (int y = 0; y < onBlack.height && matches; ++y) {
                for (int x = 0; x < onBlack.width && matches; ++x) {
                    const int column = left + x;
                    const int row = top + y;
                    if (column < 0 || column >= image.width || row < 0 || row >= image.height ||
                        onBlack.At(x, y) != onWhite.At(x, y)) {
                        continue;
                    }
                    matches = image.At(column, row) == onBlack.At(x, y);
                    covered += matches ? 1 : 0;
                }
            }
            if (matches && covered >= minimumCovered) {
                found.push_back(POINT{left, top});
            }
        }
    }
    return found;
}

class IconicPaint : public PanelTestBase {};

TEST_F(IconicPaint, DrawsTheIconCentredByTheRuleWithTruncatingDivision) {
    ASSERT_EQ(GetSystemMetrics(SM_CXICON), 32);
    ASSERT_EQ(GetSystemMetrics(SM_CYICON), 32);
    const Image onBlack = IconOn(BLACKNESS);
    const Image onWhite = IconOn(WHITENESS);
    const std::vector<Row> rows = {
        {35, 24, 2, -3}, {32, 24, 0, -3},  {31, 24, 0, -3},   {33, 24, 1, -3},
        {30, 22, 0, -4}, {20, 20, -5, -5}, {160, 24, 64, -3},
    };

    IconicPanel panel;
    panel.Run([&](ModelPanel&) {
        // An iconic window shows no children; the panel's own would cover its painting here.
        for (HWND child = GetWindow(panel.m_hWnd, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            ShowWindow(child, SW_HIDE);
        }
        SetWindowPos(panel.m_hWnd, HWND_TOP, 100, 100, 200, 200, SWP_SHOWWINDOW);
        // Without a frame the client area of each row is the window's corner: Wine 10 keeps an
        // iconic window's frame border out of its client painting, so the top rows of a client
        // area over the border would stay unpainted.
        const LONG_PTR frame = WS_CAPTION | WS_THICKFRAME;
        const LONG_PTR frameEx = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
        SetWindowLongPtrA(panel.m_hWnd, GWL_STYLE,
                          (GetWindowLongPtrA(panel.m_hWnd, GWL_STYLE) & ~frame) | WS_MINIMIZE);
        SetWindowLongPtrA(panel.m_hWnd, GWL_EXSTYLE,
                          GetWindowLongPtrA(panel.m_hWnd, GWL_EXSTYLE) & ~frameEx);
        ASSERT_TRUE(IsIconic(panel.m_hWnd));
        for (const Row& row : rows) {
            SCOPED_TRACE("client " + std::to_string(row.width) + " x " +
                         std::to_string(row.height));
            panel.clientSize = SIZE{row.width, row.height};
            SetWindowPos(panel.m_hWnd, nullptr, 0, 0, 0, 0,
                         SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
            RECT client = {};
            GetClientRect(panel.m_hWnd, &client);
            ASSERT_EQ(client.right, row.width);
            ASSERT_EQ(client.bottom, row.height);
            RedrawWindow(panel.m_hWnd, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_FRAME);
            POINT origin = {0, 0};
            ClientToScreen(panel.m_hWnd, &origin);
            // Settled while this thread's messages are handled: Wine copies what a window
            // painted to the screen while its thread waits for them, and the test body runs
            // inside the panel's own loop.
            const Image painted = CaptureSettled(
                RECT{origin.x, origin.y, origin.x + row.width, origin.y + row.height});
            const std::vector<POINT> found = FindIcon(painted, onBlack, onWhite, 100);
            if (found.size() != 1) {
                SaveBitmap(painted, "iconic-" + std::to_string(row.width) + "x" +
                                        std::to_string(row.height));
            }
            ASSERT_EQ(found.size(), 1u) << "the icon was found " << found.size() << " times";
            EXPECT_EQ(found[0].x, row.x);
            EXPECT_EQ(found[0].y, row.y);
        }
        SetWindowLongPtrA(panel.m_hWnd, GWL_STYLE,
                          GetWindowLongPtrA(panel.m_hWnd, GWL_STYLE) & ~WS_MINIMIZE);
    });
}

} // namespace
} // namespace e2e
