// The two encodings a text of the data files may be in: UTF-8 when its
// bytes are valid UTF-8 (plain ASCII is both), else Windows-1252, the
// encoding of the texts the charts were first written with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

// The length of the UTF-8 sequence at text[0] when it is a valid one (no
// overlong forms, no surrogates, nothing past U+10FFFF), else 0; its code
// point goes to `codePoint`.
inline std::size_t Utf8Sequence(std::string_view text, char32_t& codePoint) {
    if (text.empty())
        return 0;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

inline bool IsValidUtf8(std::string_view text) {
    char32_t codePoint = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8Sequence(text.substr(at), codePoint);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

// The character of one Windows-1252 byte. Its five unassigned bytes stand
// for the control characters of the same value, as Windows maps them.
inline char32_t Windows1252(std::uint8_t byte) {
    static constexpr char16_t High[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return byte >= 0x80 && byte < 0xA0 ? High[byte - 0x80] : byte;
}

// Where to cut `text` to at most `limit` bytes without splitting a
// character: a UTF-8 text is cut before the sequence that would not fit
// whole; any other text is one byte a character.
inline std::size_t CutWithinCharacters(std::string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return text.size();
    if (!IsValidUtf8(text))
        return limit;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<std::uint8_t>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

}  // namespace platform
