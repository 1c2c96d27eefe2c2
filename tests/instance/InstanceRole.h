#pragma once

// What the single-instance tests and their stand-in program (instance_role.exe) share: the
// program's exit codes, the names of the events and semaphores through which the tests pace
// it, and how its window is found.
//
//   instance_role panel [--gate] [--hold-publication] [--popup] [--no-window] [--linger]
//       Starts like the program: takes the start-up lock, activates a running copy and ends, or
//       runs its own hidden window (standing in for the panel), publishes it and runs a message
//       loop until the window is closed.
//   instance_role second
//       The same start-up, but where the program would run its own panel it ends instead.
//
//   --gate              waits at the start gate (AtGate, then Go) before anything else
//   --hold-publication  waits for PublishAllowed between making its window and publishing
//   --popup             gives the window an owned popup that was the last one active
//   --no-window         publishes no window (null), as a program without a main window
//   --linger            after its window is gone and its checker destroyed, waits for Release
//                       before the process ends, so its block outlives its window

#include <windows.h>

namespace role {

enum Exit : int {
    RanOwnWindow = 0,            // published, then ran its window until it was closed
    Failed = 1,                  // bad arguments or a pacing wait that timed out
    Activated = 2,               // found a running copy and activated its window
    ActivatedNothing = 3,        // found a running copy but activation returned null
    WouldRunOwnWindow = 4,       // "second": found no running copy
    RanOwnWindowUnpublished = 5, // publication failed; ran its window until it was closed
    MutexFailed = 6,             // the checker could not be constructed
};

// Pacing objects. The tests create them; the program uses those that exist and skips the rest.
inline constexpr char AtGate[] = "KestrelInstanceRole.AtGate";                 // semaphore
inline constexpr char AtLock[] = "KestrelInstanceRole.AtLock";                 // semaphore
inline constexpr char Go[] = "KestrelInstanceRole.Go";                         // manual event
inline constexpr char WindowReady[] = "KestrelInstanceRole.WindowReady";       // semaphore
inline constexpr char PublishAllowed[] = "KestrelInstanceRole.PublishAllowed"; // manual event
inline constexpr char Published[] = "KestrelInstanceRole.Published";           // semaphore
inline constexpr char Lingering[] = "KestrelInstanceRole.Lingering";           // semaphore
inline constexpr char Release[] = "KestrelInstanceRole.Release";               // manual event

// Bound on every wait of the program, so that no copy outlives a failed test for long.
inline constexpr DWORD PacingTimeoutMs = 60000;

inline constexpr char WindowClass[] = "KestrelInstanceRole";

// The captions of a copy's main window and popup; a test looks for them among its windows.
inline constexpr char MainCaption[] = "KESTREL role";
inline constexpr char PopupCaption[] = "KESTREL role popup";

} // namespace role
