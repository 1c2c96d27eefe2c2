#pragma once

// Runs the real panel dialog (template 102, real drop-down lists) with only its model wired up:
// the lists are taken, the stored clock source read, and then a test body runs inside the
// dialog's own modal loop, after which the dialog ends. The tray, the single-instance guard and
// the minimise-at-start-up of the full panel are left out.

#include "PanelApp.h"
#include "ChildProcess.h"
#include "PanelDialog.h"
#include "PanelIds.h"
#include "PanelState.h"
#include "SimulatorTest.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// The test program's main: the program's application object gets the program's settings root
// (HKCU\software\Quillmar\<this executable's name>), then every test runs.
int RunPanelTests(int argc, char** argv);

class ModelPanel : public PanelDialog {
public:
    using Body = std::function<void(ModelPanel&)>;

    // Creates the panel's window, takes its lists, reads the stored clock source and refreshes
    // once, then runs `body` from the dialog's own modal loop and ends the dialog. The case fails
    // when the dialog could not be made or the body did not run.
    void Run(Body body);

    // The model's state, for the test's eyes.
    using PanelDialog::m_bufferRecord;
    using PanelDialog::m_bufferRecord2;
    using PanelDialog::m_clockSource;
    using PanelDialog::m_rateRecord;
    using PanelDialog::m_unitCount;

    HWND RateList() const { return GetDlgItem(m_hWnd, panel::kRateList); }
    HWND ClockList() const { return GetDlgItem(m_hWnd, panel::kClockList); }
    HWND BufferList() const { return GetDlgItem(m_hWnd, panel::kBufferList); }

    // Selects `position` as the user would and sends the list's CBN_SELCHANGE to the panel.
    void Pick(HWND list, int position);
    // A WM_COMMAND from a menu, as the tray sends it.
    void Command(UINT id);

    // Whether the panel takes its session to be the one at the console.
    bool atConsole = true;
    bool IsAtConsole() const override { return atConsole; }

protected:
    DECLARE_MESSAGE_TABLE(ModelPanel)
    BOOL OnInitDialog() override;
    LRESULT OnRunBody(WPARAM, LPARAM);

private:
    Body body_;
    bool bodyRan_ = false;
};

using test::ListTexts;
using test::SelectedText;

// What a refresh sends: the rate, then `frames` (one selector frame a unit), then the buffer
// size.
std::vector<test::Request> RefreshSending(const std::vector<test::Request>& frames);

// The panel's in-process cases: the simulator at its defaults and no stored clock source before
// each, the driver channels closed and the stored clock source gone after it.
class PanelTestBase : public test::SimulatorTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Constructs a panel (which opens the driver), clears the log, then runs `body` in it.
    void RunPanel(const ModelPanel::Body& body);

    // This program's application name, under which the panel keeps its settings.
    const std::string app_ = AfxGetApp()->GetAppName();
};
