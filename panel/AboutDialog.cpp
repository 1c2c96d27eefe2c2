#include "AboutDialog.h"

#include "CWinApp.h"
#include "DialogFontScaler.h"

namespace {

// The background picture covers the whole box and the OK button lies on it, above it in the
// z-order. Overlapping siblings are not clipped against each other, and they are painted in
// z-order, so the picture, painted after the button, covers it. With WS_CLIPSIBLINGS its
// visible region leaves out the siblings above it and its painting cannot reach the button;
// the button stops being transparent, so that it is an ordinary sibling that clipping takes
// out. It looks the same.
void KeepPictureOffItsSiblings(HWND dialog) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(child) == IDOK) {
            const LONG_PTR exStyle = GetWindowLongPtrA(child, GWL_EXSTYLE);
            SetWindowLongPtrA(child, GWL_EXSTYLE,
                              exStyle & ~static_cast<LONG_PTR>(WS_EX_TRANSPARENT));
        } else {
            const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
            SetWindowLongPtrA(child, GWL_STYLE, style | WS_CLIPSIBLINGS);
        }
    }
}

} // namespace

AboutDialog::AboutDialog() : CDialog(IDD) {}

AboutDialog::~AboutDialog() = default;

BOOL AboutDialog::OnInitDialog() {
    DialogFontScaler scaler;
    CDialog::OnInitDialog();
    scaler.ApplyTemplateLayout(AfxGetResourceHandle(), m_hWnd, IDD, 96.0);
    KeepPictureOffItsSiblings(m_hWnd);
    return TRUE;
}
