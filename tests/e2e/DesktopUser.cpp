#include "DesktopUser.h"

#include "Settings.h"
#include "StartProcess.h"

#include <cstdio>

namespace e2e {

namespace {

const DWORD kPollMs = 20;

// A single-quoted word for the host's shell; the tests pass no single quotes.
std::string Quoted(const std::string& word) {
    return "'" + word + "'";
}

std::string Coordinate(LONG value) {
    return std::to_string(value);
}

bool Xdotool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), kXdotool);
    return RunHostProgram(arguments);
}

// Reads the exit status that the host's shell left in `path` once the file is there; -1 while
// it is not.
int ReadStatus(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return -1;
    }
    int status = -1;
    if (std::fscanf(file, "%d", &status) != 1) {
        status = -1;
    }
    std::fclose(file);
    DeleteFileA(path.c_str());
    return status;
}

} // namespace

bool RunHostProgram(const std::vector<std::string>& argv, DWORD timeoutMs) {
    // Wine starts a Unix program without a process handle to wait on or an exit code to read:
    // the host's shell runs it and leaves its exit status in a file, renamed into place whole.
    static unsigned counter = 0;
    CreateDirectoryA(kWorkDir, nullptr);
    const std::string marker =
        "host-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    const std::string unixMarker = std::string(kWorkDirUnix) + "/" + marker;
    const std::string windowsMarker = std::string(kWorkDir) + "/" + marker;
    // timeout ends a host program that waits for ever (xdotool --sync for a window that never
    // gets the focus), so that it cannot act later, in another case.
    std::string script = "timeout " + std::to_string(timeoutMs / 1000 + 1) + " ";
    for (const std::string& arg : argv) {
        script += Quoted(arg) + " ";
    }
    script += "; echo $? >" + Quoted(unixMarker + ".part") + " && mv " +
              Quoted(unixMarker + ".part") + " " + Quoted(unixMarker);
    // Wine splits the command line by the Windows rules: the script is one argument.
    std::string line = "/bin/sh -c \"" + script + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!StartProcess(nullptr, line.data(), FALSE, 0, &startup, &process)) {
        return false;
    }
    int status = -1;
    const ULONGLONG end = GetTickCount64() + timeoutMs + 5000;
    while (status < 0 && GetTickCount64() < end) {
        Sleep(kPollMs);
        status = ReadStatus(windowsMarker);
    }
    return status == 0;
}

unsigned long XWindowOf(HWND window) {
    // Wine's X11 driver keeps the X window of each of its windows in this property.
    return static_cast<unsigned long>(
        reinterpret_cast<ULONG_PTR>(GetPropA(window, "__wine_x11_whole_window")));
}

// No --sync on moves: xdotool would wait for ever for a move to where the pointer already is.
// The X server takes a move and the clicks after it in order all the same.
bool MoveMouse(POINT at) {
    return Xdotool({"mousemove", Coordinate(at.x), Coordinate(at.y)});
}

bool ClickAt(POINT at, int button) {
    return Xdotool(
        {"mousemove", Coordinate(at.x), Coordinate(at.y), "click", std::to_string(button)});
}

bool RightClickAt(POINT at) {
    return ClickAt(at, 3);
}

bool DoubleClickAt(POINT at) {
    return Xdotool({"mousemove", Coordinate(at.x), Coordinate(at.y), "click", "--repeat", "2",
                    "--delay", "80", "1"});
}

bool ClickMenuEntry(HWND menu, int index, int count) {
    RECT rect = {};
    GetWindowRect(menu, &rect);
    const LONG height = rect.bottom - rect.top;
    return ClickAt(
        POINT{(rect.left + rect.right) / 2, rect.top + height * (2 * index + 1) / (2 * count)});
}

bool PressKeys(HWND window, const std::vector<std::string>& keys) {
    const unsigned long xWindow = XWindowOf(window);
    if (xWindow == 0) {
        return false;
    }
    std::vector<std::string> arguments = {"windowfocus", "--sync",  std::to_string(xWindow),
                                          "key",         "--delay", "60"};
    arguments.insert(arguments.end(), keys.begin(), keys.end());
    return Xdotool(arguments);
}

std::string ScreenshotPath(const std::string& name) {
    return std::string(kScreenshotDirUnix) + "/" + name + ".png";
}

bool SaveScreenshot(const std::string& name) {
    CreateDirectoryA(kScreenshotDir, nullptr);
    return RunHostProgram({kImport, "-window", "root", ScreenshotPath(name)});
}

} // namespace e2e
