#pragma once

// What the layout tests read back from dialogs: fonts, base units and child rectangles.
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
