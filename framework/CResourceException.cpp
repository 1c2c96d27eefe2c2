#include "CResourceException.h"

IMPLEMENT_RUNTIME_CLASS(CResourceException, CObject)

CResourceException::CResourceException(DWORD error) : CObject(), error_(error) {}

CResourceException::CResourceException(const CResourceException& other)
    : CObject(), error_(other.error_) {}
