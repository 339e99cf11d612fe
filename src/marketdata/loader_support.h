// Small helpers shared by the table loaders.
#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>

#include "marketdata/text_fields.h"
#include "platform/saturate.h"
#include "platform/win32.h"

namespace marketdata {

// A data file opened through the platform's name mapping, closed on scope exit.
class DataFile {
public:
    DataFile(const char* name, const char* mode) : file_(OpenDataFile(name, mode)) {}
    ~DataFile() { Close(); }
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    explicit operator bool() const { return file_ != nullptr; }
    std::FILE* get() const { return file_; }
    void Close() {
        if (file_ != nullptr) {
            std::fclose(file_);
            file_ = nullptr;
        }
    }

private:
    std::FILE* file_;
};

// Walks a time-stamped file the way every series reader does: lines with
// fewer than 2 fields and lines before the first slot are skipped, and the
// first line after the last slot ends the reading (files are in time order).
// `use` gets each remaining line's slot, fields and field count.
template <typename Use>
void ForEachSlotLine(std::FILE* file, std::uint32_t divisor, std::uint32_t firstSlot, std::uint32_t lastSlot, Use use) {
    char line[LineBufferSize];
    char* fields[MaxFields];
    while (ReadLine(file, line)) {
        TrimLineEnd(line);
        const int fieldCount = SplitFields(line, fields, MaxFields, true);
        if (fieldCount < 2)
            continue;
        const std::uint32_t slot = ParseTimeOfDay(fields[0]) / divisor;
        if (slot < firstSlot)
            continue;
        if (slot > lastSlot)
            break;
        use(slot, fields, fieldCount);
    }
}

}  // namespace marketdata
