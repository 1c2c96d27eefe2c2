#include "CriticalSection.h"

CriticalSection::CriticalSection() : section_() {
    InitializeCriticalSection(&section_);
}

CriticalSection::~CriticalSection() {
    DeleteCriticalSection(&section_);
}

CriticalSection::Guard::Guard(CriticalSection& section) : section_(section.section_) {
    EnterCriticalSection(&section_);
}

CriticalSection::Guard::~Guard() {
    LeaveCriticalSection(&section_);
}
