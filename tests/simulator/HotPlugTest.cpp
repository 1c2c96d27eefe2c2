// Plugging and unplugging units: the unit list and the present interfaces follow, and a window
// registered for the unit interface class receives arrival and removal.
#include "SimTestSupport.h"

#include <dbt.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <future>

namespace simtest {
namespace {

// The identifiers of the driver's unit list; {0xFFFFFFFF} when it cannot be read.
std::vector<std::uint32_t> DriverUnitList() {
    const std::vector<std::uint32_t> words = UnitListWords(OpenControlDevice().get());
    if (words.empty() || words[0] > 64) {
        return {0xFFFFFFFF};
    }
    return std::vector<std::uint32_t>(words.begin() + 1, words.begin() + 1 + words[0]);
}

// "#<id>#" as it stands in a unit's interface path (the instance id is the identifier).
std::string IdMark(std::uint32_t id) {
    return std::string("#").append(std::to_string(id)).append("#");
}

// The unit interface's class as it stands in a device path, in lower case.
std::string ClassText() {
    const GUID& g = sim::kUnitInterface;
    char text[40];
    std::snprintf(text, sizeof(text), "{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

using HotPlug = test::SimulatorTest;

TEST_F(HotPlug, UnitListAndInterfacesFollowPlugAndUnplug) {
    ASSERT_TRUE(sim_.UnplugAll());
    EXPECT_TRUE(DriverUnitList().empty());
    EXPECT_TRUE(UnitInterfacePaths().empty());

    std::vector<std::uint32_t> plugged;
    for (int count : {1, 2, 3}) {
        SCOPED_TRACE("plugging unit " + std::to_string(count));
        std::vector<std::uint32_t> ids = sim_.Plug(1);
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
    ASSERT_TRUE(sim_.Unplug(plugged[1]));
    EXPECT_EQ(DriverUnitList(), (std::vector<std::uint32_t>{plugged[0], plugged[2]}));
    EXPECT_EQ(UnitInterfacePaths().size(), 2u);

    ASSERT_TRUE(sim_.UnplugAll());
    EXPECT_TRUE(DriverUnitList().empty());
    EXPECT_TRUE(UnitInterfacePaths().empty());
}

TEST_F(HotPlug, IdentifiersAreNotPositionsAndFollowTheInterfaceOrder) {
    std::vector<std::uint32_t> first = sim_.Plug(2);
    ASSERT_EQ(first.size(), 2u);
    ASSERT_TRUE(sim_.Unplug(first[0]));
    std::vector<std::uint32_t> second = sim_.Plug(1);
    ASSERT_EQ(second.size(), 1u);

    // Whatever the plug order, the list runs in identifier order, which is the order in which
    // the interfaces enumerate: the list's first unit is the first interface.
    std::vector<std::uint32_t> list = DriverUnitList();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    std::vector<std::string> paths;
    // Wine enumerates a change a little after it.
    ASSERT_TRUE(test::WaitUntil([&] { return (paths = UnitInterfacePaths()).size() == 3; }));
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_NE(list[i], i) << "identifier " << i;
        EXPECT_NE(paths[i].find(IdMark(list[i])), std::string::npos)
            << "interface " << i << ": " << paths[i];
    }
}

TEST_F(HotPlug, AUnitPluggedAgainComesBackUnderAFreeIdentifier) {
    // As a real unit comes back under its own serial number: the identifiers in use stay few
    // however often a unit comes and goes, and with them PnP's record of the devices it has seen.
    std::vector<std::uint32_t> seen;
    for (int cycle = 0; cycle < 20; ++cycle) {
        std::vector<std::uint32_t> plugged = sim_.Plug(1);
        ASSERT_EQ(plugged.size(), 1u);
        if (std::find(seen.begin(), seen.end(), plugged[0]) == seen.end()) {
            seen.push_back(plugged[0]);
        }
        ASSERT_TRUE(sim_.Unplug(plugged[0]));
        ASSERT_TRUE(test::WaitUntil([] { return UnitInterfacePaths().size() == 1; }));
    }
    EXPECT_LE(seen.size(), 3u) << seen.size() << " identifiers in 20 cycles";
}

// The unit list holds 64 identifiers, so the simulator never plugs more. (Plugging all 64 takes
// Wine seconds per unit to enumerate, so the limit is met with one unit already plugged.)
TEST_F(HotPlug, PlugBeyondSixtyFourUnitsIsRefused) {
    ASSERT_EQ(sim_.UnitIds().size(), 1u);
    const Handle device = OpenSimulatorDevice();
    ASSERT_TRUE(device);
    struct Row {
        std::uint32_t count;
        bool accepted;
    };
    const Row rows[] = {{64, false}, {65, false}, {0xFFFFFFFF, false}, {0, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE("plug " + std::to_string(row.count));
        KsimIdList ids = {};
        ids.count = 0xdeadbeef;
        IoResult result = Control(device.get(), KSIM_IOCTL_PLUG, &row.count, 4, &ids, sizeof(ids));
        EXPECT_EQ(result.ok != FALSE, row.accepted) << "error " << result.error;
        if (row.accepted) {
            EXPECT_EQ(ids.count, 0u);
        } else {
            EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES));
        }
        EXPECT_EQ(sim_.UnitIds().size(), 1u);
    }
}

// A hidden top-level window registered for the unit interface class, recording what
// WM_DEVICECHANGE brings. One at a time.
class NotificationWindow {
public:
    struct Event {
        WPARAM type;
        GUID classGuid;
        std::string name; // lower case, whichever character width the system used
    };

    NotificationWindow() {
        current_ = this;
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        RegisterClassA(&windowClass);
        window_ =
            CreateWindowExA(0, kClassName, "KESTREL notification test", WS_OVERLAPPEDWINDOW, 0, 0,
                            100, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        if (!window_) {
            return;
        }
        DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
        filter.dbcc_size = sizeof(filter);
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = sim::kUnitInterface;
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
        current_ = nullptr;
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
    bool WaitFor(WPARAM type, const std::string& mark, DWORD timeoutMs = test::kWaitMs) {
        return test::WaitUntil([&] { return Find(type, mark) != nullptr; }, timeoutMs);
    }

    // Runs `change` (a plug or an unplug, which waits until the interfaces follow it) on
    // another thread while this one takes the window's messages, and returns its result. Wine
    // sends WM_DEVICECHANGE with a two-second time-out: a window whose thread waits for the
    // interfaces without taking its messages loses the notification whenever the change takes
    // longer than that, as on a busy machine.
    template <typename Change>
    auto WhileTakingMessages(Change change) -> decltype(change()) {
        auto result = std::async(std::launch::async, change);
        test::WaitUntil(
            [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            test::kSlowMs);
        return result.get();
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

    static inline NotificationWindow* current_ = nullptr;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_DEVICECHANGE && current_ && lParam) {
            current_->Record(wParam, reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam));
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
    ASSERT_TRUE(window.Listen(sim_));

    std::vector<std::uint32_t> ids = window.WhileTakingMessages([&] { return sim_.Plug(1); });
    ASSERT_EQ(ids.size(), 1u);
    const std::string mark = IdMark(ids[0]);
    ASSERT_TRUE(window.WaitFor(DBT_DEVICEARRIVAL, mark)) << "no arrival for unit " << ids[0];
    const NotificationWindow::Event* arrival = window.Find(DBT_DEVICEARRIVAL, mark);
    EXPECT_TRUE(IsEqualGUID(arrival->classGuid, sim::kUnitInterface));
    EXPECT_NE(arrival->name.find(ClassText()), std::string::npos) << arrival->name;
    EXPECT_EQ(window.Find(DBT_DEVICEREMOVECOMPLETE, mark), nullptr);

    ASSERT_TRUE(window.WhileTakingMessages([&] { return sim_.Unplug(ids[0]); }));
    ASSERT_TRUE(window.WaitFor(DBT_DEVICEREMOVECOMPLETE, mark)) << "no removal for " << ids[0];
    EXPECT_TRUE(
        IsEqualGUID(window.Find(DBT_DEVICEREMOVECOMPLETE, mark)->classGuid, sim::kUnitInterface));
}

TEST_F(HotPlug, TwoUnitsPluggedTogetherArriveSeparately) {
    NotificationWindow window;
    ASSERT_TRUE(window.IsReady()) << "error " << GetLastError();
    ASSERT_TRUE(window.Listen(sim_));

    std::vector<std::uint32_t> ids = window.WhileTakingMessages([&] { return sim_.Plug(2); });
    ASSERT_EQ(ids.size(), 2u);
    for (std::uint32_t id : ids) {
        EXPECT_TRUE(window.WaitFor(DBT_DEVICEARRIVAL, IdMark(id))) << "unit " << id;
    }
    ASSERT_TRUE(window.WhileTakingMessages([&] { return sim_.UnplugAll(); }));
    for (std::uint32_t id : ids) {
        EXPECT_TRUE(window.WaitFor(DBT_DEVICEREMOVECOMPLETE, IdMark(id))) << "unit " << id;
    }
}

TEST_F(HotPlug, ResetWithOneUnitPluggedSendsNoNotification) {
    NotificationWindow window;
    ASSERT_TRUE(window.IsReady()) << "error " << GetLastError();
    ASSERT_TRUE(window.Listen(sim_));
    ASSERT_TRUE(sim_.SetRate(96000));
    ASSERT_TRUE(window.WhileTakingMessages([&] { return sim_.Reset(); }));
    // A plug afterwards gives a known event to wait for; nothing may come before it.
    std::vector<std::uint32_t> ids = window.WhileTakingMessages([&] { return sim_.Plug(1); });
    ASSERT_EQ(ids.size(), 1u);
    ASSERT_TRUE(window.WaitFor(DBT_DEVICEARRIVAL, IdMark(ids[0])));
    ASSERT_EQ(window.Events().size(), 1u) << "first event: " << window.Events()[0].name;
}

} // namespace
} // namespace simtest
