#pragma once

#include "CObject.h"
#include "MessageTable.h"

#include <windows.h>

// A window object that owns its HWND: destroying the object destroys the window. Messages reach
// `WindowProc`, which searches the class's message table (then its bases' tables) and gives
// everything unhandled to the window's default procedure.
class CWnd : public CObject {
    DECLARE_RUNTIME_CLASS(CWnd)

public:
    CWnd();
    ~CWnd() override;

    // The window, or null when there is none. Like the platform framework's, it may be called
    // through a null pointer (an unset main-window reference) and then gives null.
    HWND GetSafeHwnd() const;

    // Creates a window of a registered class and attaches it to this object before its first
    // message. Windows of classes registered elsewhere are subclassed once created. False if a
    // window is attached already or creation failed (last error from CreateWindowExA).
    BOOL CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x,
                  int y, int width, int height, HWND parent, HMENU menu, void* param = nullptr);

    virtual BOOL DestroyWindow();

    // The object attached to a window by this framework, or null.
    static CWnd* FromHandlePermanent(HWND window);

    HWND m_hWnd;

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's procedure from before the framework took it over (DefWindowProcA for classes
    // registered with AfxRegisterWndClass).
    virtual LRESULT DefaultWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default processing of the message being handled, for a handler that does not consume it
    // or wants the system's work done first.
    LRESULT Default();

    // True if a row of the message tables took the message; `result` is then its answer.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Takes over a window created elsewhere (a dialog): routes its messages to WindowProc.
    void SubclassWindow(HWND window);

    static const MessageTable messageTable;
    virtual const MessageTable* GetMessageTable() const;

private:
    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    friend const char* AfxRegisterWndClass(UINT, HCURSOR, HBRUSH, HICON);
    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);
    void Attach(HWND window);
    void Detach();

    WNDPROC m_superProc;
    CurrentMessage m_currentMessage;
};

// Registers (once per distinct set of arguments) a window class whose windows are run by CWnd
// and returns its name; the name stays valid for the life of the process. Null on failure.
const char* AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr,
                                HBRUSH background = nullptr, HICON icon = nullptr);
