#pragma once

// What the layout tests read back from dialogs: fonts, base units and child rectangles; and
// where the program's two templates put their children.
#include "resource.h"

#include <windows.h>

#include <string>
#include <vector>

struct FontFacts {
    LONG height;
    LONG weight;
    BYTE italic;
    BYTE charset;
    std::string face;
};

struct ChildFacts {
    int id;
    RECT rect;       // in the dialog's client coordinates
    LONG openHeight; // a drop-down list's height when open (field and list), else 0
};

struct DialogFacts {
    SIZE client;
    std::vector<ChildFacts> children; // in window order
};

FontFacts FontOf(HFONT font);
HFONT WindowFont(HWND window);
// Dialog base units of a font: (alphabet extent / 26 + 1) / 2 and the text height.
SIZE BaseUnitsOf(HFONT font);
// The arithmetic of the layout: value * units / divisor + 0.5, truncated.
int ScaleUnits(int value, int units, double divisor);
bool RunningOnWine();
DialogFacts ReadDialog(HWND dialog);
const ChildFacts* FindChildFacts(const DialogFacts& facts, int id);

// A child where its template puts it, in dialog units; `list` for a drop-down list, whose
// height is its open height.
struct TemplateItem {
    int id;
    int x, y, cx, cy;
    bool list;
};

// The client area and each listed child at their template rectangles in the given base units.
// A drop-down list's window is only as tall as its selection field: its open height is the
// template's height, checked only with `listHeights`.
void ExpectLaidOut(const DialogFacts& facts, SIZE units, int cx, int cy,
                   const std::vector<TemplateItem>& items, bool listHeights = true);

// One of the program's dialogs: its template's size, its client area with Wine's fonts (6x13
// base units), its children in template order.
struct ProgramDialog {
    const char* name;
    UINT id;
    int cx, cy;
    long clientX, clientY;
    std::vector<TemplateItem> items;
};

// clang-format off
inline const ProgramDialog kProgramDialogs[] = {
    {"panel", IDD_KESTREL_DIALOG, 198, 217, 297, 353,
     {{-1, 0, 0, 198, 217, false},
      {IDC_DONE, 10, 194, 50, 14, false},
      {IDC_SAMPLE_RATE, 94, 37, 68, 52, true},
      {IDC_CLOCK_SOURCE, 94, 84, 68, 46, true},
      {IDC_BUFFER_SIZE, 94, 134, 68, 116, true}}},
    {"about", IDD_ABOUTBOX, 201, 239, 302, 388,
     {{IDOK, 13, 211, 43, 15, false},
      {-1, 0, 0, 201, 239, false}}},
};
// clang-format on
