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
    DoModal();
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

std::vector<std::string> ListTexts(HWND list) {
    std::vector<std::string> texts;
    const int count = static_cast<int>(SendMessageA(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[64] = {};
        SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        texts.emplace_back(text);
    }
    return texts;
}

std::string SelectedText(HWND list) {
    const int position = static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
    return position == CB_ERR ? "<none>" : ListTexts(list).at(static_cast<size_t>(position));
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
