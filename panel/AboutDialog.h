#pragma once

#include "CDialog.h"
#include "resource.h"

// The About box, opened from the panel's system menu.
class AboutDialog : public CDialog {
public:
    enum { IDD = IDD_ABOUTBOX };

    AboutDialog();
    ~AboutDialog() override;

    BOOL OnInitDialog() override;
};
