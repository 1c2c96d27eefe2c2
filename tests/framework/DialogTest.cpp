// CDialog's modal run on the tests' own templates: how each way of ending reaches the loop, the
// virtual DestroyWindow after the loop, the initial list entries, the owner a modal run takes,
// and a template that is missing.
#include "CDialog.h"
#include "ChildProcess.h"
#include "CWinApp.h"
#include "FrameworkTestIds.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Runs `onInit` at the end of OnInitDialog, after the framework's own initialisation, and
// records what DestroyWindow finds when it is called.
class ProbeDialog : public CDialog {
public:
    explicit ProbeDialog(UINT templateId, CWnd* parent = nullptr) : CDialog(templateId, parent) {}

    std::function<void(ProbeDialog&)> onInit;
    HWND window = nullptr;
    int destroyCalls = 0;
    bool visibleAtDestroy = true;
    bool windowAliveAtDestroy = false;
    HWND ownerDuringInit = nullptr;
    bool ownerEnabledDuringInit = true;

    BOOL OnInitDialog() override {
        BOOL result = CDialog::OnInitDialog();
        window = m_hWnd;
        ownerDuringInit = GetWindow(m_hWnd, GW_OWNER);
        ownerEnabledDuringInit = ownerDuringInit == nullptr || IsWindowEnabled(ownerDuringInit);
        if (onInit) {
            onInit(*this);
        }
        return result;
    }

    BOOL DestroyWindow() override {
        ++destroyCalls;
        windowAliveAtDestroy = IsWindow(m_hWnd) != FALSE;
        visibleAtDestroy = IsWindowVisible(m_hWnd) != FALSE;
        return CDialog::DestroyWindow();
    }

protected:
    DECLARE_MESSAGE_TABLE(ProbeDialog)

    void OnApply() { EndDialog(IDC_TEST_APPLY); }
};

// clang-format off
BEGIN_MESSAGE_TABLE(ProbeDialog, CDialog)
    ON_COMMAND(IDC_TEST_APPLY, OnApply)
END_MESSAGE_TABLE()
// clang-format on

void PostKey(ProbeDialog& dialog, WPARAM key) {
    HWND focus = GetDlgItem(dialog.m_hWnd, IDCANCEL);
    PostMessageA(focus, WM_KEYDOWN, key, 1);
}

TEST(Dialog, EachWayOfEndingGivesItsResultAndDestroysTheWindowAfterTheLoop) {
    struct Row {
        const char* name;
        UINT templateId;
        std::function<void(ProbeDialog&)> act;
        INT_PTR expected;
    };
    const Row rows[] = {
        {"Escape sends IDCANCEL", IDD_TEST_PLAIN, [](ProbeDialog& d) { PostKey(d, VK_ESCAPE); },
         IDCANCEL},
        {"Enter presses the default OK button", IDD_TEST_PLAIN,
         [](ProbeDialog& d) { PostKey(d, VK_RETURN); }, IDOK},
        {"Enter presses a default button of the derived table", IDD_TEST_DEFAULT_APPLY,
         [](ProbeDialog& d) { PostKey(d, VK_RETURN); }, IDC_TEST_APPLY},
        {"closing the window is Cancel", IDD_TEST_PLAIN,
         [](ProbeDialog& d) { PostMessageA(d.m_hWnd, WM_CLOSE, 0, 0); }, IDCANCEL},
        {"the OK button", IDD_TEST_PLAIN,
         [](ProbeDialog& d) {
             PostMessageA(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                          reinterpret_cast<LPARAM>(GetDlgItem(d.m_hWnd, IDOK)));
         },
         IDOK},
        {"EndDialog with any value", IDD_TEST_PLAIN, [](ProbeDialog& d) { d.EndDialog(77); }, 77},
        // Any program can send WM_INITDIALOG, with an lParam that points nowhere.
        {"a later WM_INITDIALOG is ignored", IDD_TEST_PLAIN,
         [](ProbeDialog& d) {
             SendMessageA(d.m_hWnd, WM_INITDIALOG, 0, 1);
             d.EndDialog(IDOK);
         },
         IDOK},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ProbeDialog dialog(row.templateId);
        dialog.onInit = row.act;
        EXPECT_EQ(dialog.DoModal(), row.expected);
        EXPECT_EQ(dialog.destroyCalls, 1);
        EXPECT_TRUE(dialog.windowAliveAtDestroy) << "DestroyWindow comes after the loop";
        EXPECT_FALSE(dialog.visibleAtDestroy) << "the ended dialog is hidden first";
        EXPECT_NE(dialog.window, nullptr);
        EXPECT_FALSE(IsWindow(dialog.window));
        EXPECT_EQ(dialog.m_hWnd, nullptr);
    }
}

// Ends itself on a message posted during initialisation, which only the running loop delivers.
class LoopProbe : public ProbeDialog {
public:
    LoopProbe() : ProbeDialog(IDD_TEST_PLAIN) {}
    bool visibleAtInit = true;
    bool visibleInLoop = false;

    BOOL OnInitDialog() override {
        BOOL result = ProbeDialog::OnInitDialog();
        visibleAtInit = IsWindowVisible(m_hWnd) != FALSE;
        PostMessageA(m_hWnd, WM_APP, 0, 0);
        return result;
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_APP) {
            visibleInLoop = IsWindowVisible(m_hWnd) != FALSE;
            EndDialog(IDOK);
            return 0;
        }
        return ProbeDialog::WindowProc(message, wParam, lParam);
    }
};

TEST(Dialog, ShowsATemplateWithoutWsVisibleWhenItsLoopRuns) {
    LoopProbe dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_FALSE(dialog.visibleAtInit);
    EXPECT_TRUE(dialog.visibleInLoop);
}

TEST(Dialog, InitialisationAddsTheTemplatesListEntriesInOrder) {
    ProbeDialog dialog(IDD_TEST_PLAIN);
    std::vector<std::string> combo;
    std::vector<std::string> list;
    dialog.onInit = [&](ProbeDialog& d) {
        combo = test::ListTexts(GetDlgItem(d.m_hWnd, IDC_TEST_COMBO));
        HWND listBox = GetDlgItem(d.m_hWnd, IDC_TEST_LIST);
        for (LRESULT i = 0; i < SendMessageA(listBox, LB_GETCOUNT, 0, 0); ++i) {
            char text[64] = {};
            SendMessageA(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
            list.push_back(text);
        }
        d.EndDialog(IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(combo, (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(list, std::vector<std::string>{"gamma"});
}

TEST(Dialog, MalformedInitialDataAddsTheWholeRecordsAndNoMore) {
    ProbeDialog dialog(IDD_TEST_BAD_INIT);
    LRESULT count = -1;
    dialog.onInit = [&count](ProbeDialog& d) {
        count = SendDlgItemMessageA(d.m_hWnd, IDC_TEST_COMBO, CB_GETCOUNT, 0, 0);
        d.EndDialog(IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(count, 1);
}

TEST(Dialog, ModalRunIsOwnedByTheMainWindowUnlessGivenAParentOrBeingIt) {
    CWinApp app("framework owner test");
    ASSERT_EQ(AfxGetApp(), &app);
    CWnd main;
    CWnd parent;
    for (CWnd* window : {&main, &parent}) {
        ASSERT_TRUE(window->CreateEx(0, AfxRegisterWndClass(0), "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                     nullptr));
    }
    // Runs `dialog`, which ends at once.
    auto run = [](ProbeDialog& dialog) -> ProbeDialog& {
        dialog.onInit = [](ProbeDialog& d) { d.EndDialog(IDOK); };
        dialog.DoModal();
        return dialog;
    };

    ProbeDialog withoutMain(IDD_TEST_PLAIN);
    EXPECT_EQ(run(withoutMain).ownerDuringInit, nullptr);

    app.m_pMainWnd = &main;
    ProbeDialog owned(IDD_TEST_PLAIN);
    EXPECT_EQ(run(owned).ownerDuringInit, main.m_hWnd);
    EXPECT_FALSE(owned.ownerEnabledDuringInit) << "the owner is disabled while the dialog runs";
    EXPECT_TRUE(IsWindowEnabled(main.m_hWnd));

    ProbeDialog withParent(IDD_TEST_PLAIN, &parent);
    EXPECT_EQ(run(withParent).ownerDuringInit, parent.m_hWnd);
    EXPECT_TRUE(IsWindowEnabled(parent.m_hWnd));

    ProbeDialog itself(IDD_TEST_PLAIN);
    app.m_pMainWnd = &itself;
    EXPECT_EQ(run(itself).ownerDuringInit, nullptr);
    app.m_pMainWnd = nullptr;
}

TEST(Dialog, MissingTemplateGivesMinusOneWithoutAWindow) {
    ProbeDialog dialog(IDD_TEST_MISSING);
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_EQ(dialog.window, nullptr);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

} // namespace
