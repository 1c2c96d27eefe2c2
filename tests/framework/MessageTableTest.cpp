// Message tables and CWnd's window ownership, on hidden windows of this thread. Covered: exact
// command ids, id ranges at their limits, notification codes, a derived row shadowing its base's,
// fallthrough to the base table and to the default procedure, Default() from a handler, attach
// before the first message, subclassed system classes, and destruction of the owned window.
#include "CWnd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const UINT WM_APP_BASE_PING = WM_APP + 1;
const UINT WM_APP_UNLISTED = WM_APP + 2;

class BaseProbe : public CWnd {
public:
    std::vector<std::string> calls;

protected:
    DECLARE_MESSAGE_TABLE(BaseProbe)

    void OnBaseOnly() { calls.push_back("base 500"); }
    void OnShadowed() { calls.push_back("base 400"); }
    LRESULT OnPing(WPARAM wParam, LPARAM lParam) {
        calls.push_back("ping");
        return static_cast<LRESULT>(wParam + lParam);
    }
};

// clang-format off
BEGIN_MESSAGE_TABLE(BaseProbe, CWnd)
    ON_COMMAND(400, OnShadowed)
    ON_COMMAND(500, OnBaseOnly)
    ON_MESSAGE(WM_APP_BASE_PING, OnPing)
END_MESSAGE_TABLE()
// clang-format on

class DerivedProbe : public BaseProbe {
public:
    bool passSetTextOn = false;
    bool sawCreate = false;

protected:
    DECLARE_MESSAGE_TABLE(DerivedProbe)

    void OnExact() { calls.push_back("exact 100"); }
    void OnRange(UINT id) { calls.push_back("range " + std::to_string(id)); }
    void OnSelchange() { calls.push_back("selchange 300"); }
    void OnDerived400() { calls.push_back("derived 400"); }
    LRESULT OnCreateMessage(WPARAM, LPARAM) {
        sawCreate = true;
        return Default();
    }
    // Declines unless told otherwise: the text then never reaches the default procedure.
    LRESULT OnSetText(WPARAM, LPARAM) {
        calls.push_back("settext");
        return passSetTextOn ? Default() : TRUE;
    }
};

// clang-format off
BEGIN_MESSAGE_TABLE(DerivedProbe, BaseProbe)
    ON_COMMAND(100, OnExact)
    ON_COMMAND_RANGE(200, 209, OnRange)
    ON_CBN_SELCHANGE(300, OnSelchange)
    ON_COMMAND(400, OnDerived400)
    ON_MESSAGE(WM_CREATE, OnCreateMessage)
    ON_MESSAGE(WM_SETTEXT, OnSetText)
END_MESSAGE_TABLE()
// clang-format on

HWND CreateHidden(CWnd& wnd) {
    const char* className = AfxRegisterWndClass(0);
    EXPECT_NE(className, nullptr);
    EXPECT_TRUE(wnd.CreateEx(0, className, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    return wnd.m_hWnd;
}

TEST(MessageTable, RoutesCommandsByIdRangeAndCodeAndFallsThroughToTheBase) {
    DerivedProbe probe;
    HWND window = CreateHidden(probe);
    ASSERT_NE(window, nullptr);

    struct Row {
        const char* name;
        WORD code;
        WORD id;
        const char* expected; // "" when no row should take it
    };
    const Row rows[] = {
        {"exact id", 0, 100, "exact 100"},
        {"exact id, other code", 1, 100, ""},
        {"below the range", 0, 199, ""},
        {"range start", 0, 200, "range 200"},
        {"inside the range", 0, 201, "range 201"},
        {"range end", 0, 209, "range 209"},
        {"past the range", 0, 210, ""},
        {"selection change", CBN_SELCHANGE, 300, "selchange 300"},
        {"selection id with click code", 0, 300, ""},
        {"derived row shadows the base row", 0, 400, "derived 400"},
        {"only the base has it", 0, 500, "base 500"},
        {"nobody has it", 0, 501, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        probe.calls.clear();
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(row.id, row.code), 0);
        if (row.expected[0] == '\0') {
            EXPECT_TRUE(probe.calls.empty());
        } else {
            ASSERT_EQ(probe.calls.size(), 1u);
            EXPECT_EQ(probe.calls[0], row.expected);
        }
    }

    probe.calls.clear();
    EXPECT_EQ(SendMessageA(window, WM_APP_BASE_PING, 40, 2), 42);
    EXPECT_EQ(probe.calls, std::vector<std::string>{"ping"});
    probe.calls.clear();
    EXPECT_EQ(SendMessageA(window, WM_APP_UNLISTED, 40, 2), 0);
    EXPECT_TRUE(probe.calls.empty());
}

TEST(MessageTable, DefaultFromAHandlerRunsTheDefaultProcedureAndOnlyThen) {
    DerivedProbe probe;
    HWND window = CreateHidden(probe);
    ASSERT_NE(window, nullptr);
    char text[32] = {};

    SetWindowTextA(window, "kept out");
    GetWindowTextA(window, text, sizeof(text));
    EXPECT_STREQ(text, "");

    probe.passSetTextOn = true;
    SetWindowTextA(window, "passed on");
    GetWindowTextA(window, text, sizeof(text));
    EXPECT_STREQ(text, "passed on");
    EXPECT_EQ(probe.calls, (std::vector<std::string>{"settext", "settext"}));
}

TEST(CWnd, CreatesAHiddenWindowOfARegisteredClassAttachedFromItsFirstMessage) {
    DerivedProbe probe;
    HWND window = CreateHidden(probe);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(probe.sawCreate);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(CWnd::FromHandlePermanent(window), &probe);
    EXPECT_EQ(probe.GetSafeHwnd(), window);
    EXPECT_EQ(GetClassLongPtrA(window, GCL_STYLE), 0);
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_HCURSOR), 0);
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_HBRBACKGROUND), 0);
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_HICON), 0);

    // The same arguments give the same class.
    EXPECT_STREQ(AfxRegisterWndClass(0), AfxRegisterWndClass(0));

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(
        probe.CreateEx(0, AfxRegisterWndClass(0), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr))
        << "an object holds one window";
    EXPECT_EQ(probe.m_hWnd, window);

    EXPECT_TRUE(probe.DestroyWindow());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(probe.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(window), nullptr);
    EXPECT_FALSE(probe.DestroyWindow());
}

TEST(CWnd, DestroyingTheObjectDestroysItsWindow) {
    HWND window = nullptr;
    {
        DerivedProbe probe;
        window = CreateHidden(probe);
        ASSERT_TRUE(IsWindow(window));
    }
    EXPECT_FALSE(IsWindow(window));
}

TEST(CWnd, SubclassesASystemClassAndLeavesItsOwnBehaviour) {
    DerivedProbe probe;
    ASSERT_TRUE(probe.CreateEx(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    probe.passSetTextOn = true;
    SetWindowTextA(probe.m_hWnd, "static text");
    char text[32] = {};
    GetWindowTextA(probe.m_hWnd, text, sizeof(text));
    EXPECT_STREQ(text, "static text");
    EXPECT_EQ(probe.calls, std::vector<std::string>{"settext"});
    probe.calls.clear();
    SendMessageA(probe.m_hWnd, WM_COMMAND, MAKEWPARAM(205, 0), 0);
    EXPECT_EQ(probe.calls, std::vector<std::string>{"range 205"});
}

TEST(CWnd, FailedCreationLeavesNoWindowAndTheSystemError) {
    DerivedProbe probe;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(
        probe.CreateEx(0, "NoSuchKestrelClass", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    // Windows reports 1407; Wine 8 reports 1411 for the same call.
    DWORD error = GetLastError();
    EXPECT_TRUE(error == ERROR_CANNOT_FIND_WND_CLASS || error == ERROR_CLASS_DOES_NOT_EXIST)
        << error;
    EXPECT_EQ(probe.m_hWnd, nullptr);
}

TEST(CWnd, SafeHandleThroughANullPointerIsNull) {
    CWnd* volatile none = nullptr;
    EXPECT_EQ(none->GetSafeHwnd(), nullptr);
    CWnd empty;
    EXPECT_EQ(empty.GetSafeHwnd(), nullptr);
}

} // namespace
