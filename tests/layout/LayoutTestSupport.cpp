#include "LayoutTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

FontFacts FontOf(HFONT font) {
    LOGFONTA logical = {};
    if (font == nullptr || GetObjectA(font, sizeof(logical), &logical) == 0) {
        return {0, 0, 0, 0, "<none>"};
    }
    return {logical.lfHeight, logical.lfWeight, logical.lfItalic, logical.lfCharSet,
            logical.lfFaceName};
}

HFONT WindowFont(HWND window) {
    return reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
}

SIZE BaseUnitsOf(HFONT font) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, font);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(screen, &metrics);
    SIZE extent = {};
    GetTextExtentPoint32A(screen, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 52,
                          &extent);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return {(extent.cx / 26 + 1) / 2, metrics.tmHeight};
}

int ScaleUnits(int value, int units, double divisor) {
    return static_cast<int>(value * units / divisor + 0.5);
}

bool RunningOnWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

DialogFacts ReadDialog(HWND dialog) {
    DialogFacts facts = {};
    RECT client = {};
    GetClientRect(dialog, &client);
    facts.client = {client.right - client.left, client.bottom - client.top};
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        ChildFacts childFacts = {GetDlgCtrlID(child), {}, 0};
        GetWindowRect(child, &childFacts.rect);
        char className[32] = {};
        GetClassNameA(child, className, sizeof(className));
        if (lstrcmpiA(className, "ComboBox") == 0) {
            // Its window is only the selection field; the open list reaches further down.
            // Windows' dropped rectangle spans both; Wine 8's is as tall as the list alone.
            RECT dropped = {};
            SendMessageA(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
            childFacts.openHeight = dropped.bottom - dropped.top;
            if (RunningOnWine()) {
                childFacts.openHeight += childFacts.rect.bottom - childFacts.rect.top;
            }
        }
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&childFacts.rect), 2);
        facts.children.push_back(childFacts);
    }
    return facts;
}

const ChildFacts* FindChildFacts(const DialogFacts& facts, int id) {
    const auto found = std::find_if(facts.children.begin(), facts.children.end(),
                                    [id](const ChildFacts& child) { return child.id == id; });
    return found != facts.children.end() ? &*found : nullptr;
}

void ExpectLaidOut(const DialogFacts& facts, SIZE units, int cx, int cy,
                   const std::vector<TemplateItem>& items, bool listHeights) {
    EXPECT_EQ(facts.client.cx, ScaleUnits(cx, units.cx, 4.0));
    EXPECT_EQ(facts.client.cy, ScaleUnits(cy, units.cy, 8.0));
    for (const TemplateItem& item : items) {
        SCOPED_TRACE("control " + std::to_string(item.id));
        const ChildFacts* child = FindChildFacts(facts, item.id);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(child->rect.left, ScaleUnits(item.x, units.cx, 4.0));
        EXPECT_EQ(child->rect.top, ScaleUnits(item.y, units.cy, 8.0));
        EXPECT_EQ(child->rect.right - child->rect.left, ScaleUnits(item.cx, units.cx, 4.0));
        if (!item.list) {
            EXPECT_EQ(child->rect.bottom - child->rect.top, ScaleUnits(item.cy, units.cy, 8.0));
        } else if (listHeights) {
            EXPECT_EQ(child->openHeight, ScaleUnits(item.cy, units.cy, 8.0));
        }
    }
}
