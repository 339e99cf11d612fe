// A table read from a data file, kept with the file's stamp and read again
// only when the stamp changes, so that a repaint of unchanged data reads no
// file. A file whose time stamps lie within two seconds of the moment it was
// read is read again the next time all the same: a file system whose clock
// ticks coarsely can change a file without changing its stamp in that tick.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>

#include "platform/win32.h"

namespace marketdata {

// How close to the read a file's time stamp makes it "maybe changed again".
constexpr std::int64_t RecentStampNs = 2'000'000'000;

// The stamp of a data file now (none when it is missing) and the time now, in
// nanoseconds since 1970; tests give their own.
struct StampSource {
    std::optional<DataFileStamp> (*stamp)(const char* fileName);
    std::int64_t (*now)();
};

inline std::optional<DataFileStamp> CurrentStamp(const char* fileName) {
    DataFileStamp stamp{};
    if (!GetDataFileStamp(fileName, &stamp))
        return std::nullopt;
    return stamp;
}
inline std::int64_t WallClockNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}
inline constexpr StampSource FileSystemStamps{CurrentStamp, WallClockNs};

// Whether a file must be read: it changed since it was last read, or it was
// last read so soon after a change that a change in the same tick could hide.
class StampTracker {
public:
    explicit StampTracker(StampSource stamps = FileSystemStamps) : stamps_(stamps) {}

    // True when `fileName` must be read now; then call Read() once it was.
    bool NeedsReading(const char* fileName) {
        next_ = stamps_.stamp(fileName);
        return !kept_ || recent_ || next_ != stamp_;
    }
    // The file is being read now: keep its stamp from NeedsReading.
    void Read() {
        const std::int64_t now = stamps_.now();
        stamp_ = next_;
        kept_ = true;
        // Only stamps near the clock count: one far in the future (a copy
        // from a machine whose clock runs ahead) would otherwise make every
        // paint read the file again.
        const auto nearNow = [now](std::int64_t t) { return t > now - RecentStampNs && t < now + RecentStampNs; };
        recent_ = stamp_ && (nearNow(stamp_->modifiedNs) || nearNow(stamp_->changedNs));
    }

private:
    StampSource stamps_;
    std::optional<DataFileStamp> stamp_;
    std::optional<DataFileStamp> next_;
    bool kept_ = false;
    bool recent_ = false;
};

template <typename Table>
class KeptTable {
public:
    explicit KeptTable(StampSource stamps = FileSystemStamps) : tracker_(stamps) {}

    // The table of `fileName`: the kept one while the file is unchanged,
    // else what `load` reads now.
    template <typename Load>
    const Table& Get(const char* fileName, Load&& load) {
        read_ = tracker_.NeedsReading(fileName);
        if (read_) {
            // A load that throws leaves the file unread: the next call tries
            // again rather than keep an old table as if it were the file's.
            Table loaded = std::forward<Load>(load)();
            tracker_.Read();
            table_ = std::move(loaded);
        }
        return table_;
    }
    // Whether the last Get read the file.
    bool read() const { return read_; }
    const Table& table() const { return table_; }

private:
    StampTracker tracker_;
    Table table_{};
    bool read_ = false;
};

}  // namespace marketdata
