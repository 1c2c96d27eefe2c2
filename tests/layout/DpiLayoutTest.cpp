// The layout at system dpi settings of 96 and 144, each in a process of its own (layout_probe),
// since a process takes the setting when it starts. The dialogs must come out the same at both:
// the client areas and every child rectangle, equal to the arithmetic on the measured base
// units. Also saves pictures of the panel and the About box into the build tree.
#include "LayoutTestSupport.h"
#include "resource.h"
#include "StartProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kDesktopKey[] = "Control Panel\\Desktop";

// Sets HKCU\Control Panel\Desktop LogPixels for the processes started while it lives, and puts
// back 96 when it goes, whatever the test did in between.
class LogPixelsSetting {
public:
    explicit LogPixelsSetting(DWORD dpi) { EXPECT_EQ(Write(dpi), ERROR_SUCCESS); }
    ~LogPixelsSetting() { Write(96); }
    LogPixelsSetting(const LogPixelsSetting&) = delete;
    LogPixelsSetting& operator=(const LogPixelsSetting&) = delete;

private:
    static LONG Write(DWORD dpi) {
        HKEY key = nullptr;
        LONG error = RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_WRITE,
                                     nullptr, &key, nullptr);
        if (error == ERROR_SUCCESS) {
            error = RegSetValueExA(key, "LogPixels", 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
            RegCloseKey(key);
        }
        return error;
    }
};

// Makes Wine draw window frames and captions itself for the processes started while it lives:
// without a window manager (as under Xvfb) nobody else draws them. Puts the previous setting
// back when it goes.
class WineDrawsFrames {
public:
    WineDrawsFrames() : m_hadValue(false), m_previous{} {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kX11DriverKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                            nullptr, &m_key, nullptr) != ERROR_SUCCESS) {
            m_key = nullptr;
            ADD_FAILURE() << "cannot open " << kX11DriverKey;
            return;
        }
        DWORD size = sizeof(m_previous) - 1;
        m_hadValue = RegQueryValueExA(m_key, "Managed", nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(m_previous), &size) == ERROR_SUCCESS;
        EXPECT_EQ(
            RegSetValueExA(m_key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2),
            ERROR_SUCCESS);
    }
    ~WineDrawsFrames() {
        if (m_key == nullptr) {
            return;
        }
        if (m_hadValue) {
            RegSetValueExA(m_key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(m_previous),
                           static_cast<DWORD>(std::strlen(m_previous) + 1));
        } else {
            RegDeleteValueA(m_key, "Managed");
        }
        RegCloseKey(m_key);
    }
    WineDrawsFrames(const WineDrawsFrames&) = delete;
    WineDrawsFrames& operator=(const WineDrawsFrames&) = delete;

private:
    static constexpr const char* kX11DriverKey = "Software\\Wine\\X11 Driver";
    HKEY m_key = nullptr;
    bool m_hadValue;
    char m_previous[16];
};

std::string ProbePath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string probe = path;
    probe.erase(probe.find_last_of('\\') + 1);
    return probe + "layout_probe.exe";
}

// Runs the probe to its end; its exit code, or -1 if it could not start.
int RunProbe(const std::string& mode, UINT templateId, const std::string& file) {
    // Built by appending: GCC 12 warns falsely on "\"" + std::string.
    std::string command = "\"";
    command += ProbePath();
    command += "\" ";
    command += mode;
    command += " ";
    command += std::to_string(templateId);
    command += " \"";
    command += file;
    command += "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (!StartProcess(nullptr, line.data(), FALSE, 0, &startup, &process)) {
        ADD_FAILURE() << "cannot start " << command << ": error " << GetLastError();
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

struct Rect {
    long left, top, right, bottom, open;
};

struct ProbeReport {
    int dpi = 0;
    long unitsX = 0, unitsY = 0;
    long fontHeight = 0;
    std::map<std::string, std::pair<long, long>> client; // by state
    std::map<std::string, std::map<int, Rect>> children; // by state, then control id
};

ProbeReport ReadReport(const std::string& file) {
    ProbeReport report;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string first, second;
        fields >> first;
        if (first == "dpi") {
            fields >> report.dpi;
        } else if (first == "units") {
            fields >> report.unitsX >> report.unitsY;
        } else if (first == "font") {
            fields >> report.fontHeight;
        } else if (fields >> second; second == "client") {
            fields >> report.client[first].first >> report.client[first].second;
        } else if (second == "child") {
            int id = 0;
            Rect rect = {};
            fields >> id >> rect.left >> rect.top >> rect.right >> rect.bottom >> rect.open;
            report.children[first][id] = rect;
        }
    }
    return report;
}

ProbeReport ProbeAt(DWORD dpi, UINT templateId) {
    char directory[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, directory);
    std::string file = std::string(directory) + "kestrel-layout-" + std::to_string(dpi) + "-" +
                       std::to_string(templateId) + ".txt";
    DeleteFileA(file.c_str());
    {
        LogPixelsSetting setting(dpi);
        EXPECT_EQ(RunProbe("report", templateId, file), 0) << "at " << dpi << " dpi";
    }
    ProbeReport report = ReadReport(file);
    DeleteFileA(file.c_str());
    return report;
}

struct TemplateItem {
    int id;
    int x, y, cx, cy;
    bool list;
};

struct DialogCase {
    const char* name;
    UINT id;
    int cx, cy;
    long clientX, clientY; // the figures with Wine's fonts (6x13 base units)
    std::vector<TemplateItem> items;
};

const DialogCase kCases[] = {
    {"panel",
     IDD_KESTREL_DIALOG,
     198,
     217,
     297,
     353,
     {{-1, 0, 0, 198, 217, false},
      {1007, 10, 194, 50, 14, false},
      {1000, 94, 37, 68, 52, true},
      {1001, 94, 84, 68, 46, true},
      {1003, 94, 134, 68, 116, true}}},
    {"about",
     IDD_ABOUTBOX,
     201,
     239,
     302,
     388,
     {{IDOK, 13, 211, 43, 15, false}, {-1, 0, 0, 201, 239, false}}},
};

TEST(DpiLayout, DialogsComeOutTheSameAt96And144Dpi) {
    for (const DialogCase& dialog : kCases) {
        SCOPED_TRACE(dialog.name);
        ProbeReport at96 = ProbeAt(96, dialog.id);
        ProbeReport at144 = ProbeAt(144, dialog.id);
        ASSERT_EQ(at96.dpi, 96);
        ASSERT_EQ(at144.dpi, 144) << "the probe did not see the 144-dpi setting";
        EXPECT_EQ(at96.fontHeight, -11);
        EXPECT_EQ(at144.fontHeight, -11);
        EXPECT_EQ(at96.unitsX, 6);
        EXPECT_EQ(at96.unitsY, 13);
        EXPECT_EQ(at144.unitsX, at96.unitsX);
        EXPECT_EQ(at144.unitsY, at96.unitsY);
        // Without the layout the system's own dialog font at 144 dpi makes it larger.
        EXPECT_GT(at144.client["unscaled"].first, at96.client["unscaled"].first);

        for (const ProbeReport* report : {&at96, &at144}) {
            SCOPED_TRACE(std::to_string(report->dpi) + " dpi");
            for (const char* state : {"applied", "released"}) {
                SCOPED_TRACE(state);
                auto client = report->client.at(state);
                EXPECT_EQ(client.first, ScaleUnits(dialog.cx, report->unitsX, 4.0));
                EXPECT_EQ(client.second, ScaleUnits(dialog.cy, report->unitsY, 8.0));
                EXPECT_EQ(client.first, dialog.clientX);
                EXPECT_EQ(client.second, dialog.clientY);
                const auto& children = report->children.at(state);
                for (const TemplateItem& item : dialog.items) {
                    SCOPED_TRACE("control " + std::to_string(item.id));
                    ASSERT_EQ(children.count(item.id), 1u);
                    const Rect& got = children.at(item.id);
                    EXPECT_EQ(got.left, ScaleUnits(item.x, report->unitsX, 4.0));
                    EXPECT_EQ(got.top, ScaleUnits(item.y, report->unitsY, 8.0));
                    EXPECT_EQ(got.right - got.left, ScaleUnits(item.cx, report->unitsX, 4.0));
                    // A list's open height is its field's height plus the list's. Wine keeps the
                    // list's part when the font changes, so it adds up again once the dialog's
                    // own font is back: after the release.
                    if (!item.list) {
                        EXPECT_EQ(got.bottom - got.top, ScaleUnits(item.cy, report->unitsY, 8.0));
                    } else if (std::strcmp(state, "released") == 0) {
                        EXPECT_EQ(got.open, ScaleUnits(item.cy, report->unitsY, 8.0));
                    }
                }
            }
        }
        // Everything but the lists' closed height, which follows their font, is identical.
        const auto& a = at96.children.at("released");
        const auto& b = at144.children.at("released");
        for (const TemplateItem& item : dialog.items) {
            SCOPED_TRACE("control " + std::to_string(item.id));
            EXPECT_EQ(a.at(item.id).left, b.at(item.id).left);
            EXPECT_EQ(a.at(item.id).top, b.at(item.id).top);
            EXPECT_EQ(a.at(item.id).right, b.at(item.id).right);
            if (!item.list) {
                EXPECT_EQ(a.at(item.id).bottom, b.at(item.id).bottom);
            }
            std::printf(
                "%s %d at 96/144 dpi: %ld,%ld %ldx%ld / %ld,%ld %ldx%ld\n", dialog.name, item.id,
                a.at(item.id).left, a.at(item.id).top, a.at(item.id).right - a.at(item.id).left,
                a.at(item.id).bottom - a.at(item.id).top, b.at(item.id).left, b.at(item.id).top,
                b.at(item.id).right - b.at(item.id).left, b.at(item.id).bottom - b.at(item.id).top);
        }
        std::printf("%s client at 96/144 dpi: %ldx%ld / %ldx%ld (unscaled %ldx%ld / %ldx%ld)\n",
                    dialog.name, at96.client["released"].first, at96.client["released"].second,
                    at144.client["released"].first, at144.client["released"].second,
                    at96.client["unscaled"].first, at96.client["unscaled"].second,
                    at144.client["unscaled"].first, at144.client["unscaled"].second);
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
            ASSERT_EQ(RunProbe("screenshot", row.id, file), 0);
        }
        std::pair<long, long> size = BitmapSize(file);
        // The client area and its frame and caption.
        EXPECT_GT(size.first, row.id == IDD_ABOUTBOX ? 302 : 297);
        EXPECT_GT(size.second, row.id == IDD_ABOUTBOX ? 388 : 353);
        std::printf("saved %s (%ldx%ld)\n", file.c_str(), size.first, size.second);
    }
}

} // namespace
