// DialogFontScaler on live dialogs at the session's 96 dpi: the program's two dialogs against
// the arithmetic on measured base units, the created font and its release, applying twice,
// releasing unapplied, and the test templates for the plain form, a menu, a 0xFFF8 point size,
// re-ordered children and a missing template.
#include "DialogFontScaler.h"
#include "LayoutTestIds.h"
#include "LayoutTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

INT_PTR CALLBACK NoHandling(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// A dialog of this program's resources, destroyed with the object.
class TestDialog {
public:
    explicit TestDialog(UINT id)
        : id_(id), window_(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id),
                                              nullptr, &NoHandling, 0),
                           &DestroyWindow) {}
    HWND Get() const { return window_.get(); }
    HWND Item(int id) const { return GetDlgItem(Get(), id); }

    // Lays the dialog out with `scaler` from its own template, or from `templateId`.
    void LayOut(DialogFontScaler& scaler, double dpi = 96.0, UINT templateId = 0) const {
        scaler.ApplyTemplateLayout(GetModuleHandleA(nullptr), Get(),
                                   templateId != 0 ? templateId : id_, dpi);
    }

private:
    UINT id_;
    std::unique_ptr<HWND__, decltype(&DestroyWindow)> window_;
};

// The font the layout creates for an 8-point "MS Shell Dlg" template at 96 dpi.
HFONT CreateShellDlgFont() {
    return CreateFontW(-11, 0, 0, 0, 0, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                       L"MS Shell Dlg");
}

TEST(Layout, ProgramDialogsFollowTheArithmeticOnMeasuredBaseUnits) {
    HFONT reference = CreateShellDlgFont();
    SIZE units = BaseUnitsOf(reference);
    DeleteObject(reference);
    // Wine's own Tahoma stands in for "MS Shell Dlg" in the test prefix, as on Windows.
    EXPECT_EQ(units.cx, 6);
    EXPECT_EQ(units.cy, 13);

    for (const ProgramDialog& program : kProgramDialogs) {
        SCOPED_TRACE(program.name);
        TestDialog dialog(program.id);
        ASSERT_NE(dialog.Get(), nullptr);
        DialogFontScaler scaler;
        dialog.LayOut(scaler);
        DialogFacts facts = ReadDialog(dialog.Get());
        ExpectLaidOut(facts, units, program.cx, program.cy, program.items);
        EXPECT_EQ(facts.client.cx, program.clientX);
        EXPECT_EQ(facts.client.cy, program.clientY);
    }
}

// Wine's dialogs answer WM_GETFONT with their template font whatever WM_SETFONT gave them, and
// its bitmap statics answer null, so the fonts are read from the button and the lists.
TEST(Layout, AppliedFontIsTheTemplatesAt96DpiAndReleaseRestoresAndDeletesIt) {
    TestDialog panel(IDD_KESTREL_DIALOG);
    ASSERT_NE(panel.Get(), nullptr);
    HWND done = panel.Item(IDC_DONE);
    HFONT original = WindowFont(done);
    ASSERT_NE(original, nullptr);
    ASSERT_EQ(WindowFont(panel.Get()), original);
    POINT clientBefore = {0, 0};
    ClientToScreen(panel.Get(), &clientBefore);

    HFONT applied = nullptr;
    {
        DialogFontScaler scaler;
        panel.LayOut(scaler);
        applied = WindowFont(done);
        ASSERT_NE(applied, original);
        FontFacts facts = FontOf(applied);
        EXPECT_EQ(facts.height, -11);
        EXPECT_EQ(facts.weight, 0);
        EXPECT_EQ(facts.italic, 0);
        EXPECT_EQ(facts.charset, DEFAULT_CHARSET);
        EXPECT_EQ(facts.face, "MS Shell Dlg");
        for (int id : {IDC_DONE, IDC_SAMPLE_RATE, IDC_CLOCK_SOURCE, IDC_BUFFER_SIZE}) {
            SCOPED_TRACE(id);
            EXPECT_EQ(WindowFont(panel.Item(id)), applied);
        }
        // The client area keeps its place on the screen.
        POINT clientAfter = {0, 0};
        ClientToScreen(panel.Get(), &clientAfter);
        EXPECT_EQ(clientAfter.x, clientBefore.x);
        EXPECT_EQ(clientAfter.y, clientBefore.y);
    }
    EXPECT_EQ(WindowFont(panel.Get()), original);
    for (int id : {IDC_DONE, IDC_SAMPLE_RATE, IDC_CLOCK_SOURCE, IDC_BUFFER_SIZE}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(WindowFont(panel.Item(id)), original);
    }
    EXPECT_EQ(GetObjectType(applied), 0u) << "the created font is deleted";
    EXPECT_NE(GetObjectType(original), 0u) << "the dialog's own font is not";
    EXPECT_EQ(ReadDialog(panel.Get()).client.cx, 297) << "the geometry stays";
}

TEST(Layout, ApplyingTwiceRestoresTheFirstApplicationBeforeTheSecond) {
    TestDialog panel(IDD_KESTREL_DIALOG);
    ASSERT_NE(panel.Get(), nullptr);
    HWND done = panel.Item(IDC_DONE);
    HFONT original = WindowFont(done);
    DialogFontScaler scaler;
    panel.LayOut(scaler);
    HFONT first = WindowFont(done);
    ASSERT_NE(first, original);
    panel.LayOut(scaler);
    HFONT second = WindowFont(done);
    EXPECT_EQ(GetObjectType(first), 0u) << "the first font went before the second came";
    EXPECT_NE(GetObjectType(second), 0u);
    EXPECT_EQ(WindowFont(panel.Item(IDC_BUFFER_SIZE)), second);
    EXPECT_EQ(ReadDialog(panel.Get()).client.cx, 297);
    scaler.RestoreFonts();
    EXPECT_EQ(WindowFont(done), original) << "not the first application's font";
    EXPECT_EQ(WindowFont(panel.Item(IDC_BUFFER_SIZE)), original);
    EXPECT_EQ(GetObjectType(second), 0u);
    scaler.RestoreFonts(); // released already: nothing
    EXPECT_EQ(WindowFont(done), original);
}

TEST(Layout, ReleasingAnUnappliedScalerTouchesNothing) {
    TestDialog panel(IDD_KESTREL_DIALOG);
    ASSERT_NE(panel.Get(), nullptr);
    HWND done = panel.Item(IDC_DONE);
    HFONT font = CreateShellDlgFont();
    SendMessageA(done, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    RECT before = {};
    GetWindowRect(panel.Get(), &before);
    {
        DialogFontScaler scaler;
        scaler.RestoreFonts();
    }
    EXPECT_EQ(WindowFont(done), font);
    EXPECT_NE(GetObjectType(font), 0u);
    RECT after = {};
    GetWindowRect(panel.Get(), &after);
    EXPECT_TRUE(EqualRect(&before, &after));
    SendMessageA(done, WM_SETFONT, 0, FALSE);
    DeleteObject(font);
}

TEST(Layout, PlainTemplateWithoutSetFontUsesEightPointTahoma) {
    TestDialog dialog(IDD_LAYOUT_PLAIN);
    ASSERT_NE(dialog.Get(), nullptr);
    DialogFontScaler scaler;
    dialog.LayOut(scaler);
    HFONT applied = WindowFont(dialog.Item(IDC_LAYOUT_FIRST));
    FontFacts facts = FontOf(applied);
    EXPECT_EQ(facts.height, -11);
    EXPECT_EQ(facts.weight, 400);
    EXPECT_EQ(facts.italic, 0);
    EXPECT_EQ(facts.face, "Tahoma");
    SIZE units = BaseUnitsOf(applied);
    ExpectLaidOut(ReadDialog(dialog.Get()), units, 120, 60,
                  {{IDC_LAYOUT_FIRST, 10, 20, 40, 14, false}});
}

TEST(Layout, MenuInTheTemplateIsLeftOutOfTheClientArea) {
    TestDialog dialog(IDD_LAYOUT_MENU);
    ASSERT_NE(dialog.Get(), nullptr);
    ASSERT_NE(GetMenu(dialog.Get()), nullptr);
    DialogFontScaler scaler;
    dialog.LayOut(scaler);
    DialogFacts facts = ReadDialog(dialog.Get());
    EXPECT_EQ(facts.client.cx, 180);
    EXPECT_EQ(facts.client.cy, 98) << "the window grew by the menu bar";
}

TEST(Layout, PointSizeWordFFF8IsEightPoints) {
    TestDialog dialog(IDD_LAYOUT_NEGATIVE_POINTS);
    ASSERT_NE(dialog.Get(), nullptr);
    DialogFontScaler scaler;
    dialog.LayOut(scaler);
    EXPECT_EQ(FontOf(WindowFont(dialog.Item(IDC_LAYOUT_FIRST))).height, -11);
    EXPECT_EQ(ReadDialog(dialog.Get()).client.cx, 180);
}

TEST(Layout, TheDpiArgumentSetsTheFontHeight) {
    TestDialog panel(IDD_KESTREL_DIALOG);
    ASSERT_NE(panel.Get(), nullptr);
    const struct {
        double dpi;
        LONG height;
    } rows[] = {{72.0, -8}, {96.0, -11}, {120.0, -13}, {144.0, -16}};
    DialogFontScaler scaler;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.dpi);
        panel.LayOut(scaler, row.dpi);
        EXPECT_EQ(FontOf(WindowFont(panel.Item(IDC_DONE))).height, row.height);
    }
}

TEST(Layout, ReorderedChildrenStopTheWalkAtTheFirstOneOutOfOrder) {
    TestDialog dialog(IDD_LAYOUT_ORDER);
    ASSERT_NE(dialog.Get(), nullptr);
    HWND first = dialog.Item(IDC_LAYOUT_FIRST);
    HWND second = dialog.Item(IDC_LAYOUT_SECOND);
    HWND third = dialog.Item(IDC_LAYOUT_THIRD);
    // Window order becomes second, first, third: the second item is then before the first.
    SetWindowPos(second, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_EQ(GetWindow(dialog.Get(), GW_CHILD), second);
    HFONT original = WindowFont(first);
    // Put the untouched buttons somewhere the layout would never put them.
    MoveWindow(second, 1, 2, 3, 4, FALSE);
    MoveWindow(third, 5, 6, 7, 8, FALSE);

    DialogFontScaler scaler;
    dialog.LayOut(scaler);
    HFONT applied = WindowFont(first);
    EXPECT_NE(applied, original);
    EXPECT_EQ(FontOf(applied).height, -11);
    DialogFacts facts = ReadDialog(dialog.Get());
    const ChildFacts* one = FindChildFacts(facts, IDC_LAYOUT_FIRST);
    const ChildFacts* two = FindChildFacts(facts, IDC_LAYOUT_SECOND);
    const ChildFacts* three = FindChildFacts(facts, IDC_LAYOUT_THIRD);
    ASSERT_TRUE(one && two && three);
    EXPECT_EQ(one->rect.left, 8) << "5 units at 6 px / 4";
    EXPECT_EQ(two->rect.left, 1) << "the walk stopped here";
    EXPECT_EQ(two->rect.right - two->rect.left, 3);
    EXPECT_EQ(WindowFont(second), original);
    EXPECT_EQ(three->rect.left, 5) << "and did not go on";
    EXPECT_EQ(WindowFont(third), original);

    scaler.RestoreFonts();
    EXPECT_EQ(WindowFont(first), original);
    EXPECT_EQ(GetObjectType(applied), 0u);
}

TEST(Layout, MissingTemplateLeavesTheDialogAlone) {
    TestDialog panel(IDD_KESTREL_DIALOG);
    ASSERT_NE(panel.Get(), nullptr);
    HWND done = panel.Item(IDC_DONE);
    HFONT original = WindowFont(done);
    RECT before = {};
    GetWindowRect(panel.Get(), &before);
    {
        DialogFontScaler scaler;
        panel.LayOut(scaler, 96.0, IDD_LAYOUT_MISSING);
        EXPECT_EQ(WindowFont(done), original);
    }
    RECT after = {};
    GetWindowRect(panel.Get(), &after);
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_EQ(WindowFont(done), original);
}

} // namespace
