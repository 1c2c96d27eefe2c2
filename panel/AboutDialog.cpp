#include "AboutDialog.h"

#include "CWinApp.h"
#include "DialogFontScaler.h"

AboutDialog::AboutDialog() : CDialog(IDD) {}

AboutDialog::~AboutDialog() = default;

BOOL AboutDialog::OnInitDialog() {
    DialogFontScaler scaler;
    CDialog::OnInitDialog();
    scaler.ApplyTemplateLayout(AfxGetResourceHandle(), m_hWnd, IDD, 96.0);
    return TRUE;
}
