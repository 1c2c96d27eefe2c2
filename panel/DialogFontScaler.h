#pragma once

#include "DialogFontInfo.h"
#include "UniqueFont.h"

#include <windows.h>

// Lays a dialog out again as its template's font gives it at a fixed dots-per-inch setting,
// whatever the system's own setting: the dialog's client area and each child the template lists
// are sized in dialog units of that font. While applied the dialog and those children show the
// created font; releasing (RestoreFonts or the destructor) gives them their previous font back
// and deletes the created one, and the geometry stays.
//
//   DialogFontScaler scaler;                        // a local of the initialisation handler
//   scaler.ApplyTemplateLayout(module, dialog, 102, 96.0);
//   ...                                             // released when the handler returns
class DialogFontScaler {
public:
    DialogFontScaler();
    ~DialogFontScaler();
    DialogFontScaler(const DialogFontScaler&) = delete;
    DialogFontScaler& operator=(const DialogFontScaler&) = delete;

    // Restores an earlier application first. A template that cannot be found or loaded leaves
    // the scaler not applied and the dialog untouched.
    void ApplyTemplateLayout(HMODULE module, HWND dialog, int id, double dpi);
    // Nothing when not applied.
    void RestoreFonts();

    // Template reading: DLGTEMPLATEEX (extended) and DLGTEMPLATE (plain), 4-byte aligned.
    static DialogFontInfo ReadDialogFont(const void* dialogTemplate);
    static bool IsExtendedTemplate(const void* dialogTemplate);
    static int ItemCount(const void* dialogTemplate);
    static const BYTE* FirstItem(const void* dialogTemplate);
    static const BYTE* NextItem(const BYTE* item, bool extended);

    // The dialog base units of `font` on `dc`: cx the average character width, cy the height.
    static SIZE MeasureBaseUnits(HDC dc, HFONT font);

private:
    int templateId;
    HMODULE resourceModule;
    HWND dialogWindow;
    UniqueFont layoutFont; // owned from ApplyTemplateLayout until released
    HFONT previousFont;    // the dialog's, not ours
};
