#pragma once

#include "CWnd.h"

// A modal dialog built from a dialog template resource of the program's resource module.
class CDialog : public CWnd {
    DECLARE_RUNTIME_CLASS(CDialog)

public:
    // With no parent, a modal run is owned by the application's main window (unless that is
    // this dialog).
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Creates the dialog from its template and runs its own message loop, with the dialog
    // keyboard (Enter presses the default button, Escape sends IDCANCEL), until EndDialog. Then
    // calls DestroyWindow and returns the EndDialog value, or -1 if the dialog could not be
    // created or its window went away without EndDialog.
    virtual INT_PTR DoModal();

    // Adds the template's initial list entries. True lets the system focus the first control.
    virtual BOOL OnInitDialog();
    // End the modal loop with IDOK and IDCANCEL; the message table routes both commands here.
    virtual void OnOK();
    virtual void OnCancel();

    // Ends the modal loop with `result` once the current message is handled.
    void EndDialog(int result);

    UINT GetTemplateId() const;

protected:
    DECLARE_MESSAGE_TABLE(CDialog)

    UINT m_templateId;
    CWnd* m_pParentWnd;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND ModalOwner() const;
    void RunModalLoop();

    bool m_inModalLoop;
    INT_PTR m_modalResult;
};
