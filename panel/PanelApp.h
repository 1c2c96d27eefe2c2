#pragma once

#include "CWinApp.h"

// The program's application object: fixes the settings root, then either runs the panel or
// hands over to the copy that already runs.
class PanelApp : public CWinApp {
public:
    PanelApp();

    // Always false: the panel's modal loop is the program's only one, and when it ends (or
    // another copy was activated instead) the process ends.
    BOOL InitInstance() override;
};

// The program's one application object (ProcessObjects.cpp).
extern PanelApp theApp;
