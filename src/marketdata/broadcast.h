// The broadcast timeline: a heading (start time, title, link) and up to
// sixteen moments, read from Data\CNBC_Elapsed.txt at every paint.
#pragma once

#include <cstdint>
#include <vector>

namespace marketdata {

constexpr int BroadcastCapacity = 16;

struct BroadcastHeader {
    std::uint32_t startSecond;  // second of the day the elapsed times count from
    char title[64];
    char link[128];
};

struct BroadcastEvent {
    char caption[64];
    char detail[64];  // may be empty
    std::int32_t offsetSeconds;
};

struct BroadcastTable {
    BroadcastHeader heading{};  // all zero when the file has no heading line
    std::vector<BroadcastEvent> events;  // at most BroadcastCapacity
};

BroadcastTable LoadBroadcast();

}  // namespace marketdata
