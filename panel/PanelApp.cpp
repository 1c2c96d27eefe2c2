#include "PanelApp.h"

#include "CResourceException.h"
#include "PanelDialog.h"

#include <commctrl.h>

PanelApp::PanelApp() : CWinApp(nullptr) {}

BOOL PanelApp::InitInstance() {
    InitCommonControls();
    CWinApp::InitInstance();
    SetRegistryKey("Quillmar");
    try {
        PanelDialog panel;
        m_pMainWnd = &panel;
        CInstanceChecker& checker = panel.InstanceChecker();
        checker.LockStartup();
        if (checker.IsAnotherInstanceRunning()) {
            checker.ActivateRunningInstance();
            m_pMainWnd = nullptr; // this copy's panel never had a window
        } else {
            panel.DoModal();
        }
        // The panel goes here: it closes the control channel and releases the start-up lock.
    } catch (const CResourceException&) {
        // The start-up mutexes could not be made: end without a panel, as quietly as always.
    }
    m_pMainWnd = nullptr;
    return FALSE;
}
