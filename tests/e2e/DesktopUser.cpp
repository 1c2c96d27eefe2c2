#include "DesktopUser.h"

#include "ScreenImage.h"
#include "Wait.h"

#include <fstream>

namespace e2e {

namespace {

const char kWorkDirUnix[] = KESTREL_E2E_WORK_DIR_UNIX;
const char kScreenshotDir[] = KESTREL_SCREENSHOT_DIR;
const char kScreenshotDirUnix[] = KESTREL_SCREENSHOT_DIR_UNIX;
const char kXdotool[] = KESTREL_XDOTOOL;
const char kImport[] = KESTREL_IMPORT;

// A single-quoted word for the host's shell; the tests pass no single quotes.
std::string Quoted(const std::string& word) {
    return "'" + word + "'";
}

// Reads the exit status that the host's shell left in `path` once the file is there; -1 while
// it is not.
int ReadStatus(const std::string& path) {
    int status = 0;
    if (!(std::ifstream(path) >> status)) {
        return -1;
    }
    DeleteFileA(path.c_str());
    return status;
}

// Starts a Unix program, with no handle to wait on. Not test::ChildProcess: Wine leaves stray
// values in PROCESS_INFORMATION for a Unix program, and closing them closes handles of this
// process. Wine now and then fails to create a process with ERROR_INTERNAL_ERROR before it has
// run: such a start is made again, twice at most.
bool StartUnixProgram(std::string commandLine) {
    for (int attempt = 0;; ++attempt) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION ignored = {};
        if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &ignored)) {
            return true;
        }
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 2) {
            return false;
        }
        test::PumpMessagesFor(100);
    }
}

// Runs a host program to its end; true if it exited with 0. `argv[0]` is its Unix path. A
// program still running after `timeoutMs` is ended and counts as failed.
bool RunHostProgram(const std::vector<std::string>& argv, DWORD timeoutMs = test::kWaitMs) {
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
    if (!StartUnixProgram("/bin/sh -c \"" + script + "\"")) {
        return false;
    }
    int status = -1;
    // Beyond the program's own limit: its shell still writes the status then.
    test::WaitUntil([&] { return (status = ReadStatus(windowsMarker)) >= 0; }, timeoutMs + 5000,
                    20);
    return status == 0;
}

// The X window that Wine made for a top-level window (any process's), or 0.
unsigned long XWindowOf(HWND window) {
    // Wine's X11 driver keeps the X window of each of its windows in this property.
    return static_cast<unsigned long>(
        reinterpret_cast<ULONG_PTR>(GetPropA(window, "__wine_x11_whole_window")));
}

bool Xdotool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), kXdotool);
    return RunHostProgram(arguments);
}

} // namespace

// No --sync on moves: xdotool would wait for ever for a move to where the pointer already is.
// The X server takes a move and the clicks after it in order all the same.
bool MoveMouse(POINT at) {
    return Xdotool({"mousemove", std::to_string(at.x), std::to_string(at.y)});
}

bool ClickAt(POINT at, int button) {
    return Xdotool(
        {"mousemove", std::to_string(at.x), std::to_string(at.y), "click", std::to_string(button)});
}

bool DoubleClickAt(POINT at) {
    return Xdotool({"mousemove", std::to_string(at.x), std::to_string(at.y), "click", "--repeat",
                    "2", "--delay", "80", "1"});
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

bool SaveScreenshot(const std::string& name, HWND painted) {
    if (painted != nullptr) {
        RECT rect = {};
        GetWindowRect(painted, &rect);
        CaptureSettled(rect);
    }
    CreateDirectoryA(kScreenshotDir, nullptr);
    return RunHostProgram({kImport, "-window", "root", ScreenshotPath(name)});
}

} // namespace e2e
