#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A dialog's initial control data: the resource of type 240 named like the dialog template.
// Each record is WORD control id, WORD message, DWORD byte count and that many bytes; a WORD 0
// ends the list. The messages are the old 16-bit list messages (0x0401 LB_ADDSTRING, 0x0403
// CB_ADDSTRING), sent today as their Win32 counterparts.
class DialogInitData {
public:
    static constexpr WORD ResourceType = 240;
    static constexpr WORD ListBoxAddString16 = 0x0401;
    static constexpr WORD ComboBoxAddString16 = 0x0403;

    struct Record {
        WORD controlId;
        WORD message;
        std::string text;
    };

    // Reads the records of `size` bytes at `data`. False, with the records read so far, when a
    // record runs past the end; records are not aligned, so any byte offset is fine.
    static bool Parse(const void* data, size_t size, std::vector<Record>& records);

    // Adds each record's text to its control in `dialog`, in order. False if the resource is
    // malformed or a control refused an entry. A template without such a resource has nothing
    // to add and gives true.
    static bool Apply(HMODULE module, UINT templateId, HWND dialog);
};
