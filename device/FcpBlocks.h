#pragma once

#include <cstdint>

// The buffers of the unit command channel's requests. Integers are little-endian.

// Every request block carries this leading word.
inline constexpr std::uint32_t FcpRequestLeadingWord = 2000;

struct FcpRequestBlock {
    std::uint32_t leadingWord;
    std::uint32_t frameLength; // meaningful bytes in `frame`; the bytes after them are zero
    std::uint8_t frame[512];   // an AV/C command frame, ctype byte first
};

struct FcpResponseBlock {
    std::uint32_t leadingWord; // filled by the driver, not examined
    std::uint8_t frame[512];   // an AV/C response frame; low nibble of byte 0 is the response
};

static_assert(sizeof(FcpRequestBlock) == 520);
static_assert(sizeof(FcpResponseBlock) == 516);
