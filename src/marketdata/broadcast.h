// The broadcast timeline: a heading (start time, title, link) and up to
// sixteen moments read from Data\CNBC_Elapsed.txt at every paint.
#pragma once

#include <array>
#include <cstdint>

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

// The program's one heading; kept as it is by a load that finds no header line.
extern BroadcastHeader BroadcastHeading;
extern std::array<BroadcastEvent, BroadcastCapacity> BroadcastTable;
extern int BroadcastEventCount;

// Reloads the heading and the events; returns BroadcastEventCount.
int LoadBroadcast();

}  // namespace marketdata
