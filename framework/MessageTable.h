#pragma once

#include <windows.h>

class CWnd;

// One row of a window class's message table. A row matches its message; for WM_COMMAND it also
// has to match the notification code and a command or control id in [firstId, lastId]. `invoke`
// unpacks WPARAM and LPARAM for the handler's own signature, so handlers see typed values only.
struct MessageTableEntry {
    UINT message;
    UINT code;
    UINT firstId;
    UINT lastId;
    LRESULT (*invoke)(CWnd& window, WPARAM wParam, LPARAM lParam);
};

// A class's rows, searched first to last, then its base class's table. The rows end with one
// whose `invoke` is null.
struct MessageTable {
    const MessageTable* base;
    const MessageTableEntry* entries;
};

// In a class body derived from CWnd. Leaves the class body in `protected:` access.
#define DECLARE_MESSAGE_TABLE(theClass)                                                            \
protected:                                                                                         \
    using ThisClass = theClass;                                                                    \
    static const MessageTableEntry messageEntries[];                                               \
    static const MessageTable messageTable;                                                        \
    const MessageTable* GetMessageTable() const override {                                         \
        return &messageTable;                                                                      \
    }

// In the class's .cpp: the table, one entry macro a line, closed by END_MESSAGE_TABLE().
#define BEGIN_MESSAGE_TABLE(theClass, baseClass)                                                   \
    const MessageTable theClass::messageTable = {&baseClass::messageTable,                         \
                                                 theClass::messageEntries};                        \
    const MessageTableEntry theClass::messageEntries[] = {
#define END_MESSAGE_TABLE()                                                                        \
    { 0, 0, 0, 0, nullptr }                                                                        \
    }                                                                                              \
    ;

// Rows for WM_COMMAND. `code` is the notification code (0 for menus and BN_CLICKED).
// void handler()
#define ON_CONTROL(code, id, handler)                                                              \
    {WM_COMMAND, (code), (id), (id), [](CWnd& window, WPARAM, LPARAM) -> LRESULT {                 \
         static_cast<ThisClass&>(window).handler();                                                \
         return 0;                                                                                 \
     }},
// void handler()
#define ON_COMMAND(id, handler) ON_CONTROL(0, id, handler)
// void handler()
#define ON_BN_CLICKED(id, handler) ON_CONTROL(BN_CLICKED, id, handler)
// void handler()
#define ON_CBN_SELCHANGE(id, handler) ON_CONTROL(CBN_SELCHANGE, id, handler)
// void handler(UINT id)
#define ON_COMMAND_RANGE(firstId, lastId, handler)                                                 \
    {WM_COMMAND, 0, (firstId), (lastId), [](CWnd& window, WPARAM wParam, LPARAM) -> LRESULT {      \
         static_cast<ThisClass&>(window).handler(LOWORD(wParam));                                  \
         return 0;                                                                                 \
     }},

// Rows for other messages; code and ids do not apply.
// LRESULT handler(WPARAM wParam, LPARAM lParam)
#define ON_MESSAGE(message, handler)                                                               \
    {(message), 0, 0, 0, [](CWnd& window, WPARAM wParam, LPARAM lParam) -> LRESULT {               \
         return static_cast<ThisClass&>(window).handler(wParam, lParam);                           \
     }},
// void OnSysCommand(UINT command, LPARAM lParam)
#define ON_WM_SYSCOMMAND()                                                                         \
    {WM_SYSCOMMAND, 0, 0, 0, [](CWnd& window, WPARAM wParam, LPARAM lParam) -> LRESULT {           \
         static_cast<ThisClass&>(window).OnSysCommand(static_cast<UINT>(wParam), lParam);          \
         return 0;                                                                                 \
     }},
// void OnPaint()
#define ON_WM_PAINT()                                                                              \
    {WM_PAINT, 0, 0, 0, [](CWnd& window, WPARAM, LPARAM) -> LRESULT {                              \
         static_cast<ThisClass&>(window).OnPaint();                                                \
         return 0;                                                                                 \
     }},
// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON()                                                                      \
    {WM_QUERYDRAGICON, 0, 0, 0, [](CWnd& window, WPARAM, LPARAM) -> LRESULT {                      \
         return reinterpret_cast<LRESULT>(static_cast<ThisClass&>(window).OnQueryDragIcon());      \
     }},
// BOOL OnDeviceChange(UINT event, DWORD_PTR data)
#define ON_WM_DEVICECHANGE()                                                                       \
    {WM_DEVICECHANGE, 0, 0, 0, [](CWnd& window, WPARAM wParam, LPARAM lParam) -> LRESULT {         \
         return static_cast<ThisClass&>(window).OnDeviceChange(static_cast<UINT>(wParam),          \
                                                               static_cast<DWORD_PTR>(lParam));    \
     }},
// BOOL OnPowerBroadcast(UINT event, LPARAM data)
#define ON_WM_POWERBROADCAST()                                                                     \
    {WM_POWERBROADCAST, 0, 0, 0, [](CWnd& window, WPARAM wParam, LPARAM lParam) -> LRESULT {       \
         return static_cast<ThisClass&>(window).OnPowerBroadcast(static_cast<UINT>(wParam),        \
                                                                 lParam);                          \
     }},
// void OnSessionChange(UINT event, DWORD session)
#define ON_WM_WTSSESSION_CHANGE()                                                                  \
    {WM_WTSSESSION_CHANGE, 0, 0, 0, [](CWnd& window, WPARAM wParam, LPARAM lParam) -> LRESULT {    \
         static_cast<ThisClass&>(window).OnSessionChange(static_cast<UINT>(wParam),                \
                                                         static_cast<DWORD>(lParam));              \
         return 0;                                                                                 \
     }},
// void OnActivate(UINT state, HWND other, BOOL minimized)
#define ON_WM_ACTIVATE()                                                                           \
    {WM_ACTIVATE, 0, 0, 0, [](CWnd& window, WPARAM wParam, LPARAM lParam) -> LRESULT {             \
         static_cast<ThisClass&>(window).OnActivate(                                               \
             LOWORD(wParam), reinterpret_cast<HWND>(lParam), HIWORD(wParam) != 0);                 \
         return 0;                                                                                 \
     }},
// void OnWindowPosChanging(const WINDOWPOS* position). Another process's record arrives as the
// system's copy; it cannot post this message at all.
#define ON_WM_WINDOWPOSCHANGING()                                                                  \
    {WM_WINDOWPOSCHANGING, 0, 0, 0, [](CWnd& window, WPARAM, LPARAM lParam) -> LRESULT {           \
         static_cast<ThisClass&>(window).OnWindowPosChanging(                                      \
             reinterpret_cast<const WINDOWPOS*>(lParam));                                          \
         return 0;                                                                                 \
     }},
// void OnSize(UINT type, int width, int height)
#define ON_WM_SIZE()                                                                               \
    {WM_SIZE, 0, 0, 0, [](CWnd& window, WPARAM wParam, LPARAM lParam) -> LRESULT {                 \
         static_cast<ThisClass&>(window).OnSize(static_cast<UINT>(wParam), LOWORD(lParam),         \
                                                HIWORD(lParam));                                   \
         return 0;                                                                                 \
     }},
// void OnDestroy()
#define ON_WM_DESTROY()                                                                            \
    {WM_DESTROY, 0, 0, 0, [](CWnd& window, WPARAM, LPARAM) -> LRESULT {                            \
         static_cast<ThisClass&>(window).OnDestroy();                                              \
         return 0;                                                                                 \
     }},
