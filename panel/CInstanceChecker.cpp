#include "CInstanceChecker.h"

#include "CWinApp.h"
#include "CWnd.h"
#include "PublishedMappingHandle.h"
#include "UniqueHandle.h"

#include <cstdint>

IMPLEMENT_RUNTIME_CLASS(CInstanceChecker, CObject)

namespace {

const char kInstanceName[] = "KESTREL App";
const char kBlockPrefix[] = "CInstanceChecker_MMF_";

// The block holds a window handle as 32 bits in the machine's byte order. Window handles are
// 32-bit values on 64-bit Windows too, sign-extended when widened.
using BlockValue = std::uint32_t;

struct ViewUnmapper {
    void operator()(void* view) const { UnmapViewOfFile(view); }
};
using UniqueView = std::unique_ptr<void, ViewUnmapper>;

UniqueView MapBlock(HANDLE block) {
    return UniqueView(
        MapViewOfFile(block, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(BlockValue)));
}

} // namespace

CInstanceChecker::CInstanceChecker()
    : dataMutex(false, nullptr), startupMutex(false, kInstanceName), startupLock(),
      instanceName(kInstanceName) {}

CInstanceChecker::~CInstanceChecker() {
    UnlockStartup();
}

void CInstanceChecker::LockStartup() {
    startupLock = std::make_unique<CSingleLock>(startupMutex);
}

bool CInstanceChecker::IsAnotherInstanceRunning() const {
    UniqueHandle block(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, SharedBlockName().c_str()));
    return block.IsValid();
}

bool CInstanceChecker::PublishMainWindow() {
    if (IsAnotherInstanceRunning()) {
        return false;
    }
    // Only the holder of the start-up lock gets here, so an existing block has been ruled out.
    g_publishedMappingHandle.Reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                                      0, sizeof(BlockValue),
                                                      SharedBlockName().c_str()));
    if (g_publishedMappingHandle.Get() == nullptr) {
        return false;
    }
    UniqueView view = MapBlock(g_publishedMappingHandle.Get());
    if (view == nullptr) {
        g_publishedMappingHandle.Reset();
        UnlockStartup();
        return false;
    }
    CSingleLock dataLock(dataMutex);
    *static_cast<BlockValue*>(view.get()) = HandleToULong(WindowToPublish());
    view.reset();
    // A copy waiting to start may go on now; it will find the block.
    UnlockStartup();
    return true;
}

HWND CInstanceChecker::ActivateRunningInstance() {
    UniqueHandle block(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, SharedBlockName().c_str()));
    if (!block.IsValid()) {
        return nullptr;
    }
    UniqueView view = MapBlock(block.Get());
    if (view == nullptr) {
        block.Reset();
        UnlockStartup();
        return nullptr;
    }
    CSingleLock dataLock(dataMutex);
    BlockValue value = *static_cast<const BlockValue*>(view.get());
    HWND window = static_cast<HWND>(LongToHandle(static_cast<LONG>(value)));
    // The running copy keeps its block until its process ends, after its panel is gone; a copy
    // starting in that gap reads a handle that names no window. It activates nothing then, and
    // ends like any copy that found another one.
    if (window != nullptr && !IsWindow(window)) {
        window = nullptr;
    }
    if (window != nullptr) {
        // Taken before the restore, which activates the window and so would make it its own
        // last active popup: an open About box is the window to raise.
        HWND popup = GetLastActivePopup(window);
        ShowWindow(window, SW_RESTORE);
        SetForegroundWindow(popup);
    }
    view.reset();
    block.Reset();
    UnlockStartup();
    return window;
}

void CInstanceChecker::UnlockStartup() {
    startupLock.reset();
}

std::string CInstanceChecker::SharedBlockName() const {
    return kBlockPrefix + instanceName;
}

HWND CInstanceChecker::WindowToPublish() const {
    const CWinApp* app = AfxGetApp();
    if (app == nullptr || app->m_pMainWnd == nullptr) {
        return nullptr;
    }
    return app->m_pMainWnd->GetSafeHwnd();
}
