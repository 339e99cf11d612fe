// Small helpers shared by the table loaders.
#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>

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

constexpr std::int32_t SaturateToInt32(std::int64_t v) {
    if (v > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (v < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(v);
}

}  // namespace marketdata
