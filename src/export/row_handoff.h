// Rows of colour indices handed from the colour reduction to the GIF encoder
// as they are counted, so that the encoder can run on a second thread while
// the reduction reads the rest of the picture. Until the census is whole,
// the rows handed over hold census numbers; the reduction then says what
// they are: final indices (settled), indices under a one-to-one renumbering
// (the encoder keeps its work and translates), or void (discarded: the
// encoder starts over from the top row).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "export/indexed_picture.h"

namespace exporting {

// A number's index under a renumbering: a permutation of 0 .. 255.
using Renumbering = ByteTable;

// What the encoder is given with a row.
struct HandedRow {
    const std::uint8_t* indices = nullptr;  // the picture's; null when discarded or abandoned
    bool settled = false;                   // what the rows handed over hold is known
    // Once settled with a renumbering: the rows before `renumberedFrom` hold
    // numbers that become `renumbering[number]`; the rows from it on, indices.
    const Renumbering* renumbering = nullptr;
    std::uint32_t renumberedFrom = 0;
};

class RowHandOff {
public:
    // Each start from the top row has a number of its own.
    std::uint32_t Generation() {
        const std::lock_guard<std::mutex> hold(lock_);
        return generation_;
    }
    // The reduction: rows [0, count) of `indices` are handed over (count grows).
    void Publish(const std::uint8_t* indices, std::uint32_t count) {
        Change([&] {
            indices_ = indices;
            ready_ = count;
        });
    }
    // The reduction: the rows handed over so far and from now on hold final
    // indices.
    void Settle() {
        Change([&] { settled_ = true; });
    }
    // The reduction: the rows handed over so far hold numbers that become
    // indices through `renumbering`; the rows handed over from now on hold
    // indices. The reduction leaves the earlier rows as they are until
    // WaitUntilRenumberedRowsRead.
    void Renumber(const Renumbering& renumbering) {
        Change([&] {
            renumbering_ = renumbering;
            renumbered_ = true;
            renumberedFrom_ = ready_;
            settled_ = true;
        });
    }
    // The reduction: the rows handed over so far will be written again; the
    // encoder starts over from the top row, and the rows that come are final.
    void Discard() {
        Change([&] {
            ++generation_;
            ready_ = 0;
            settled_ = true;
        });
    }
    // The reduction: no more rows will come (a failure); the encoder gives up.
    void Abandon() {
        Change([&] { abandoned_ = true; });
    }
    bool abandoned() {
        const std::lock_guard<std::mutex> hold(lock_);
        return abandoned_;
    }
    // The reduction, after Renumber: waits until the encoder reads none of
    // the rows handed over before it (it went past them, or it stopped).
    void WaitUntilRenumberedRowsRead() {
        std::unique_lock<std::mutex> hold(lock_);
        read_.wait(hold, [&] { return abandoned_ || encoderDone_ || renumberedRowsRead_; });
    }

    // The encoder: waits until row y of `generation` is handed over. The
    // encoder ends only once the rows are settled (WaitUntilSettled).
    HandedRow WaitForRow(std::uint32_t y, std::uint32_t generation) {
        std::unique_lock<std::mutex> hold(lock_);
        if (renumbered_ && y >= renumberedFrom_ && !renumberedRowsRead_) {
            renumberedRowsRead_ = true;
            read_.notify_all();
        }
        changed_.wait(hold, [&] { return abandoned_ || generation_ != generation || ready_ > y; });
        return Handed(generation);
    }
    // The encoder, past the last row: waits until what the rows hold is known.
    HandedRow WaitUntilSettled(std::uint32_t generation) {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return abandoned_ || generation_ != generation || settled_; });
        if (renumbered_ && !renumberedRowsRead_) {
            renumberedRowsRead_ = true;
            read_.notify_all();
        }
        return Handed(generation);
    }
    // The encoder: it reads no more rows.
    void EncoderDone() {
        const std::lock_guard<std::mutex> hold(lock_);
        encoderDone_ = true;
        read_.notify_all();
    }

private:
    HandedRow Handed(std::uint32_t generation) const {
        HandedRow row;
        if (abandoned_ || generation_ != generation)
            return row;
        row.indices = indices_;
        row.settled = settled_;
        if (renumbered_) {
            row.renumbering = &renumbering_;
            row.renumberedFrom = renumberedFrom_;
        }
        return row;
    }
    template <typename Update>
    void Change(Update update) {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            update();
        }
        changed_.notify_one();
    }

    std::mutex lock_;
    std::condition_variable changed_;  // for the encoder
    std::condition_variable read_;     // for the reduction
    const std::uint8_t* indices_ = nullptr;
    std::uint32_t ready_ = 0;
    std::uint32_t generation_ = 0;
    bool settled_ = false;
    bool renumbered_ = false;
    std::uint32_t renumberedFrom_ = 0;
    Renumbering renumbering_{};
    bool renumberedRowsRead_ = false;
    bool encoderDone_ = false;
    bool abandoned_ = false;
};

}  // namespace exporting
