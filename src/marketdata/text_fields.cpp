#include "marketdata/text_fields.h"

#include <climits>
#include <cstring>

#include "platform/text_encoding.h"

namespace marketdata {

namespace {

// Bytes are compared as signed characters: 0x80 and above is never a digit,
// a blank or a separator, whatever the signedness of char on this compiler.
constexpr signed char AsSigned(char c) {
    return static_cast<signed char>(c);
}
constexpr bool IsDigit(char c) {
    return AsSigned(c) >= '0' && AsSigned(c) <= '9';
}
constexpr bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
constexpr bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}
constexpr std::uint32_t DigitValue(char c) {
    return static_cast<std::uint32_t>(AsSigned(c) - '0');
}

// Price texts keep at most this many digits, leading zeros included, so that
// the scaled result stays within 32 bits for every integer part up to
// 21,474,836.
constexpr int PriceDigitBudget = 9;

}  // namespace

std::uint32_t TrimLineEnd(char* text) {
    if (text == nullptr) {
        return 0;
    }
    char* end = text + std::strlen(text);
    while (end > text && IsLineEnd(end[-1])) {
        --end;
    }
    *end = '\0';
    return static_cast<std::uint32_t>(end - text);
}

char* FindChar(char* text, char c) {
    if (text == nullptr || c == '\0') {
        return nullptr;
    }
    return std::strchr(text, c);
}

const char* FindChar(const char* text, char c) {
    if (text == nullptr || c == '\0') {
        return nullptr;
    }
    return std::strchr(text, c);
}

int SplitFields(char* text, char** fields, int maxFields, bool trimBlanks) {
    if (text == nullptr) {
        return 0;
    }
    int count = 0;
    char* cursor = text;
    while (count < maxFields) {
        if (trimBlanks) {
            while (IsBlank(*cursor)) {
                ++cursor;
            }
        }
        char* start = cursor;
        fields[count++] = start;
        // The paints split every line of the ribbon files: one pass to the
        // next bar or the end, where a search per field would start anew.
        char* bar = start;
        while (*bar != '|' && *bar != '\0') {
            ++bar;
        }
        if (*bar == '|') {
            if (trimBlanks) {
                char* end = bar;
                while (end > start && IsBlank(end[-1])) {
                    --end;
                }
                *end = '\0';
            }
            *bar = '\0';
            cursor = bar + 1;
            continue;
        }
        // The last field ends at the zero byte or the first line-end character;
        // an empty last field (after "a|") does not count.
        char* end = start;
        while (*end != '\0' && !IsLineEnd(*end)) {
            ++end;
        }
        *end = '\0';
        if (end == start) {
            --count;
        }
        return count;
    }
    return count;
}

std::uint32_t ParseTimeOfDay(char* text) {
    return text == nullptr ? 0 : ParseTimeOfDay(std::string_view(text));
}

namespace {

// One component of a time over [cursor, end): digits up to the next
// separator; `cursor` moves past it.
std::uint32_t ParseTimeComponent(const char*& cursor, const char* end, std::uint32_t bound) {
    // ':' wins over '.', wherever the two stand in the rest of the text;
    // one pass finds the first of each.
    const char* separator = nullptr;
    const char* firstDot = nullptr;
    for (const char* p = cursor; p < end; ++p) {
        if (*p == ':') {
            separator = p;
            break;
        }
        if (*p == '.' && firstDot == nullptr) {
            firstDot = p;
        }
    }
    if (separator == nullptr) {
        separator = firstDot;
    }
    std::uint32_t value = 0;
    if (separator != nullptr) {
        for (const char* p = cursor; p < separator && IsDigit(*p); ++p) {
            value = value * 10u + DigitValue(*p);
        }
        cursor = separator + 1;
    } else if (cursor < end && IsDigit(*cursor)) {
        for (const char* p = cursor; p < end && IsDigit(*p); ++p) {
            value = value * 10u + DigitValue(*p);
        }
        // Unseparated components are taken to be two characters wide.
        cursor += (cursor + 1 == end) ? 1 : 2;
    }
    return value < bound ? value : 0;
}

// HH:MM:SS or HH:MM:SS.m to .mmm, the shape of almost every line: read in one
// go with the same bounds as component by component.
bool ParseUsualTime(std::string_view t, std::uint32_t& ms) {
    const std::size_t n = t.size();
    if ((n != 8 && (n < 10 || n > 12)) || t[2] != ':' || t[5] != ':' || (n > 8 && t[8] != '.'))
        return false;
    for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u})
        if (!IsDigit(t[i]))
            return false;
    std::uint32_t fraction = 0;
    for (std::size_t i = 9; i < n; ++i) {
        if (!IsDigit(t[i]))
            return false;
        fraction = fraction * 10u + DigitValue(t[i]);
    }
    const auto two = [&](std::size_t i) { return DigitValue(t[i]) * 10u + DigitValue(t[i + 1]); };
    const std::uint32_t hours = two(0) < 25 ? two(0) : 0;
    const std::uint32_t minutes = two(3) < 60 ? two(3) : 0;
    const std::uint32_t seconds = two(6) < 60 ? two(6) : 0;
    ms = fraction + 1000u * (seconds + 60u * (minutes + 60u * hours));
    return true;
}

}  // namespace

std::uint32_t ParseTimeOfDay(std::string_view text) {
    std::uint32_t usual = 0;
    if (ParseUsualTime(text, usual))
        return usual;
    const char* cursor = text.data();
    const char* const end = text.data() + text.size();
    const std::uint32_t hours = ParseTimeComponent(cursor, end, 25);
    const std::uint32_t minutes = ParseTimeComponent(cursor, end, 60);
    const std::uint32_t seconds = ParseTimeComponent(cursor, end, 60);
    const std::uint32_t milliseconds = ParseTimeComponent(cursor, end, 1000);
    return milliseconds + 1000u * (seconds + 60u * (minutes + 60u * hours));
}

namespace {

// A price in hundredths: the first digits or '.', nine digits kept, the
// fraction cut or filled to two. `more(p)` says whether p is in the text.
template <typename More>
std::int32_t PriceFrom(const char* p, More more) {
    while (more(p) && *p != '.' && !IsDigit(*p)) {
        ++p;
    }
    std::uint32_t value = 0;
    int digits = 0;
    for (; more(p) && IsDigit(*p); ++p) {
        ++digits;
        if (digits <= PriceDigitBudget) {
            value = value * 10u + DigitValue(*p);
        }
    }
    int fractionDigits = 0;
    if (more(p) && *p == '.') {
        for (++p; more(p) && IsDigit(*p); ++p) {
            if (digits < PriceDigitBudget) {
                value = value * 10u + DigitValue(*p);
                ++digits;
                ++fractionDigits;
            }
        }
    }
    for (; fractionDigits < 2; ++fractionDigits) {
        value *= 10u;  // unsigned: a nine-digit integer part wraps as 32-bit arithmetic does
    }
    for (; fractionDigits > 2; --fractionDigits) {
        value /= 10u;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

std::int32_t ParsePrice(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    return PriceFrom(text, [](const char* p) { return *p != '\0'; });
}

std::int32_t ParsePrice(std::string_view text) {
    const char* const end = text.data() + text.size();
    return PriceFrom(text.data(), [end](const char* p) { return p < end; });
}

std::int32_t ParseSignedPrice(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    const char* p = text;
    while (IsBlank(*p)) {
        ++p;
    }
    if (*p != '-') {
        return ParsePrice(p);
    }
    const std::int32_t magnitude = ParsePrice(p + 1);
    // The most negative value has no positive counterpart.
    return magnitude == INT32_MIN ? INT32_MAX : -magnitude;
}

namespace {

// Blanks, then digits with commas between them; anything else ends the
// number. `more(p)` says whether p is still inside the text.
template <typename More>
std::int32_t CountFrom(const char* p, More more) {
    while (more(p) && IsBlank(*p)) {
        ++p;
    }
    std::uint32_t value = 0;
    for (; more(p); ++p) {
        if (IsDigit(*p)) {
            value = value * 10u + DigitValue(*p);
        } else if (*p != ',') {
            break;
        }
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

std::int32_t ParseCount(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    return CountFrom(text, [](const char* p) { return *p != '\0'; });
}

std::int32_t ParseCount(std::string_view text) {
    const char* const end = text.data() + text.size();
    return CountFrom(text.data(), [end](const char* p) { return p < end; });
}

void CopyText(char* destination, std::size_t size, const char* text) {
    if (size == 0) {
        return;
    }
    std::size_t length = 0;
    if (text != nullptr) {
        length = platform::CutWithinCharacters(text, size - 1);
        std::memcpy(destination, text, length);
    }
    destination[length] = '\0';
}

}  // namespace marketdata
