#include "CDialog.h"

#include "CWinApp.h"
#include "DialogInitData.h"

IMPLEMENT_RUNTIME_CLASS(CDialog, CWnd)

// clang-format off
BEGIN_MESSAGE_TABLE(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_TABLE()
// clang-format on

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_templateId(templateId), m_pParentWnd(parent), m_inModalLoop(false), m_modalResult(-1) {}

CDialog::~CDialog() = default;

UINT CDialog::GetTemplateId() const {
    return m_templateId;
}

INT_PTR CDialog::DoModal() {
    HWND owner = ModalOwner();
    // A modal dialog disables its owner for as long as it runs. EndDialog enables it again;
    // this covers a dialog whose window went away without EndDialog.
    bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
    if (ownerWasEnabled) {
        EnableWindow(owner, FALSE);
    }
    m_modalResult = -1;
    m_inModalLoop = true;
    HWND dialog = CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_templateId), owner,
                                     &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    if (dialog != nullptr) {
        RunModalLoop();
    }
    m_inModalLoop = false;
    if (ownerWasEnabled) {
        EnableWindow(owner, TRUE);
    }
    // Give activation back to the owner before the dialog's window disappears, so that it does
    // not go to another program's window.
    if (owner != nullptr && m_hWnd != nullptr && GetActiveWindow() == m_hWnd) {
        SetActiveWindow(owner);
    }
    DestroyWindow();
    return m_modalResult;
}

HWND CDialog::ModalOwner() const {
    if (m_pParentWnd != nullptr) {
        return m_pParentWnd->GetSafeHwnd();
    }
    CWinApp* app = AfxGetApp();
    if (app == nullptr || app->m_pMainWnd == this) {
        return nullptr;
    }
    return app->m_pMainWnd->GetSafeHwnd();
}

void CDialog::RunModalLoop() {
    // A template without WS_VISIBLE is shown when its loop starts, as the platform's own modal
    // dialogs are; one that ended during its initialisation is never shown.
    if (m_inModalLoop && m_hWnd != nullptr && !IsWindowVisible(m_hWnd)) {
        ShowWindow(m_hWnd, SW_SHOWNORMAL);
    }
    MSG msg;
    while (m_inModalLoop && m_hWnd != nullptr) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT ends this loop and stays queued for the loop outside it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) {
            break;
        }
        if (m_hWnd == nullptr || !IsDialogMessageA(m_hWnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void CDialog::EndDialog(int result) {
    m_modalResult = result;
    m_inModalLoop = false;
    if (m_hWnd != nullptr) {
        // Hides the dialog, enables its owner and wakes the loop with a posted WM_NULL.
        ::EndDialog(m_hWnd, result);
    }
}

BOOL CDialog::OnInitDialog() {
    DialogInitData::Apply(AfxGetResourceHandle(), m_templateId, m_hWnd);
    return TRUE;
}

void CDialog::OnOK() {
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

// The dialog manager's procedure for our dialogs. At WM_INITDIALOG the object takes the window
// over; from then on its messages reach WindowProc first, and what the message tables leave
// comes back here through the dialog class's procedure and gets the dialog manager's default
// handling (FALSE). Only the dialog manager's own WM_INITDIALOG, before the window is taken over,
// carries the object: one that any program sends later carries whatever it likes.
INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG || FromHandlePermanent(window) != nullptr) {
        return FALSE;
    }
    CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->SubclassWindow(window);
    return dialog->OnInitDialog();
}
