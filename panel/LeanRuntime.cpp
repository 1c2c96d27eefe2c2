// Linked into "Quillmar KESTREL.exe" only, with GCC's static C++ runtime: replacements for the
// few runtime entry points whose library versions drag in code the program never runs. Each
// definition here keeps the library's outcome for this program, so that the linker takes ours
// and leaves the library's object file out (a library object still pulled in by something else
// would clash with these definitions and fail the link, never slip in silently).
//
// - The terminate handler. The library's verbose one prints the uncaught exception's demangled
//   type to stderr, which pulls in the whole demangler, and then calls abort, whose C runtime
//   shows an "abnormal program termination" message box in a windowed program and waits for
//   it. Ours ends the process at once, silently, with kTerminateExitCode.
// - The library's error throws (bits/functexcept.h). The library keeps them all in one object
//   that needs every standard exception class and, through them, a second string
//   implementation. The program catches std::bad_alloc (a unit list that cannot grow) and its
//   own CResourceException, nothing else: bad_alloc is still thrown as such; every other error
//   here would be a length or index beyond what the program's few short strings and small
//   arrays can reach, and uncaught it would end in std::terminate, which is what ours call.
// - The record of the exceptions being thrown and caught. The library keeps one per thread in
//   emulated thread storage, which brings in a threads library; C++ code of this program runs
//   on its one user-interface thread only, so one record serves. The library's code reads and
//   writes the record through its own private declaration: ours must have the same layout,
//   which is checked for the library releases whose layout is known; any other fails the
//   build.
// - The one-time set-up call of the 32-bit exception unwinder (pthread_once). The threads
//   library keeps it beside thread creation, cancellation and priorities, all of which come
//   with it; on the one thread that throws, a flag does the same.
//
// Only the toolchains named below are known; any other fails the build here rather than make
// a program that would end an uncaught error some other way.
#include "LeanRuntime.h"

#include <windows.h>

#include <exception>
#include <new>

#if defined(__GLIBCXX__)

// The record below copies libsupc++'s private __cxa_eh_globals (unwind-cxx.h): two fields on x86
// (ARM's EABI unwinder adds a third), unchanged in the releases listed here. For another
// release or target, compare that header with the record and add them once they agree.
#if !defined(__MINGW32__) || !(defined(__i386__) || defined(__x86_64__))
#error "LeanRuntime.cpp knows GCC's runtime for MinGW-w64 on x86 only: check the record below"
#endif
static_assert(_GLIBCXX_RELEASE == 12,
              "check libsupc++'s __cxa_eh_globals against the record in LeanRuntime.cpp");

#include <cxxabi.h>
#include <pthread.h>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    TerminateProcess(GetCurrentProcess(), kTerminateExitCode);
}

} // namespace __gnu_cxx

namespace std {

void __throw_bad_alloc() {
    throw bad_alloc();
}

void __throw_length_error(const char*) {
    terminate();
}

void __throw_out_of_range_fmt(const char*, ...) {
    terminate();
}

} // namespace std

namespace __cxxabiv1 {

// Laid out as the library's own: the exceptions caught and not yet finished, innermost first,
// and the count of those thrown and not yet caught.
struct __cxa_eh_globals {
    void* caughtExceptions;
    unsigned int uncaughtExceptions;
};

namespace {
__cxa_eh_globals g_exceptionRecord = {nullptr, 0};
} // namespace

extern "C" __cxa_eh_globals* __cxa_get_globals() noexcept {
    return &g_exceptionRecord;
}

extern "C" __cxa_eh_globals* __cxa_get_globals_fast() noexcept {
    return &g_exceptionRecord;
}

} // namespace __cxxabiv1

// Declared by pthread.h, so that a threads library with another signature fails the build.
static_assert(PTHREAD_ONCE_INIT == 0, "pthread_once_t starts at 0");
extern "C" int pthread_once(pthread_once_t* once, void (*init)(void)) {
    if (*once == 0) {
        *once = 1;
        init();
    }
    return 0;
}

#elif defined(_MSC_VER)

// MSVC's runtime: nothing to keep out; the terminate handler is installed before main runs,
// in place of the runtime's, which would report the error and show it.
namespace {

[[noreturn]] void TerminateSilently() {
    TerminateProcess(GetCurrentProcess(), kTerminateExitCode);
    for (;;) {
    }
}

const std::terminate_handler g_previousTerminateHandler = std::set_terminate(TerminateSilently);

} // namespace

#else
#error "LeanRuntime.cpp knows GCC's libstdc++ (MinGW-w64) and MSVC's runtime only"
#endif
