#pragma once

#include <windows.h>

// What a dialog template's header says about its font.
struct DialogFontInfo {
    int pointSize;         // the font block's point size, read as an unsigned 16-bit value
    BOOL hasMenu;          // the template names a menu
    int weight;            // 0 in the plain form
    int italic;            // low byte of the extended form's italic word, else 0
    const WCHAR* faceName; // into the template's memory, or the constant "Tahoma"
};
