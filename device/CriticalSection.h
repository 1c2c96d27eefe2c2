#pragma once

#include <windows.h>

// A critical section that lives exactly as long as its owner: initialised at construction,
// deleted at destruction. Hold it through a Guard, which leaves it on every way out of a scope.
class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    class Guard {
    public:
        explicit Guard(CriticalSection& section);
        ~Guard();
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        CRITICAL_SECTION& section_;
    };

private:
    CRITICAL_SECTION section_;
};
