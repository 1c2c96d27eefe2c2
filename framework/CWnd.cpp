#include "CWnd.h"

IMPLEMENT_RUNTIME_CLASS(CWnd, CObject)

namespace {

// The property that ties a window to its CWnd. A property, not GWLP_USERDATA, so that windows
// of any class can be taken over.
const char kObjectProperty[] = "KestrelFrameworkCWnd";

// The object whose window CreateEx is creating: its first message attaches it. The program's
// windows are all made and run on its one user-interface thread, so one slot is enough (a slot
// per thread would cost the static runtime's emulated thread storage, and its threads library).
CWnd* g_windowBeingCreated = nullptr;

// A window class registered by AfxRegisterWndClass; kept, with its name, for the whole process.
struct RegisteredClass {
    UINT style;
    HCURSOR cursor;
    HBRUSH background;
    HICON icon;
    char name[64];
    const RegisteredClass* next;
};
const RegisteredClass* g_registeredClasses = nullptr;

bool MatchesRow(const MessageTableEntry& row, UINT message, UINT code, UINT id) {
    if (row.message != message) {
        return false;
    }
    if (message != WM_COMMAND) {
        return true;
    }
    return row.code == code && id >= row.firstId && id <= row.lastId;
}

} // namespace

const MessageTable CWnd::messageTable = {nullptr, nullptr};

CWnd::CWnd() : m_hWnd(nullptr), m_superProc(nullptr), m_currentMessage{0, 0, 0} {}

CWnd::~CWnd() {
    if (m_hWnd != nullptr) {
        ::DestroyWindow(m_hWnd);
    }
}

HWND CWnd::GetSafeHwnd() const {
    // Read through a volatile so that the compiler keeps the null test on `this`.
    const CWnd* volatile self = this;
    return self == nullptr ? nullptr : self->m_hWnd;
}

BOOL CWnd::CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                    int x, int y, int width, int height, HWND parent, HMENU menu, void* param) {
    if (m_hWnd != nullptr) {
        return FALSE;
    }
    CWnd* outer = g_windowBeingCreated;
    g_windowBeingCreated = this;
    HWND window = CreateWindowExA(exStyle, className, windowName, style, x, y, width, height,
                                  parent, menu, GetModuleHandleA(nullptr), param);
    DWORD error = GetLastError();
    g_windowBeingCreated = outer;
    if (window == nullptr) {
        SetLastError(error);
        return FALSE;
    }
    if (m_hWnd == nullptr) {
        SubclassWindow(window);
    }
    return TRUE;
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) {
        return FALSE;
    }
    return ::DestroyWindow(m_hWnd);
}

CWnd* CWnd::FromHandlePermanent(HWND window) {
    return window == nullptr ? nullptr : static_cast<CWnd*>(GetPropA(window, kObjectProperty));
}

const MessageTable* CWnd::GetMessageTable() const {
    return &messageTable;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, result)) {
        result = DefaultWindowProc(message, wParam, lParam);
    }
    return result;
}

LRESULT CWnd::DefaultWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_superProc != nullptr) {
        return CallWindowProcA(m_superProc, m_hWnd, message, wParam, lParam);
    }
    return DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    return DefaultWindowProc(m_currentMessage.message, m_currentMessage.wParam,
                             m_currentMessage.lParam);
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    UINT code = 0;
    UINT id = 0;
    if (message == WM_COMMAND) {
        code = HIWORD(wParam);
        id = LOWORD(wParam);
    }
    for (const MessageTable* table = GetMessageTable(); table != nullptr; table = table->base) {
        if (table->entries == nullptr) {
            continue;
        }
        for (const MessageTableEntry* row = table->entries; row->invoke != nullptr; ++row) {
            if (MatchesRow(*row, message, code, id)) {
                result = row->invoke(*this, wParam, lParam);
                return true;
            }
        }
    }
    return false;
}

void CWnd::SubclassWindow(HWND window) {
    Attach(window);
    m_superProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StaticWindowProc)));
}

void CWnd::Attach(HWND window) {
    m_hWnd = window;
    SetPropA(window, kObjectProperty, this);
}

void CWnd::Detach() {
    if (m_superProc != nullptr) {
        SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
        m_superProc = nullptr;
    }
    RemovePropA(m_hWnd, kObjectProperty);
    m_hWnd = nullptr;
}

LRESULT CALLBACK CWnd::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = FromHandlePermanent(window);
    if (wnd == nullptr && g_windowBeingCreated != nullptr) {
        wnd = g_windowBeingCreated;
        g_windowBeingCreated = nullptr;
        wnd->Attach(window);
    }
    if (wnd == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    CurrentMessage outer = wnd->m_currentMessage;
    wnd->m_currentMessage = {message, wParam, lParam};
    LRESULT result = wnd->WindowProc(message, wParam, lParam);
    wnd->m_currentMessage = outer;
    if (message == WM_NCDESTROY && wnd->m_hWnd == window) {
        wnd->Detach();
    }
    return result;
}

const char* AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
    for (const RegisteredClass* known = g_registeredClasses; known != nullptr;
         known = known->next) {
        if (known->style == classStyle && known->cursor == cursor &&
            known->background == background && known->icon == icon) {
            return known->name;
        }
    }
    auto* added = new RegisteredClass{classStyle, cursor, background, icon, {}, nullptr};
    // User and GDI handles are 32-bit values, on 64-bit Windows too.
    wsprintfA(added->name, "KestrelWnd:%x:%x:%x:%x", classStyle, HandleToULong(cursor),
              HandleToULong(background), HandleToULong(icon));
    WNDCLASSA windowClass = {};
    windowClass.style = classStyle;
    windowClass.lpfnWndProc = &CWnd::StaticWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = cursor;
    windowClass.hbrBackground = background;
    windowClass.hIcon = icon;
    windowClass.lpszClassName = added->name;
    if (RegisterClassA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        const DWORD error = GetLastError();
        delete added;
        SetLastError(error);
        return nullptr;
    }
    added->next = g_registeredClasses;
    g_registeredClasses = added;
    return added->name;
}
