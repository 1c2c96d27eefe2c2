// CWinApp: the one application object, its start through AfxWinMain, and the profile in the
// registry (paths, value types, defaults, key creation on read and on write).
#include "CWinApp.h"
#include "UniqueRegKey.h"

#include <gtest/gtest.h>

namespace {

const char kCompany[] = "KestrelFrameworkTests";
const char kCompanyPath[] = "software\\KestrelFrameworkTests";
const char kSectionPath[] = "software\\KestrelFrameworkTests\\Profile App\\KESTREL";

class Profile : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kCompanyPath); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kCompanyPath); }

    static bool KeyExists(const char* path) {
        HKEY key = nullptr;
        const bool opened =
            RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) == ERROR_SUCCESS;
        const UniqueRegKey owner(key);
        return opened;
    }
};

TEST(WinApp, IsTheOneApplicationObjectNamedAfterTheExecutable) {
    EXPECT_EQ(AfxGetApp(), nullptr);
    {
        CWinApp app;
        EXPECT_EQ(AfxGetApp(), &app);
        EXPECT_STREQ(app.GetAppName(), "framework_tests");
        EXPECT_EQ(app.m_pMainWnd, nullptr);
        EXPECT_EQ(AfxGetResourceHandle(), GetModuleHandleA(nullptr));
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
    CWinApp named("Quillmar KESTREL");
    EXPECT_STREQ(named.GetAppName(), "Quillmar KESTREL");
}

class StartProbe : public CWinApp {
public:
    explicit StartProbe(BOOL result) : CWinApp("start probe"), m_result(result) {}
    int initCalls = 0;
    HINSTANCE instanceAtInit = nullptr;

    BOOL InitInstance() override {
        ++initCalls;
        instanceAtInit = m_hInstance;
        if (m_result) {
            PostQuitMessage(7);
        }
        return m_result;
    }

private:
    BOOL m_result;
};

TEST(WinApp, EntryPointRunsInitInstanceAndTheLoopOnlyAfterSuccess) {
    EXPECT_EQ(AfxWinMain(GetModuleHandleA(nullptr)), -1) << "no application object";
    {
        StartProbe declines(FALSE);
        EXPECT_EQ(AfxWinMain(GetModuleHandleA(nullptr)), 0);
        EXPECT_EQ(declines.initCalls, 1);
        EXPECT_EQ(declines.instanceAtInit, GetModuleHandleA(nullptr));
    }
    StartProbe runs(TRUE);
    EXPECT_EQ(AfxWinMain(GetModuleHandleA(nullptr)), 7) << "the loop's WM_QUIT code";
    EXPECT_EQ(runs.initCalls, 1);
}

TEST_F(Profile, WithoutARegistryKeyReadsDefaultsAndWritesNothing) {
    CWinApp app("Profile App");
    EXPECT_EQ(app.GetProfileInt("KESTREL", "SPDIFSync", 5), 5);
    EXPECT_FALSE(app.WriteProfileInt("KESTREL", "SPDIFSync", 1));
    EXPECT_FALSE(KeyExists(kCompanyPath));
}

TEST_F(Profile, ReadingAMissingValueGivesTheDefaultAndCreatesTheKeys) {
    CWinApp app("Profile App");
    app.SetRegistryKey(kCompany);
    EXPECT_STREQ(app.GetRegistryKey(), kCompany);
    EXPECT_FALSE(KeyExists(kCompanyPath));
    EXPECT_EQ(app.GetProfileInt("KESTREL", "SPDIFSync", -1), -1);
    EXPECT_TRUE(KeyExists(kSectionPath));
}

TEST_F(Profile, WritesADwordUnderCompanyApplicationAndSectionAndReadsItBack) {
    CWinApp app("Profile App");
    app.SetRegistryKey(kCompany);
    const int values[] = {0, 1, -1, 0x7FFFFFFF, static_cast<int>(0x80000000)};
    for (int value : values) {
        SCOPED_TRACE(value);
        ASSERT_TRUE(app.WriteProfileInt("KESTREL", "SPDIFSync", value));
        EXPECT_EQ(app.GetProfileInt("KESTREL", "SPDIFSync", 12345), value);

        DWORD type = 0, raw = 0, size = sizeof(raw);
        ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, kSectionPath, "SPDIFSync", RRF_RT_ANY, &type,
                               &raw, &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(raw, static_cast<DWORD>(value));
    }
    // Another application name keeps its own values.
    CWinApp other("Other App");
    other.SetRegistryKey(kCompany);
    EXPECT_EQ(other.GetProfileInt("KESTREL", "SPDIFSync", 3), 3);
}

TEST_F(Profile, ValuesOfAnotherTypeOrSizeReadAsTheDefault) {
    CWinApp app("Profile App");
    app.SetRegistryKey(kCompany);
    const DWORD one = 1;
    const BYTE two[2] = {1, 0};
    const BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    struct Row {
        const char* name;
        DWORD type;
        const void* data;
        DWORD size;
        int read; // 9: the default
    };
    const Row rows[] = {
        {"string", REG_SZ, "1", 2, 9},
        {"binary of four bytes", REG_BINARY, &one, 4, 9},
        {"big-endian dword", REG_DWORD_BIG_ENDIAN, &one, 4, 9},
        {"short dword", REG_DWORD, two, 2, 9},
        {"qword", REG_QWORD, eight, 8, 9},
        {"dword, after all of them", REG_DWORD, &one, 4, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, kSectionPath, "SPDIFSync", row.type, row.data,
                                  row.size),
                  ERROR_SUCCESS);
        EXPECT_EQ(app.GetProfileInt("KESTREL", "SPDIFSync", 9), row.read);
    }
}

} // namespace
