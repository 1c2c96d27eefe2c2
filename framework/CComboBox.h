#pragma once

#include <windows.h>

// A reference to a drop-down list control that its dialog owns: the list operations the panel
// uses, as thin wrappers over the combo-box messages. It never destroys the control.
class CComboBox {
public:
    CComboBox() : m_hWnd(nullptr) {}

    void Attach(HWND control) { m_hWnd = control; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Empties the list; nothing is selected afterwards.
    void ResetContent();
    // At the text's alphabetical place in a sorted list, at the end otherwise; the position.
    int AddString(const char* text);
    // Selects the first entry, from `startAfter` + 1, whose text begins with `text` (case
    // ignored); no match leaves the selection as it was. The position, or CB_ERR.
    int SelectString(int startAfter, const char* text);
    // The selected position, or CB_ERR (-1) when nothing is selected.
    int GetCurSel() const;
    int SetCurSel(int position);
    int GetCount() const;
    // A disabled list still shows its selection but cannot be opened or changed by the user.
    void EnableWindow(bool enable);

private:
    HWND m_hWnd;
};
