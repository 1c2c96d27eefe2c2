#include "DialogInitData.h"

#include <cstring>

namespace {

template <typename T>
T ReadUnaligned(const BYTE* at) {
    T value;
    std::memcpy(&value, at, sizeof(value));
    return value;
}

UINT Win32Message(WORD message16) {
    switch (message16) {
    case DialogInitData::ListBoxAddString16:
        return LB_ADDSTRING;
    case DialogInitData::ComboBoxAddString16:
        return CB_ADDSTRING;
    default:
        return 0;
    }
}

} // namespace

bool DialogInitData::Parse(const void* data, size_t size, std::vector<Record>& records) {
    const BYTE* at = static_cast<const BYTE*>(data);
    const BYTE* end = at + size;
    while (end - at >= 2) {
        WORD controlId = ReadUnaligned<WORD>(at);
        if (controlId == 0) {
            return true;
        }
        if (end - at < 8) {
            return false;
        }
        WORD message = ReadUnaligned<WORD>(at + 2);
        DWORD length = ReadUnaligned<DWORD>(at + 4);
        at += 8;
        if (static_cast<size_t>(end - at) < length) {
            return false;
        }
        // The text normally carries its own terminator; it is not relied on.
        const char* text = reinterpret_cast<const char*>(at);
        records.push_back({controlId, message, std::string(text, strnlen(text, length))});
        at += length;
    }
    return false;
}

bool DialogInitData::Apply(HMODULE module, UINT templateId, HWND dialog) {
    HRSRC info =
        FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(ResourceType));
    if (info == nullptr) {
        return true;
    }
    HGLOBAL loaded = LoadResource(module, info);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) {
        return false;
    }
    std::vector<Record> records;
    bool ok = Parse(data, SizeofResource(module, info), records);
    for (const Record& record : records) {
        UINT message = Win32Message(record.message);
        if (message == 0) {
            ok = false;
            continue;
        }
        LRESULT added = SendDlgItemMessageA(dialog, record.controlId, message, 0,
                                            reinterpret_cast<LPARAM>(record.text.c_str()));
        // CB_ERR and LB_ERR are both -1, CB_ERRSPACE and LB_ERRSPACE both -2.
        if (added < 0) {
            ok = false;
        }
    }
    return ok;
}
