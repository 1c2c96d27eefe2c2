#include "DialogFontScaler.h"

#include <cstdint>
#include <cstring>

namespace {

const DWORD kExtendedSignature = 0xFFFF0001; // dlgVer 1, signature 0xFFFF

WORD ReadWord(const BYTE* at) {
    WORD value;
    std::memcpy(&value, at, sizeof(value));
    return value;
}

DWORD ReadDword(const BYTE* at) {
    DWORD value;
    std::memcpy(&value, at, sizeof(value));
    return value;
}

short ReadShort(const BYTE* at) {
    return static_cast<short>(ReadWord(at));
}

const BYTE* SkipString(const BYTE* at) {
    while (ReadWord(at) != 0) {
        at += 2;
    }
    return at + 2;
}

// A menu, class or title field: 0xFFFF and an ordinal, or a string (a lone 0 is empty).
const BYTE* SkipField(const BYTE* at) {
    return ReadWord(at) == 0xFFFF ? at + 4 : SkipString(at);
}

const BYTE* AlignTo4(const BYTE* at) {
    std::uintptr_t address = reinterpret_cast<std::uintptr_t>(at);
    return at + ((4 - address % 4) % 4);
}

// The header fields the layout needs, from either template form.
struct TemplateHeader {
    DWORD style;
    DWORD exStyle;
    short cx;
    short cy;
};

TemplateHeader ReadHeader(const BYTE* dialogTemplate, bool extended) {
    if (extended) {
        return {ReadDword(dialogTemplate + 12), ReadDword(dialogTemplate + 8),
                ReadShort(dialogTemplate + 22), ReadShort(dialogTemplate + 24)};
    }
    return {ReadDword(dialogTemplate), ReadDword(dialogTemplate + 4),
            ReadShort(dialogTemplate + 14), ReadShort(dialogTemplate + 16)};
}

struct ItemRect {
    DWORD id;
    short x, y, cx, cy;
};

ItemRect ReadItem(const BYTE* item, bool extended) {
    if (extended) {
        return {ReadDword(item + 20), ReadShort(item + 12), ReadShort(item + 14),
                ReadShort(item + 16), ReadShort(item + 18)};
    }
    // The plain form's id is a WORD; -1 is 0xFFFF there.
    WORD id = ReadWord(item + 16);
    return {id == 0xFFFF ? 0xFFFFFFFF : id, ReadShort(item + 8), ReadShort(item + 10),
            ReadShort(item + 12), ReadShort(item + 14)};
}

// The first window from `start` on, in window order, with control id `id`.
HWND FindChild(HWND start, DWORD id) {
    for (HWND child = start; child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (static_cast<DWORD>(GetDlgCtrlID(child)) == id) {
            return child;
        }
    }
    return nullptr;
}

// Calls visit(child, item) for each item of the template whose child is found: each search
// starts after the previous item's child, and the walk stops at the first item without one.
template <typename Visit>
void WalkItems(HWND dialog, const BYTE* dialogTemplate, Visit visit) {
    bool extended = DialogFontScaler::IsExtendedTemplate(dialogTemplate);
    int count = DialogFontScaler::ItemCount(dialogTemplate);
    const BYTE* item = DialogFontScaler::FirstItem(dialogTemplate);
    HWND child = nullptr;
    for (int i = 0; i < count; ++i) {
        ItemRect rect = ReadItem(item, extended);
        HWND start = i == 0 ? GetWindow(dialog, GW_CHILD) : GetWindow(child, GW_HWNDNEXT);
        child = FindChild(start, rect.id);
        if (child == nullptr) {
            return;
        }
        visit(child, rect);
        item = DialogFontScaler::NextItem(item, extended);
    }
}

// The dialog template resource, locked for the object's lifetime.
class LockedTemplate {
public:
    LockedTemplate(HMODULE module, int id) : m_loaded(nullptr), m_data(nullptr) {
        HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(LOWORD(id)), RT_DIALOG);
        m_loaded = info != nullptr ? LoadResource(module, info) : nullptr;
        m_data = m_loaded != nullptr ? static_cast<const BYTE*>(LockResource(m_loaded)) : nullptr;
    }
    ~LockedTemplate() {
        if (m_loaded != nullptr) {
            FreeResource(m_loaded);
        }
    }
    LockedTemplate(const LockedTemplate&) = delete;
    LockedTemplate& operator=(const LockedTemplate&) = delete;

    const BYTE* Data() const { return m_data; }

private:
    HGLOBAL m_loaded;
    const BYTE* m_data;
};

int Scale(int value, int units, double divisor) {
    return static_cast<int>(value * units / divisor + 0.5);
}

} // namespace

DialogFontScaler::DialogFontScaler()
    : templateId(0), resourceModule(nullptr), dialogWindow(nullptr), layoutFont(),
      previousFont(nullptr) {}

DialogFontScaler::~DialogFontScaler() {
    RestoreFonts();
}

bool DialogFontScaler::IsExtendedTemplate(const void* dialogTemplate) {
    return ReadWord(static_cast<const BYTE*>(dialogTemplate) + 2) == 0xFFFF;
}

int DialogFontScaler::ItemCount(const void* dialogTemplate) {
    const BYTE* at = static_cast<const BYTE*>(dialogTemplate);
    return ReadWord(at + (IsExtendedTemplate(dialogTemplate) ? 16 : 8));
}

DialogFontInfo DialogFontScaler::ReadDialogFont(const void* dialogTemplate) {
    const BYTE* at = static_cast<const BYTE*>(dialogTemplate);
    bool extended = ReadDword(at) == kExtendedSignature;
    DWORD style = extended ? ReadDword(at + 12) : ReadDword(at);
    at += extended ? 16 : 8;
    at += 10; // item count, x, y, cx, cy

    DialogFontInfo info = {};
    WORD menu = ReadWord(at);
    info.hasMenu = menu != 0;
    at = SkipField(at);
    at = SkipField(at);  // class
    at = SkipString(at); // title
    if ((style & DS_SETFONT) == 0) {
        info.pointSize = 8;
        info.weight = FW_NORMAL;
        info.italic = 0;
        info.faceName = L"Tahoma";
        return info;
    }
    info.pointSize = ReadWord(at);
    at += 2;
    if (extended) {
        info.weight = ReadWord(at);
        info.italic = LOBYTE(ReadWord(at + 2)); // the high byte is the character set
        at += 4;
    }
    info.faceName = reinterpret_cast<const WCHAR*>(at);
    return info;
}

const BYTE* DialogFontScaler::FirstItem(const void* dialogTemplate) {
    const BYTE* at = static_cast<const BYTE*>(dialogTemplate);
    bool extended = IsExtendedTemplate(dialogTemplate);
    DWORD style = ReadHeader(at, extended).style;
    at += extended ? 26 : 18;
    at = SkipField(at);  // menu
    at = SkipField(at);  // class
    at = SkipString(at); // title
    if (style & DS_SETFONT) {
        at += extended ? 6 : 2;
        at = SkipString(at);
    }
    return AlignTo4(at);
}

const BYTE* DialogFontScaler::NextItem(const BYTE* item, bool extended) {
    const BYTE* at = item + (extended ? 24 : 18);
    at = SkipField(at); // class
    at = SkipField(at); // title
    WORD extra = ReadWord(at);
    at += 2;
    if (!extended && extra != 0) {
        // The plain form's count includes its own two bytes.
        extra = extra >= 2 ? static_cast<WORD>(extra - 2) : 0;
    }
    return AlignTo4(at + extra);
}

SIZE DialogFontScaler::MeasureBaseUnits(HDC dc, HFONT font) {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    SIZE units = {0, 0};
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA metrics = {};
    if (GetTextMetricsA(dc, &metrics)) {
        units.cy = metrics.tmHeight;
    }
    SIZE extent = {0, 0};
    if (GetTextExtentPointA(dc, kAlphabet, 52, &extent)) {
        units.cx = (extent.cx / 26 + 1) / 2;
    }
    SelectObject(dc, old);
    return units;
}

void DialogFontScaler::ApplyTemplateLayout(HMODULE module, HWND dialog, int id, double dpi) {
    if (dialogWindow != nullptr) {
        RestoreFonts();
    }
    LockedTemplate resource(module, id);
    const BYTE* dialogTemplate = resource.Data();
    if (dialogTemplate == nullptr) {
        return;
    }
    resourceModule = module;
    templateId = id;
    dialogWindow = dialog;

    DialogFontInfo font = ReadDialogFont(dialogTemplate);
    if (font.pointSize < 0 || font.pointSize > 0x7FFF) {
        font.pointSize = (-font.pointSize) & 0xFFFF; // a negative 16-bit size: 0xFFF8 is 8
    }
    int height = -static_cast<int>(font.pointSize * dpi / 72.0 + 0.5);
    layoutFont.Reset(CreateFontW(height, 0, 0, 0, font.weight, static_cast<DWORD>(font.italic),
                                 FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, font.faceName));

    previousFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    SendMessageA(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(layoutFont.Get()), TRUE);

    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    SIZE units = MeasureBaseUnits(dc, layoutFont.Get());
    EndPaint(dialog, &paint);
    if (units.cx <= 0 || units.cy <= 0) {
        return; // no measurement, no sizes: the dialog keeps its geometry
    }

    bool extended = IsExtendedTemplate(dialogTemplate);
    TemplateHeader header = ReadHeader(dialogTemplate, extended);
    RECT client;
    GetClientRect(dialog, &client);
    client.right = client.left + Scale(header.cx, units.cx, 4.0);
    client.bottom = client.top + Scale(header.cy, units.cy, 8.0);
    POINT corners[2] = {{client.left, client.top}, {client.right, client.bottom}};
    ClientToScreen(dialog, &corners[0]);
    ClientToScreen(dialog, &corners[1]);
    RECT frame = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    AdjustWindowRectEx(&frame, header.style, font.hasMenu, header.exStyle);
    MoveWindow(dialog, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
               TRUE);

    HFONT layout = layoutFont.Get();
    WalkItems(dialog, dialogTemplate, [&units, layout](HWND child, const ItemRect& rect) {
        MoveWindow(child, Scale(rect.x, units.cx, 4.0), Scale(rect.y, units.cy, 8.0),
                   Scale(rect.cx, units.cx, 4.0), Scale(rect.cy, units.cy, 8.0), TRUE);
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(layout), TRUE);
    });
}

void DialogFontScaler::RestoreFonts() {
    if (dialogWindow == nullptr) {
        return;
    }
    WPARAM previous = reinterpret_cast<WPARAM>(previousFont);
    SendMessageA(dialogWindow, WM_SETFONT, previous, TRUE);
    LockedTemplate resource(resourceModule, templateId);
    if (resource.Data() != nullptr) {
        WalkItems(dialogWindow, resource.Data(), [previous](HWND child, const ItemRect&) {
            SendMessageA(child, WM_SETFONT, previous, TRUE);
        });
    }
    layoutFont.Reset();
    dialogWindow = nullptr;
    previousFont = nullptr;
}
