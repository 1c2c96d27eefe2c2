#include "CComboBox.h"

void CComboBox::ResetContent() {
    SendMessageA(m_hWnd, CB_RESETCONTENT, 0, 0);
}

int CComboBox::AddString(const char* text) {
    return static_cast<int>(SendMessageA(m_hWnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

int CComboBox::SelectString(int startAfter, const char* text) {
    return static_cast<int>(SendMessageA(m_hWnd, CB_SELECTSTRING, static_cast<WPARAM>(startAfter),
                                         reinterpret_cast<LPARAM>(text)));
}

int CComboBox::GetCurSel() const {
    return static_cast<int>(SendMessageA(m_hWnd, CB_GETCURSEL, 0, 0));
}

int CComboBox::SetCurSel(int position) {
    return static_cast<int>(SendMessageA(m_hWnd, CB_SETCURSEL, static_cast<WPARAM>(position), 0));
}

int CComboBox::GetCount() const {
    return static_cast<int>(SendMessageA(m_hWnd, CB_GETCOUNT, 0, 0));
}

void CComboBox::EnableWindow(bool enable) {
    ::EnableWindow(m_hWnd, enable ? TRUE : FALSE);
}
