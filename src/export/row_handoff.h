// Rows of colour indices handed from the colour reduction to the GIF encoder
// as they become final, so that the encoder can run on a second thread while
// the reduction reads the rest of the picture.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace exporting {

class RowHandOff {
public:
    // Each start from the top row has a number of its own.
    std::uint32_t Generation() {
        const std::lock_guard<std::mutex> hold(lock_);
        return generation_;
    }
    // The reduction: rows [0, count) of `indices` are final (count grows).
    void Publish(const std::uint8_t* indices, std::uint32_t count) {
        Change([&] {
            indices_ = indices;
            ready_ = count;
        });
    }
    // The reduction: the rows handed over so far will be written again; the
    // encoder starts over from the top row.
    void Discard() {
        Change([&] {
            ++generation_;
            ready_ = 0;
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
    // The encoder: waits until row y of `generation` is final; the picture's
    // indices, or null when the rows were discarded or abandoned.
    const std::uint8_t* WaitForRow(std::uint32_t y, std::uint32_t generation) {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return abandoned_ || generation_ != generation || ready_ > y; });
        return abandoned_ || generation_ != generation ? nullptr : indices_;
    }

private:
    template <typename Update>
    void Change(Update update) {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            update();
        }
        changed_.notify_one();
    }

    std::mutex lock_;
    std::condition_variable changed_;
    const std::uint8_t* indices_ = nullptr;
    std::uint32_t ready_ = 0;
    std::uint32_t generation_ = 0;
    bool abandoned_ = false;
};

}  // namespace exporting
