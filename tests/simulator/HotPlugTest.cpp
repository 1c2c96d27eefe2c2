// Plugging and unplugging units: the unit list and the present interfaces follow, and a window
// registered for the unit interface class receives arrival and removal.
#include "SimTestSupport.h"

#include <dbt.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <future>

namespace simtest {
namespace {

const GUID kUnitInterface = {
    0x995949F0, 0x6D7F, 0x4C14, {0x9F, 0x0A, 0x2F, 0x26, 0xE3, 0x25, 0x5C, 0x2B}};

std::vector<std::uint32_t> DriverUnitList() {
    FileHandle device = OpenControlDevice();
    std::uint32_t list[65] = {};
    if (!device.IsValid() ||
        !Control(device.Get(), KSIM_GET_UNIT_LIST, nullptr, 0, list, sizeof(list)).ok ||
        list[0] > 64) {
        return {0xFFFFFFFF};
    }
    return std::vector<std::uint32_t>(list + 1, list + 1 + list[0]);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// "#<id>#" as it stands in a unit's interface path (the instance id is the identifier).
std::string IdMark(std::uint32_t id) {
    std::string mark(1, '#');
    mark += std::to_string(id);
    mark += '#';
    return mark;
}

// Polls `condition` for up to five seconds: Wine enumerates a change a little after it.
template <typename Condition>
bool WaitUntil(Condition condition) {
    for (int i = 0; i < 100; ++i) {
        if (condition()) {
            return true;
        }
        Sleep(50);
    }
    return condition();
}

class HotPlug : public SimulatorTest {};

TEST_F(HotPlug, UnitListAndInterfacesFollowPlugAndUnplug) {
    ASSERT_TRUE(client_.UnplugAll());
    EXPECT_TRUE(DriverUnitList().empty());
    EXPECT_TRUE(UnitInterfacePaths().empty());

    std::vector<std::uint32_t> plugged;
    for (int count : {1, 2, 3}) {
        SCOPED_TRACE("plugging unit " + std::to_string(count));
        std::vector<std::uint32_t> ids = client_.Plug(1);
        ASSERT_EQ(ids.size(), 1u);
        plugged.push_back(ids[0]);
        EXPECT_EQ(DriverUnitList(), plugged);
        std::vector<std::string> paths = UnitInterfacePaths();
        ASSERT_EQ(paths.size(), plugged.size());
        for (std::uint32_t id : plugged) {
            EXPECT_EQ(std::count_if(paths.begin(), paths.end(),
                                    [&](const std::string& path) {
                                        return path.find(IdMark(id)) != std::string::npos;
                                    }),
                      1)
                << "interface of unit " << id;
        }
    }

    // Unplugging the middle unit keeps the others in their order.
    ASSERT_TRUE(client_.Unplug(plugged[1]));
    EXPECT_EQ(DriverUnitList(), (std::vector<std::uint32_t>{plugged[0], plugged[2]}));
    EXPECT_EQ(UnitInterfacePaths().size(), 2u);

    ASSERT_TRUE(client_.UnplugAll());
    EXPECT_TRUE(DriverUnitList().empty());
    EXPECT_TRUE(UnitInterfacePaths().empty());
}

TEST_F(HotPlug, IdentifiersAreNotPositionsAndFollowTheInterfaceOrder) {
    std::vector<std::uint32_t> first = client_.Plug(2);
    ASSERT_EQ(first.size(), 2u);
    ASSERT_TRUE(client_.Unplug(first[0]));
    std::vector<std::uint32_t> second = client_.Plug(1);
    ASSERT_EQ(second.size(), 1u);

    // Whatever the plug order, the list runs in identifier order, which is the order in which
    // the interfaces enumerate: the list's first unit is the first interface.
    std::vector<std::uint32_t> list = DriverUnitList();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    std::vector<std::string> paths;
    ASSERT_TRUE(WaitUntil([&] { return (paths = UnitInterfacePaths()).size() == 3; }));
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_NE(list[i], i) << "identifier " << i;
        EXPECT_NE(Lower(paths[i]).find(IdMark(list[i])), std::string::npos)
            << "interface " << i << ": " << paths[i];
    }
}

TEST_F(HotPlug, AUnitPluggedAgainComesBackUnderAFreeIdentifier) {
    // As a real unit comes back under its own serial number: the identifiers in use stay few
    // however often a unit comes and goes, and with them PnP's record of the devices it has seen.
    std::vector<std::uint32_t> seen;
    for (int cycle = 0; cycle < 20; ++cycle) {
        std::vector<std::uint32_t> plugged = client_.Plug(1);
        ASSERT_EQ(plugged.size(), 1u);
        if (std::find(seen.begin(), seen.end(), plugged[0]) == seen.end()) {
            seen.push_back(plugged[0]);
        }
        ASSERT_TRUE(client_.Unplug(plugged[0]));
        ASSERT_TRUE(WaitUntil([] { return UnitInterfacePaths().size() == 1; }));
    }
    EXPECT_LE(seen.size(), 3u) << seen.size() << " identifiers in 20 cycles";
}

// The unit list holds 64 identifiers, so the simulator never plugs more. (Plugging all 64 takes
// Wine seconds per unit to enumerate, so the limit is met with one unit already plugged.)
TEST_F(HotPlug, PlugBeyondSixtyFourUnitsIsRefused) {
    ASSERT_EQ(client_.State().units.size(), 1u);
    struct Row {
        std::uint32_t count;
        bool accepted;
    };
    const Row rows[] = {{64, false}, {65, false}, {0xFFFFFFFF, false}, {0, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE("plug " + std::to_string(row.count));
        std::uint32_t count = row.count;
        KsimIdList ids = {};
        ids.count = 0xdeadbeef;
        DWORD bytes = 0;
        SetLastError(0xdeadbeef);
        HANDLE sim =
            CreateFileA(KSIM_SIM_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        FileHandle device(sim);
        ASSERT_TRUE(device.IsValid());
        BOOL ok = DeviceIoControl(device.Get(), KSIM_IOCTL_PLUG, &count, 4, &ids, sizeof(ids),
                                  &bytes, nullptr);
        EXPECT_EQ(ok != FALSE, row.accepted) << "error " << GetLastError();
        if (row.accepted) {
            EXPECT_EQ(ids.count, 0u);
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES));
        }
        EXPECT_EQ(client_.State().units.size(), 1u);
    }
}

// A hidden top-level window registered for the unit interface class, recording what
// WM_DEVICECHANGE brings.
class NotificationWindow {
public:
    struct Event {
        WPARAM type;
        GUID classGuid;
        std::string name; // lower case, whichever character width the system used
    };

    NotificationWindow() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        RegisterClassA(&windowClass);
        window_ =
            CreateWindowExA(0, kClassName, "KESTREL notification test", WS_OVERLAPPEDWINDOW, 0, 0,
                            100, 100, nullptr, nullptr, GetModuleHandleA(nullptr), this);
        if (!window_) {
            return;
        }
        DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
        filter.dbcc_size = sizeof(filter);
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kUnitInterface;
        notify_ = RegisterDeviceNotificationA(window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    ~NotificationWindow() {
        if (notify_) {
            UnregisterDeviceNotification(notify_);
        }
        if (window_) {
            DestroyWindow(window_);
        }
        UnregisterClassA(kClassName, GetModuleHandleA(nullptr));
    }
    NotificationWindow(const NotificationWindow&) = delete;
    NotificationWindow& operator=(const NotificationWindow&) = delete;

    bool IsReady() const { return window_ && notify_; }

    // Wine starts a window's device notifications on a thread of its own, a moment after
    // RegisterDeviceNotification has returned: a change made before then is never notified
    // (on a busy machine that moment is long). Plugs and unplugs a unit until the window hears
    // of it; the events are then cleared. Notifications come in order, so once the removal has
    // come, nothing of the attempts is still on its way.
    bool Listen(sim::SimulatorClient& client) {
        for (int attempt = 0; attempt < 10; ++attempt) {
            std::vector<std::uint32_t> ids = WhileTakingMessages([&] { return client.Plug(1); });
            if (ids.size() != 1) {
                return false;
            }
            const bool heard = WaitFor(DBT_DEVICEARRIVAL, IdMark(ids[0]), 2000);
            if (!WhileTakingMessages([&] { return client.Unplug(ids[0]); })) {
                return false;
            }
            if (heard && WaitFor(DBT_DEVICEREMOVECOMPLETE, IdMark(ids[0]))) {
                events_.clear();
                return true;
            }
        }
        return false;
    }
    const std::vector<Event>& Events() const { return events_; }

    // Pumps messages until an event of `type` naming `mark` arrives, or `timeoutMs` passes.
    bool WaitFor(WPARAM type, const std::string& mark, DWORD timeoutMs = 5000) {
        return PumpUntil([&] { return Find(type, mark) != nullptr; }, timeoutMs);
    }

    // Runs `change` (a plug or an unplug, which waits until the interfaces follow it) on
    // another thread while this one takes the window's messages, and returns its result. Wine
    // sends WM_DEVICECHANGE with a two-second time-out: a window whose thread waits for the
    // interfaces without taking its messages loses the notification whenever the change takes
    // longer than that, as on a busy machine.
    template <typename Change>
    auto WhileTakingMessages(Change change) -> decltype(change()) {
        auto result = std::async(std::launch::async, change);
        PumpUntil(
            [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            60000);
        return result.get();
    }

    template <typename Condition>
    bool PumpUntil(Condition done, DWORD timeoutMs) {
        ULONGLONG deadline = GetTickCount64() + timeoutMs;
        for (;;) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            if (done()) {
                return true;
            }
            ULONGLONG now = GetTickCount64();
            if (now >= deadline) {
                return false;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(50, deadline - now),
                                      QS_ALLINPUT);
        }
    }

    const Event* Find(WPARAM type, const std::string& mark) const {
        for (const Event& event : events_) {
            if (event.type == type && event.name.find(mark) != std::string::npos) {
                return &event;
            }
        }
        return nullptr;
    }

private:
    static constexpr const char* kClassName = "KestrelSimNotificationTest";

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self =
            reinterpret_cast<NotificationWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message == WM_DEVICECHANGE && self && lParam) {
            self->Record(wParam, reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam));
            return TRUE;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    // Wine 8 delivers dbcc_name in UTF-16 even to ANSI windows; Windows delivers ANSI. Both
    // are read within dbch_size.
    void Record(WPARAM type, const DEV_BROADCAST_HDR* header) {
        if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
            return;
        }
        auto* data = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(header);
        Event event{type, data->dbcc_classguid, {}};
        std::size_t offset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
        std::size_t size = header->dbch_size > offset ? header->dbch_size - offset : 0;
        const char* bytes = data->dbcc_name;
        bool wide = size >= 2 && bytes[1] == 0;
        for (std::size_t i = 0; i < size; i += wide ? 2 : 1) {
            if (bytes[i] == 0) {
                break;
            }
            event.name += static_cast<char>(std::tolower(static_cast<unsigned char>(bytes[i])));
        }
        events_.push_back(event);
    }

    HWND window_ = nullptr;
    HDEVNOTIFY notify_ = nullptr;
    std::vector<Event> events_;
};

TEST_F(HotPlug, RegisteredWindowReceivesArrivalAndRemoval) {
    NotificationWindow window;
    ASSERT_TRUE(window.IsReady()) << "error " << GetLastError();
    ASSERT_TRUE(window.Listen(client_));

    std::vector<std::uint32_t> ids = window.WhileTakingMessages([&] { return client_.Plug(1); });
    ASSERT_EQ(ids.size(), 1u);
    std::string mark = Lower(IdMark(ids[0]));
    ASSERT_TRUE(window.WaitFor(DBT_DEVICEARRIVAL, mark)) << "no arrival for unit " << ids[0];
    const NotificationWindow::Event* arrival = window.Find(DBT_DEVICEARRIVAL, mark);
    EXPECT_TRUE(IsEqualGUID(arrival->classGuid, kUnitInterface));
    EXPECT_NE(arrival->name.find("{995949f0-6d7f-4c14-9f0a-2f26e3255c2b}"), std::string::npos)
        << arrival->name;
    EXPECT_EQ(window.Find(DBT_DEVICEREMOVECOMPLETE, mark), nullptr);

    ASSERT_TRUE(window.WhileTakingMessages([&] { return client_.Unplug(ids[0]); }));
    ASSERT_TRUE(window.WaitFor(DBT_DEVICEREMOVECOMPLETE, mark)) << "no removal for " << ids[0];
    EXPECT_TRUE(
        IsEqualGUID(window.Find(DBT_DEVICEREMOVECOMPLETE, mark)->classGuid, kUnitInterface));
}

TEST_F(HotPlug, TwoUnitsPluggedTogetherArriveSeparately) {
    NotificationWindow window;
    ASSERT_TRUE(window.IsReady()) << "error " << GetLastError();
    ASSERT_TRUE(window.Listen(client_));

    std::vector<std::uint32_t> ids = window.WhileTakingMessages([&] { return client_.Plug(2); });
    ASSERT_EQ(ids.size(), 2u);
    for (std::uint32_t id : ids) {
        EXPECT_TRUE(window.WaitFor(DBT_DEVICEARRIVAL, IdMark(id))) << "unit " << id;
    }
    ASSERT_TRUE(window.WhileTakingMessages([&] { return client_.UnplugAll(); }));
    for (std::uint32_t id : ids) {
        EXPECT_TRUE(window.WaitFor(DBT_DEVICEREMOVECOMPLETE, IdMark(id))) << "unit " << id;
    }
}

TEST_F(HotPlug, ResetWithOneUnitPluggedSendsNoNotification) {
    NotificationWindow window;
    ASSERT_TRUE(window.IsReady()) << "error " << GetLastError();
    ASSERT_TRUE(window.Listen(client_));
    ASSERT_TRUE(client_.SetRate(96000));
    ASSERT_TRUE(window.WhileTakingMessages([&] { return client_.Reset(); }));
    // A plug afterwards gives a known event to wait for; nothing may come before it.
    std::vector<std::uint32_t> ids = window.WhileTakingMessages([&] { return client_.Plug(1); });
    ASSERT_EQ(ids.size(), 1u);
    ASSERT_TRUE(window.WaitFor(DBT_DEVICEARRIVAL, IdMark(ids[0])));
    ASSERT_EQ(window.Events().size(), 1u) << "first event: " << window.Events()[0].name;
}

} // namespace
} // namespace simtest
