// A windowed program linked as "Quillmar KESTREL.exe" is, with its C++ runtime
// (LeanRuntime.cpp), whose window procedure meets an error that nothing catches: a failed
// allocation inside a handler that cannot pass errors on. The program must end at once, with
// the runtime's exit code and without showing anything.
#include <windows.h>

#include <new>

namespace {

const UINT kHandleWithoutMemory = WM_APP + 1;

[[noreturn]] void AllocationFails() {
    throw std::bad_alloc();
}

// Nothing in a window procedure may pass an error on: the error ends in std::terminate.
void HandleWithoutMemory() noexcept {
    AllocationFails();
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kHandleWithoutMemory) {
        HandleWithoutMemory();
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "KestrelTerminateProbe";
    if (RegisterClassA(&windowClass) == 0) {
        return 1;
    }
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                  nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    PostMessageA(window, kHandleWithoutMemory, 0, 0);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    return 2; // the handler returned: the error did not end the program
}
