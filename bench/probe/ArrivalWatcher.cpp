#include "ArrivalWatcher.h"

#include "SimulatorClient.h"

#include <dbt.h>

namespace {

const char kClassName[] = "KestrelArrivalWatcher";

} // namespace

long long Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double Milliseconds(long long from, long long to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to - from) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

ArrivalWatcher::ArrivalWatcher(ArrivalStamps& stamps)
    : stamps_(stamps), started_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
    if (thread_ != nullptr) {
        WaitForSingleObject(started_, test::kWaitMs);
    }
}

ArrivalWatcher::~ArrivalWatcher() {
    if (thread_ != nullptr) {
        if (HWND window = window_) {
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
        WaitForSingleObject(thread_, test::kWaitMs);
        CloseHandle(thread_);
    }
    CloseHandle(started_);
}

DWORD WINAPI ArrivalWatcher::ThreadMain(void* self) {
    static_cast<ArrivalWatcher*>(self)->Run();
    return 0;
}

void ArrivalWatcher::Run() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, kClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), this);
    HDEVNOTIFY registration = nullptr;
    if (window != nullptr) {
        DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
        filter.dbcc_size = sizeof(filter);
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = sim::kUnitInterface;
        registration = RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    window_ = window;
    InterlockedExchange(&stamps_.ready, registration != nullptr ? 1 : 0);
    SetEvent(started_);
    MSG message;
    while (window != nullptr && GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    if (registration != nullptr) {
        UnregisterDeviceNotification(registration);
    }
}

LRESULT CALLBACK ArrivalWatcher::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ArrivalWatcher*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_DEVICECHANGE:
        if (self != nullptr) {
            self->OnDeviceChange(wParam, lParam);
        }
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

void ArrivalWatcher::OnDeviceChange(WPARAM event, LPARAM data) {
    const long long now = Now();
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return;
    }
    if (event == DBT_DEVICEARRIVAL) {
        InterlockedExchange64(&stamps_.lastArrival, now);
        InterlockedIncrement(&stamps_.arrivals);
    } else if (event == DBT_DEVICEREMOVECOMPLETE) {
        InterlockedExchange64(&stamps_.lastRemoval, now);
        InterlockedIncrement(&stamps_.removals);
    }
}

SharedArrivalStamps::~SharedArrivalStamps() {
    if (stamps_ != nullptr) {
        UnmapViewOfFile(stamps_);
    }
    if (mapping_ != nullptr) {
        CloseHandle(mapping_);
    }
}

bool SharedArrivalStamps::Create(const char* name) {
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  sizeof(ArrivalStamps), name);
    return Map();
}

bool SharedArrivalStamps::Open(const char* name) {
    mapping_ = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name);
    return Map();
}

bool SharedArrivalStamps::Map() {
    if (mapping_ == nullptr) {
        return false;
    }
    stamps_ = static_cast<ArrivalStamps*>(
        MapViewOfFile(mapping_, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(ArrivalStamps)));
    return stamps_ != nullptr;
}
