// The text toolkit shared by every reader of the data files: line ends,
// '|'-separated fields cut in place, and integer parsing of times, prices and
// counts. Nothing here allocates or fails: malformed text reads as 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace marketdata {

// Line buffer of every reader: fgets with this size delivers at most 1022
// characters of a physical line per read (fgets keeps one byte for the zero).
constexpr int LineBufferSize = 1024;
constexpr int LineReadLimit = 1023;
constexpr int MaxFields = 32;

// One shared empty text for missing trailing fields.
inline constexpr char EmptyField[] = "";

std::uint32_t TrimLineEnd(char* text);
char* FindChar(char* text, char c);
const char* FindChar(const char* text, char c);
int SplitFields(char* text, char** fields, int maxFields, bool trimBlanks);
// Milliseconds of the day of a time such as 14:42:30.250 (0 for a null text).
std::uint32_t ParseTimeOfDay(char* text);
std::uint32_t ParseTimeOfDay(std::string_view text);
std::int32_t ParsePrice(const char* text);
std::int32_t ParsePrice(std::string_view text);
std::int32_t ParseSignedPrice(const char* text);
std::int32_t ParseCount(const char* text);
std::int32_t ParseCount(std::string_view text);

// Copies `text` into a fixed field of `size` bytes, cutting what does not fit
// (a UTF-8 text between characters); the result is always zero-terminated.
void CopyText(char* destination, std::size_t size, const char* text);
template <std::size_t N>
void CopyText(char (&destination)[N], const char* text) {
    CopyText(destination, N, text);
}

}  // namespace marketdata
