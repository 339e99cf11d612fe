// Small helpers shared by the table loaders.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "marketdata/text_fields.h"
#include "marketdata/text_source.h"
#include "platform/saturate.h"

namespace marketdata {

// Field 0 of a piece as SplitFields cuts it (blanks around it left out),
// when the piece has a '|' before its end or a zero byte: a piece without
// one has fewer than two fields.
inline bool FirstField(std::string_view piece, std::string_view& field) {
    const char* p = piece.data();
    const char* const end = p + piece.size();
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    const char* const start = p;
    while (p < end && *p != '|' && *p != '\0')
        ++p;
    if (p == end || *p != '|')
        return false;
    while (p > start && (p[-1] == ' ' || p[-1] == '\t'))
        --p;
    field = std::string_view(start, static_cast<std::size_t>(p - start));
    return true;
}

// The first `wanted` fields (at most MaxFields) of a piece as SplitFields
// (blanks trimmed) cuts the line, found without copying or cutting it: the
// line ends at a zero byte, fields end at '|', the last one at a line-end
// character too, and an empty last field does not count. The number of
// fields, at most `wanted`. (The line-end characters that end the line need
// no trimming: they all lie past the last field's end.)
inline int CutPiece(std::string_view piece, std::string_view* fields, int wanted) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const auto lineEnd = [](char c) { return c == '\r' || c == '\n'; };
    const char* p = piece.data();
    const char* const end = p + piece.size();
    wanted = std::min(wanted, MaxFields);
    int count = 0;
    while (count < wanted) {
        while (p < end && blank(*p))
            ++p;
        const char* const start = p;
        while (p < end && *p != '|' && *p != '\0')
            ++p;
        const bool bar = p < end && *p == '|';
        const char* fieldEnd = start;
        if (bar) {
            fieldEnd = p++;
            while (fieldEnd > start && blank(fieldEnd[-1]))
                --fieldEnd;
        } else {
            while (fieldEnd < p && !lineEnd(*fieldEnd))
                ++fieldEnd;
            if (fieldEnd == start)
                break;
        }
        fields[count++] = std::string_view(start, static_cast<std::size_t>(fieldEnd - start));
        if (!bar)
            break;
    }
    return count;
}

// Walks a time-stamped file the way every series reader does: lines with
// fewer than 2 fields and lines before the first slot are skipped, and the
// first line after the last slot ends the reading (files are in time order).
// `use` gets each remaining line's slot and its first `wanted` fields (at
// least 2), as many as it has. A line before the window costs only finding
// its end and reading its time; none is copied.
template <typename Use>
void ForEachSlotLine(TextSource& source, std::uint32_t divisor, std::uint32_t firstSlot, std::uint32_t lastSlot,
                     int wanted, Use use) {
    std::string_view fields[MaxFields];
    wanted = std::clamp(wanted, 2, MaxFields);
    std::string_view piece;
    while (source.NextPiece(piece)) {
        std::string_view first;
        if (!FirstField(piece, first))
            continue;
        const std::uint32_t slot = ParseTimeOfDay(first) / divisor;
        if (slot < firstSlot)
            continue;
        // An empty last field does not count, so "time|" alone is still too
        // short, even to end the reading.
        const int fieldCount = CutPiece(piece, fields, wanted);
        if (fieldCount < 2)
            continue;
        if (slot > lastSlot)
            break;
        use(slot, static_cast<const std::string_view*>(fields), fieldCount);
    }
}

}  // namespace marketdata
