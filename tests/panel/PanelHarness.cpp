#include "PanelHarness.h"

#include "DeviceGlobals.h"

namespace {
const UINT WM_APP_RUN_BODY = WM_APP + 1;
}

int RunPanelTests(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    theApp.SetRegistryKey("Quillmar");
    return RUN_ALL_TESTS();
}

// clang-format off
BEGIN_MESSAGE_TABLE(ModelPanel, PanelDialog)
    ON_MESSAGE(WM_APP_RUN_BODY, OnRunBody)
END_MESSAGE_TABLE()
// clang-format on

void ModelPanel::Run(Body body) {
    body_ = std::move(body);
    bodyRan_ = false;
    const INT_PTR result = DoModal();
    // A case whose panel was never made, or whose body never ran, checked nothing.
    if (result != IDCANCEL || !bodyRan_) {
        ADD_FAILURE() << "the panel's dialog ended with " << result << " (error " << GetLastError()
                      << ") and the body " << (bodyRan_ ? "ran" : "never ran");
    }
}

BOOL ModelPanel::OnInitDialog() {
    CDialog::OnInitDialog();
    AttachLists();
    m_clockSource = LoadClockSource();
    RefreshPanel();
    m_readWhileShown = true;
    PostMessageA(m_hWnd, WM_APP_RUN_BODY, 0, 0);
    return TRUE;
}

LRESULT ModelPanel::OnRunBody(WPARAM, LPARAM) {
    bodyRan_ = true;
    if (body_) {
        body_(*this);
    }
    EndDialog(IDCANCEL);
    return 0;
}

void ModelPanel::Pick(HWND list, int position) {
    SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
    SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

void ModelPanel::Command(UINT id) {
    SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

std::vector<test::Request> RefreshSending(const std::vector<test::Request>& frames) {
    std::vector<test::Request> sent = {{KSIM_GET_SAMPLE_RATE}};
    sent.insert(sent.end(), frames.begin(), frames.end());
    sent.push_back({KSIM_GET_BUFFER_SIZE});
    return sent;
}

void PanelTestBase::SetUp() {
    test::SimulatorTest::SetUp();
    panel::DeleteSettings(app_);
}

void PanelTestBase::TearDown() {
    g_controlChannel.Close();
    g_unitCommandChannel.Close();
    panel::DeleteSettings(app_);
}

void PanelTestBase::RunPanel(const ModelPanel::Body& body) {
    ModelPanel panel;
    ASSERT_TRUE(sim_.ClearLog());
    panel.Run(body);
}
