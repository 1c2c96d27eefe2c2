// The program's resources as Windows reads them: dialogs 100 and 102 with every control, the
// initial list entries, the tray menu, the About string, the icon group, the two bitmaps, the
// version record and the manifest. Each case runs on this test program, which links the same
// resource object, and on the built "Quillmar KESTREL.exe", loaded as a data file. Templates are
// read field by field here, independently of the program's own template reader.
#include "ChildProcess.h"
#include "PanelIds.h"
#include "resource.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

// Which module the running case reads: this program or the built executable.
HMODULE g_module = nullptr;
std::string g_modulePath;

struct ModuleCase {
    const char* name;
    bool productExecutable;
};

const ModuleCase kModules[] = {{"TestProgram", false}, {"QuillmarKestrelExe", true}};

// Runs `check` on each module in turn, with g_module and g_modulePath set to it.
template <typename Check>
void ForEachModule(Check check) {
    for (const ModuleCase& module : kModules) {
        SCOPED_TRACE(module.name);
        g_modulePath = module.productExecutable ? KESTREL_APP_PATH : test::ThisProgram();
        if (module.productExecutable) {
            ASSERT_NE(g_modulePath.find("/Quillmar KESTREL.exe"), std::string::npos)
                << g_modulePath;
            SetLastError(0xdeadbeef);
            g_module = LoadLibraryExA(g_modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
            ASSERT_NE(g_module, nullptr) << g_modulePath << ": error " << GetLastError();
        } else {
            g_module = GetModuleHandleA(nullptr);
        }
        check(module);
        if (module.productExecutable) {
            FreeLibrary(g_module);
        }
        g_module = nullptr;
    }
}

std::vector<BYTE> LoadRaw(LPCSTR type, UINT id) {
    HRSRC info = FindResourceA(g_module, MAKEINTRESOURCEA(id), type);
    if (info == nullptr) {
        return {};
    }
    HGLOBAL loaded = LoadResource(g_module, info);
    const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
    return std::vector<BYTE>(data, data + SizeofResource(g_module, info));
}

// "#123": how an ordinal shows in the fields below. (Built by appending: GCC 12 warns falsely
// on "#" + std::to_string.)
std::string Ordinal(int value) {
    std::string text = "#";
    text += std::to_string(value);
    return text;
}

// A cursor over resource bytes with the template encodings: words, ordinals, wide strings.
class Reader {
public:
    explicit Reader(const std::vector<BYTE>& data) : m_data(data), m_at(0) {}

    template <typename T>
    T Read() {
        T value{};
        if (m_at + sizeof(T) <= m_data.size()) {
            std::memcpy(&value, m_data.data() + m_at, sizeof(T));
        }
        m_at += sizeof(T);
        return value;
    }
    // "#123" for an ordinal, else the string.
    std::string ReadNameOrOrdinal() {
        WORD first = Read<WORD>();
        if (first == 0xFFFF) {
            return Ordinal(Read<WORD>());
        }
        m_at -= 2;
        return ReadString();
    }
    std::string ReadString() {
        std::string text;
        for (WORD ch = Read<WORD>(); ch != 0 && m_at <= m_data.size(); ch = Read<WORD>()) {
            text += static_cast<char>(ch);
        }
        return text;
    }
    void Skip(size_t count) { m_at += count; }
    void AlignTo4() { m_at = (m_at + 3) & ~static_cast<size_t>(3); }
    bool AtEnd() const { return m_at >= m_data.size(); }

private:
    const std::vector<BYTE>& m_data;
    size_t m_at;
};

struct Control {
    DWORD id;
    std::string windowClass;
    std::string text;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
};

struct Dialog {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    std::string menu;
    std::string windowClass;
    std::string caption;
    WORD pointSize;
    WORD weight;
    BYTE italic;
    BYTE charset;
    std::string face;
    std::vector<Control> controls;
};

Dialog ReadDialogEx(UINT id) {
    std::vector<BYTE> raw = LoadRaw(RT_DIALOG, id);
    Dialog dialog{};
    EXPECT_GT(raw.size(), 26u) << "dialog " << id;
    if (raw.size() <= 26) {
        return dialog;
    }
    Reader r(raw);
    EXPECT_EQ(r.Read<WORD>(), 1) << "dlgVer";
    EXPECT_EQ(r.Read<WORD>(), 0xFFFF) << "signature";
    r.Read<DWORD>(); // help id
    dialog.exStyle = r.Read<DWORD>();
    dialog.style = r.Read<DWORD>();
    WORD count = r.Read<WORD>();
    dialog.x = r.Read<short>();
    dialog.y = r.Read<short>();
    dialog.cx = r.Read<short>();
    dialog.cy = r.Read<short>();
    dialog.menu = r.ReadNameOrOrdinal();
    dialog.windowClass = r.ReadNameOrOrdinal();
    dialog.caption = r.ReadString();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = r.Read<WORD>();
        dialog.weight = r.Read<WORD>();
        dialog.italic = r.Read<BYTE>();
        dialog.charset = r.Read<BYTE>();
        dialog.face = r.ReadString();
    }
    for (WORD i = 0; i < count; ++i) {
        r.AlignTo4();
        Control control{};
        r.Read<DWORD>(); // help id
        control.exStyle = r.Read<DWORD>();
        control.style = r.Read<DWORD>();
        control.x = r.Read<short>();
        control.y = r.Read<short>();
        control.cx = r.Read<short>();
        control.cy = r.Read<short>();
        control.id = r.Read<DWORD>();
        control.windowClass = r.ReadNameOrOrdinal();
        control.text = r.ReadNameOrOrdinal();
        r.Skip(r.Read<WORD>()); // extra data
        dialog.controls.push_back(control);
    }
    return dialog;
}

// Predefined classes appear as atoms (0x80 button, 0x82 static, 0x85 combo box) or names.
bool IsClass(const std::string& field, const char* name, int atom) {
    return field == Ordinal(atom) || _stricmp(field.c_str(), name) == 0;
}

void ExpectControl(const Control& got, DWORD id, const char* className, int atom,
                   const std::string& text, DWORD style, DWORD exStyle, short x, short y, short cx,
                   short cy) {
    SCOPED_TRACE("control " + std::to_string(static_cast<int>(id)));
    EXPECT_EQ(got.id, id);
    EXPECT_TRUE(IsClass(got.windowClass, className, atom)) << got.windowClass;
    EXPECT_EQ(got.text, text);
    EXPECT_EQ(got.style, style) << std::hex << got.style;
    EXPECT_EQ(got.exStyle, exStyle) << std::hex << got.exStyle;
    EXPECT_EQ(got.x, x);
    EXPECT_EQ(got.y, y);
    EXPECT_EQ(got.cx, cx);
    EXPECT_EQ(got.cy, cy);
}

const DWORD kChild = WS_CHILD | WS_VISIBLE;
const DWORD kBackground = kChild | SS_BITMAP | SS_CENTERIMAGE | SS_REALSIZEIMAGE;

TEST(Resources, PanelDialogIsTheExtendedTemplateWithItsFiveControlsInOrder) {
    ForEachModule([&](const ModuleCase&) {
        Dialog d = ReadDialogEx(IDD_KESTREL_DIALOG);
        EXPECT_EQ(d.caption, "Quillmar KESTREL");
        EXPECT_EQ(d.style,
                  static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU |
                                     WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS))
            << std::hex << d.style;
        EXPECT_EQ(d.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
        EXPECT_EQ(d.x, 0);
        EXPECT_EQ(d.y, 0);
        EXPECT_EQ(d.cx, 198);
        EXPECT_EQ(d.cy, 217);
        EXPECT_EQ(d.menu, "");
        EXPECT_EQ(d.windowClass, "");
        EXPECT_EQ(d.pointSize, 8);
        EXPECT_EQ(d.weight, 0);
        EXPECT_EQ(d.italic, 0);
        EXPECT_EQ(d.charset, 1);
        EXPECT_EQ(d.face, "MS Shell Dlg");
        ASSERT_EQ(d.controls.size(), 5u);
        const DWORD list = kChild | CBS_DROPDOWNLIST | WS_VSCROLL;
        ExpectControl(d.controls[0], 0xFFFFFFFF, "Static", 0x82, "#134", kBackground, 0, 0, 0, 198,
                      217);
        ExpectControl(d.controls[1], 1007, "Button", 0x80, "Done",
                      kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 10, 194, 50, 14);
        ExpectControl(d.controls[2], 1000, "ComboBox", 0x85, "", list | CBS_SORT, 0, 94, 37, 68,
                      52);
        ExpectControl(d.controls[3], 1001, "ComboBox", 0x85, "", list | CBS_SORT, 0, 94, 84, 68,
                      46);
        ExpectControl(d.controls[4], 1003, "ComboBox", 0x85, "", list, 0, 94, 134, 68, 116);
    });
}

TEST(Resources, AboutDialogHasItsButtonOverTheBackground) {
    ForEachModule([&](const ModuleCase&) {
        Dialog d = ReadDialogEx(IDD_ABOUTBOX);
        EXPECT_EQ(d.caption, "About Quillmar KESTREL");
        EXPECT_EQ(d.style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                              DS_SETFONT | DS_FIXEDSYS | DS_3DLOOK))
            << std::hex << d.style;
        EXPECT_EQ(d.exStyle, 0u);
        EXPECT_EQ(d.cx, 201);
        EXPECT_EQ(d.cy, 239);
        EXPECT_EQ(d.pointSize, 8);
        EXPECT_EQ(d.weight, 0);
        EXPECT_EQ(d.charset, 1);
        EXPECT_EQ(d.face, "MS Shell Dlg");
        ASSERT_EQ(d.controls.size(), 2u);
        ExpectControl(d.controls[0], IDOK, "Button", 0x80, "OK",
                      kChild | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, WS_EX_TRANSPARENT, 13, 211,
                      43, 15);
        ExpectControl(d.controls[1], 0xFFFFFFFF, "Static", 0x82, "#130", kBackground,
                      WS_EX_TRANSPARENT, 0, 0, 201, 239);
    });
}

TEST(Resources, PanelInitialListEntriesAreAddStringRecordsInOrder) {
    ForEachModule([&](const ModuleCase&) {
        std::vector<BYTE> raw = LoadRaw(MAKEINTRESOURCEA(RT_DLGINIT), IDD_KESTREL_DIALOG);
        ASSERT_FALSE(raw.empty());
        Reader r(raw);
        std::vector<std::pair<WORD, std::string>> got;
        for (WORD id = r.Read<WORD>(); id != 0 && !r.AtEnd(); id = r.Read<WORD>()) {
            EXPECT_EQ(r.Read<WORD>(), 0x0403) << "the 16-bit CB_ADDSTRING";
            DWORD length = r.Read<DWORD>();
            std::string bytes;
            for (DWORD k = 0; k < length; ++k) {
                bytes += static_cast<char>(r.Read<BYTE>());
            }
            ASSERT_FALSE(bytes.empty());
            EXPECT_EQ(bytes.back(), '\0') << "each text carries its terminator";
            got.emplace_back(id, bytes.c_str());
        }
        EXPECT_TRUE(r.AtEnd()) << "nothing after the closing 0";
        const std::vector<std::pair<WORD, std::string>> expected = {
            {1000, "44100 Hz"}, {1000, "48000 Hz"}, {1000, "88200 Hz"}, {1000, "96000 Hz"},
            {1001, "Internal"}, {1001, "S/PDIF"},   {1003, "1.5 ms"},   {1003, "2.0 ms"},
            {1003, "2.5 ms"},   {1003, "3.0 ms"},   {1003, "3.5 ms"},   {1003, "4.0 ms"},
            {1003, "6.0 ms"},   {1003, "8.0 ms"},   {1003, "10 ms"},    {1003, "12 ms"},
            {1003, "18 ms"},    {1003, "25 ms"},
        };
        EXPECT_EQ(got, expected);
        EXPECT_TRUE(LoadRaw(MAKEINTRESOURCEA(RT_DLGINIT), IDD_ABOUTBOX).empty());
    });
}

struct MenuEntry {
    std::string text;
    UINT id; // 0 for a popup
    bool popup;

    bool operator==(const MenuEntry&) const = default;
    friend void PrintTo(const MenuEntry& entry, std::ostream* out) {
        *out << entry.text << ' '
             << (entry.popup ? std::string("(popup)") : std::to_string(entry.id));
    }
};

std::vector<MenuEntry> Entries(HMENU menu) {
    std::vector<MenuEntry> entries;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[64] = {};
        MENUITEMINFOA item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = sizeof(text);
        EXPECT_TRUE(GetMenuItemInfoA(menu, i, TRUE, &item));
        EXPECT_EQ(item.fType & MFT_SEPARATOR, 0u) << "no separators";
        entries.push_back(
            {text, item.hSubMenu != nullptr ? 0 : item.wID, item.hSubMenu != nullptr});
    }
    return entries;
}

TEST(Resources, TrayMenuIsOnePopupWithRestoreCpuAndExit) {
    ForEachModule([&](const ModuleCase&) {
        HMENU menu = LoadMenuA(g_module, MAKEINTRESOURCEA(IDR_TRAY_MENU));
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(Entries(menu), (std::vector<MenuEntry>{{"POPUP", 0, true}}));
        HMENU popup = GetSubMenu(menu, 0);
        EXPECT_EQ(Entries(popup),
                  (std::vector<MenuEntry>{{"&Restore", panel::kRestoreCommand, false},
                                          {"CPU", 0, true},
                                          {"E&xit", panel::kExitCommand, false}}));
        EXPECT_EQ(Entries(GetSubMenu(popup, 1)),
                  (std::vector<MenuEntry>{{"High", panel::kCpuHigh, false},
                                          {"Medium", panel::kCpuMedium, false},
                                          {"Low", panel::kCpuLow, false}}));
        // The menu's position 0 is what a double click on the tray icon sends.
        EXPECT_EQ(GetMenuItemID(popup, 0), panel::kRestoreCommand);
        DestroyMenu(menu);
    });
}

TEST(Resources, AboutStringIsTheSystemMenuEntry) {
    ForEachModule([&](const ModuleCase&) {
        char text[64] = {};
        EXPECT_EQ(LoadStringA(g_module, IDS_ABOUTBOX, text, sizeof(text)), 26);
        EXPECT_STREQ(text, "&About Quillmar KESTREL...");
    });
}

TEST(Resources, IconGroupHoldsNineImagesAtThreeSizesAndThreeDepths) {
    ForEachModule([&](const ModuleCase&) {
        std::vector<BYTE> raw = LoadRaw(RT_GROUP_ICON, IDR_MAINFRAME);
        ASSERT_GE(raw.size(), 6u);
        Reader r(raw);
        EXPECT_EQ(r.Read<WORD>(), 0);
        EXPECT_EQ(r.Read<WORD>(), 1) << "an icon group";
        WORD count = r.Read<WORD>();
        ASSERT_EQ(count, 9);
        std::vector<std::pair<int, int>> images;
        for (WORD i = 0; i < count; ++i) {
            BYTE width = r.Read<BYTE>();
            BYTE height = r.Read<BYTE>();
            r.Skip(4); // colour count, reserved, planes
            WORD bits = r.Read<WORD>();
            DWORD bytes = r.Read<DWORD>();
            WORD id = r.Read<WORD>();
            SCOPED_TRACE("image " + std::to_string(i));
            EXPECT_EQ(width, height);
            images.emplace_back(width, bits);
            // Each image loads as an icon of its own size.
            std::vector<BYTE> image = LoadRaw(RT_ICON, id);
            ASSERT_EQ(image.size(), bytes);
            BITMAPINFOHEADER header;
            std::memcpy(&header, image.data(), sizeof(header));
            EXPECT_EQ(header.biWidth, width);
            EXPECT_EQ(header.biHeight, 2 * height) << "colour and mask";
            EXPECT_EQ(header.biBitCount, bits);
            HICON icon =
                CreateIconFromResourceEx(image.data(), bytes, TRUE, 0x00030000, width, height, 0);
            EXPECT_NE(icon, nullptr);
            DestroyIcon(icon);
        }
        const std::vector<std::pair<int, int>> expected = {
            {48, 4}, {48, 8}, {48, 24}, {32, 4}, {32, 8}, {32, 24}, {16, 4}, {16, 8}, {16, 24}};
        EXPECT_EQ(images, expected);
        HICON small = static_cast<HICON>(
            LoadImageA(g_module, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, 16, 16, 0));
        EXPECT_NE(small, nullptr);
        DestroyIcon(small);
        EXPECT_NE(LoadIconA(g_module, MAKEINTRESOURCEA(IDR_MAINFRAME)), nullptr);
    });
}

TEST(Resources, BackgroundBitmapsAre24BitAtTheirSizes) {
    ForEachModule([&](const ModuleCase&) {
        struct Row {
            UINT id;
            LONG width;
            LONG height;
        };
        const Row rows[] = {{IDB_PANEL_BACKGROUND, 300, 350}, {IDB_ABOUT_BACKGROUND, 300, 400}};
        for (const Row& row : rows) {
            SCOPED_TRACE("bitmap " + std::to_string(row.id));
            std::vector<BYTE> raw = LoadRaw(RT_BITMAP, row.id);
            ASSERT_GE(raw.size(), sizeof(BITMAPINFOHEADER));
            BITMAPINFOHEADER header;
            std::memcpy(&header, raw.data(), sizeof(header));
            EXPECT_EQ(header.biSize, sizeof(BITMAPINFOHEADER));
            EXPECT_EQ(header.biWidth, row.width);
            EXPECT_EQ(header.biHeight, row.height) << "bottom-up";
            EXPECT_EQ(header.biBitCount, 24);
            EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
            const size_t stride = (row.width * 3 + 3) & ~3;
            EXPECT_EQ(raw.size(), sizeof(header) + stride * row.height);
            HBITMAP bitmap = LoadBitmapA(g_module, MAKEINTRESOURCEA(row.id));
            ASSERT_NE(bitmap, nullptr);
            BITMAP info = {};
            GetObjectA(bitmap, sizeof(info), &info);
            EXPECT_EQ(info.bmWidth, row.width);
            EXPECT_EQ(info.bmHeight, row.height);
            DeleteObject(bitmap);
        }
    });
}

std::string VersionString(const std::vector<BYTE>& block, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    std::string path = std::string("\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) {
        return "<missing>";
    }
    return std::string(value);
}

TEST(Resources, VersionRecordNamesKestrel1001) {
    ForEachModule([&](const ModuleCase&) {
        const char* path = g_modulePath.c_str();
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(path, &handle);
        ASSERT_GT(size, 0u);
        std::vector<BYTE> block(size);
        ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
        EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
        EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
        EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
        EXPECT_EQ(VersionString(block, "FileDescription"), "KESTREL");
        EXPECT_EQ(VersionString(block, "ProductName"), "KESTREL");
        EXPECT_EQ(VersionString(block, "InternalName"), "Quillmar KESTREL.exe");
        EXPECT_EQ(VersionString(block, "OriginalFilename"), "Quillmar KESTREL.exe");
        EXPECT_EQ(VersionString(block, "FileVersion"), "1.0.0.1");
        EXPECT_EQ(VersionString(block, "ProductVersion"), "1.0.0.1");
    });
}

TEST(Resources, ManifestAsksForCommonControlsSixAndTheyAreLoaded) {
    ForEachModule([&](const ModuleCase& module) {
        std::vector<BYTE> raw = LoadRaw(RT_MANIFEST, 1);
        ASSERT_FALSE(raw.empty());
        std::string manifest(raw.begin(), raw.end());
        EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
                  std::string::npos)
            << manifest;
#if defined(_WIN64)
        const char* arch = "processorArchitecture=\"amd64\"";
#else
        const char* arch = "processorArchitecture=\"x86\"";
#endif
        EXPECT_NE(manifest.find(arch), std::string::npos) << manifest;
        // Without it Windows would virtualise the program's writes to machine-wide places.
        EXPECT_NE(
            manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
            std::string::npos)
            << manifest;
        if (module.productExecutable) {
            return; // only this process shows which comctl32 the manifest brought in
        }
        // Wine reports comctl32 5.81 even for the side-by-side version 6; its path tells them
        // apart.
        HMODULE comctl = LoadLibraryA("comctl32.dll");
        ASSERT_NE(comctl, nullptr);
        char path[MAX_PATH] = {};
        GetModuleFileNameA(comctl, path, MAX_PATH);
        std::string loaded = path;
        CharLowerA(loaded.data());
        EXPECT_NE(loaded.find("common-controls"), std::string::npos) << loaded;
        EXPECT_NE(loaded.find("6.0."), std::string::npos) << loaded;
    });
}

} // namespace
