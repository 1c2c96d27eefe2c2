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
    if (position == CB_ERR) {
        return "<none>";
    }
    char text[64] = {};
    SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(text));
    return text;
}

std::string ClockKeyPath() {
    return std::string("software\\Quillmar\\") + AfxGetApp()->GetAppName() + "\\KESTREL";
}

void DeleteStoredClockSource() {
    RegDeleteKeyA(HKEY_CURRENT_USER, ClockKeyPath().c_str());
}

void PanelTestBase::SetUp() {
    ASSERT_TRUE(sim_.IsConnected()) << "the driver simulator is not reachable";
    ASSERT_TRUE(sim_.Reset());
    DeleteStoredClockSource();
}

void PanelTestBase::TearDown() {
    g_controlChannel.Close();
    g_unitCommandChannel.Close();
    DeleteStoredClockSource();
}

static void SetStoredValue(DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ClockKeyPath().c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "SPDIFSync", 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void StoreClockSource(DWORD value) {
    SetStoredValue(REG_DWORD, &value, sizeof(value));
}

void StoreClockSourceAsString(const char* value) {
    SetStoredValue(REG_SZ, value, static_cast<DWORD>(strlen(value) + 1));
}

long StoredClockSource() {
    DWORD value = 0, size = sizeof(value), type = 0;
    LONG result = RegGetValueA(HKEY_CURRENT_USER, ClockKeyPath().c_str(), "SPDIFSync", RRF_RT_ANY,
                               &type, &value, &size);
    if (result != ERROR_SUCCESS || type != REG_DWORD) {
        return -2;
    }
    return static_cast<long>(value);
}
