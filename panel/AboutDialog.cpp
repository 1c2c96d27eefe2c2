#include "AboutDialog.h"

#include "CWinApp.h"
#include "DialogFontScaler.h"

namespace {

// The background picture covers the whole box and the OK button lies on it. Windows paints the
// transparent button after its siblings; Wine (8 and 10 alike) paints the picture over it. So
// there the button stops being transparent and the picture leaves the button's area alone,
// which looks the same.
bool RunsOnWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

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
    if (RunsOnWine()) {
        KeepPictureOffItsSiblings(m_hWnd);
    }
    return TRUE;
}
