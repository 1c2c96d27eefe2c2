// The layout at system dpi settings of 96 and 144, each in a process of its own (layout_probe),
// since a process takes the setting when it starts. The dialogs must come out the same at both:
// the client areas and every child rectangle, equal to the arithmetic on the measured base
// units. Also saves pictures of the panel and the About box into the build tree.
#include "ChildProcess.h"
#include "LayoutTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Sets a value below HKEY_CURRENT_USER for the programs started while it lives, and puts back
// what was there (or nothing) when it goes, whatever the test did in between.
class UserValue {
public:
    UserValue(const char* key, const char* name, DWORD type, const void* data, DWORD size)
        : key_(key), name_(name) {
        had_ = RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type_,
                            previous_, &size_) == ERROR_SUCCESS;
        EXPECT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key, name, type, data, size), ERROR_SUCCESS)
            << key << "\\" << name;
    }
    ~UserValue() {
        if (had_) {
            RegSetKeyValueA(HKEY_CURRENT_USER, key_, name_, type_, previous_, size_);
        } else {
            RegDeleteKeyValueA(HKEY_CURRENT_USER, key_, name_);
        }
    }
    UserValue(const UserValue&) = delete;
    UserValue& operator=(const UserValue&) = delete;

private:
    const char* key_;
    const char* name_;
    bool had_ = false;
    DWORD type_ = 0;
    BYTE previous_[64] = {};
    DWORD size_ = sizeof(previous_);
};

// The system dpi setting of the programs started while it lives.
struct LogPixelsSetting : UserValue {
    explicit LogPixelsSetting(const DWORD& dpi)
        : UserValue("Control Panel\\Desktop", "LogPixels", REG_DWORD, &dpi, sizeof(dpi)) {}
};

// Makes Wine draw window frames and captions itself for the programs started while it lives:
// without a window manager (as under Xvfb) nobody else draws them.
struct WineDrawsFrames : UserValue {
    WineDrawsFrames() : UserValue("Software\\Wine\\X11 Driver", "Managed", REG_SZ, "N", 2) {}
};

struct ProbeReport {
    int dpi = 0;
    SIZE units = {};
    long fontHeight = 0;
    std::map<std::string, DialogFacts> states; // "unscaled", "applied", "released"
};

ProbeReport ReadReport(const std::string& text) {
    ProbeReport report;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string first, second;
        fields >> first;
        if (first == "dpi") {
            fields >> report.dpi;
        } else if (first == "units") {
            fields >> report.units.cx >> report.units.cy;
        } else if (first == "font") {
            fields >> report.fontHeight;
        } else if (fields >> second; second == "client") {
            fields >> report.states[first].client.cx >> report.states[first].client.cy;
        } else if (second == "child") {
            ChildFacts child = {};
            fields >> child.id >> child.rect.left >> child.rect.top >> child.rect.right >>
                child.rect.bottom >> child.openHeight;
            report.states[first].children.push_back(child);
        }
    }
    return report;
}

// What layout_probe measures at `dpi`.
ProbeReport ProbeAt(DWORD dpi, UINT templateId) {
    LogPixelsSetting setting(dpi);
    const test::ProgramOutput probe = test::RunCaptured(test::ProgramBeside("layout_probe.exe"),
                                                        "report " + std::to_string(templateId));
    EXPECT_EQ(probe.exitCode, 0u) << "at " << dpi << " dpi: " << probe.errors;
    return ReadReport(probe.output);
}

TEST(DpiLayout, DialogsComeOutTheSameAt96And144Dpi) {
    for (const ProgramDialog& dialog : kProgramDialogs) {
        SCOPED_TRACE(dialog.name);
        ProbeReport at96 = ProbeAt(96, dialog.id);
        ProbeReport at144 = ProbeAt(144, dialog.id);
        ASSERT_EQ(at96.dpi, 96);
        ASSERT_EQ(at144.dpi, 144) << "the probe did not see the 144-dpi setting";
        EXPECT_EQ(at96.fontHeight, -11);
        EXPECT_EQ(at144.fontHeight, -11);
        EXPECT_EQ(at96.units.cx, 6);
        EXPECT_EQ(at96.units.cy, 13);
        EXPECT_EQ(at144.units.cx, at96.units.cx);
        EXPECT_EQ(at144.units.cy, at96.units.cy);
        // Without the layout the system's own dialog font at 144 dpi makes it larger.
        EXPECT_GT(at144.states["unscaled"].client.cx, at96.states["unscaled"].client.cx);

        for (const ProbeReport* report : {&at96, &at144}) {
            SCOPED_TRACE(std::to_string(report->dpi) + " dpi");
            for (const char* state : {"applied", "released"}) {
                SCOPED_TRACE(state);
                const DialogFacts& facts = report->states.at(state);
                EXPECT_EQ(facts.client.cx, dialog.clientX);
                EXPECT_EQ(facts.client.cy, dialog.clientY);
                // A list's open height is its field's height plus the list's. Wine keeps the
                // list's part when the font changes, so it adds up again once the dialog's own
                // font is back: after the release.
                ExpectLaidOut(facts, report->units, dialog.cx, dialog.cy, dialog.items,
                              std::strcmp(state, "released") == 0);
            }
        }
        // Everything but the lists' closed height, which follows their font, is identical.
        for (const TemplateItem& item : dialog.items) {
            SCOPED_TRACE("control " + std::to_string(item.id));
            const ChildFacts* a = FindChildFacts(at96.states.at("released"), item.id);
            const ChildFacts* b = FindChildFacts(at144.states.at("released"), item.id);
            ASSERT_TRUE(a && b);
            EXPECT_EQ(a->rect.left, b->rect.left);
            EXPECT_EQ(a->rect.top, b->rect.top);
            EXPECT_EQ(a->rect.right, b->rect.right);
            if (!item.list) {
                EXPECT_EQ(a->rect.bottom, b->rect.bottom);
            }
        }
    }
}

// A BMP's width and height from its header; 0, 0 if it is not one.
std::pair<long, long> BitmapSize(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    BITMAPFILEHEADER header = {};
    BITMAPINFOHEADER info = {};
    in.read(reinterpret_cast<char*>(&header), sizeof(header));
    in.read(reinterpret_cast<char*>(&info), sizeof(info));
    if (!in || header.bfType != 0x4D42) {
        return {0, 0};
    }
    return {info.biWidth, info.biHeight};
}

TEST(DpiLayout, SavesPicturesOfThePanelAndTheAboutBox) {
    const std::string directory = KESTREL_SCREENSHOT_DIR;
    CreateDirectoryA(directory.c_str(), nullptr);
    const struct {
        UINT id;
        DWORD dpi;
        const char* file;
    } rows[] = {{IDD_KESTREL_DIALOG, 96, "panel-102.bmp"},
                {IDD_ABOUTBOX, 96, "about-100.bmp"},
                {IDD_KESTREL_DIALOG, 144, "panel-102-144dpi.bmp"},
                {IDD_ABOUTBOX, 144, "about-100-144dpi.bmp"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        std::string file = directory + "/" + row.file;
        DeleteFileA(file.c_str());
        {
            LogPixelsSetting setting(row.dpi);
            WineDrawsFrames frames;
            ASSERT_EQ(test::RunToEnd(test::ProgramBeside("layout_probe.exe"),
                                     "screenshot " + std::to_string(row.id) + " \"" + file + "\""),
                      0u);
        }
        // The client area with the frame and caption of a modal dialog at that dpi.
        const ProgramDialog& dialog = kProgramDialogs[row.id == IDD_ABOUTBOX ? 1 : 0];
        RECT window = {0, 0, dialog.clientX, dialog.clientY};
        const auto adjustForDpi = reinterpret_cast<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>(
            reinterpret_cast<void*>(
                GetProcAddress(GetModuleHandleA("user32.dll"), "AdjustWindowRectExForDpi")));
        ASSERT_NE(adjustForDpi, nullptr);
        ASSERT_TRUE(adjustForDpi(&window, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE,
                                 WS_EX_DLGMODALFRAME, row.dpi));
        EXPECT_EQ(BitmapSize(file),
                  std::make_pair(window.right - window.left, window.bottom - window.top));
    }
}

} // namespace
