#include "marketdata/broadcast.h"

#include "marketdata/loader_support.h"
#include "marketdata/text_fields.h"

namespace marketdata {

BroadcastHeader BroadcastHeading{};
std::array<BroadcastEvent, BroadcastCapacity> BroadcastTable{};
int BroadcastEventCount = 0;

namespace {

constexpr const char* BroadcastFile = "Data\\CNBC_Elapsed.txt";

}  // namespace

int LoadBroadcast() {
    BroadcastEventCount = 0;
    DataFile file(BroadcastFile, "rt");
    if (!file) {
        return 0;
    }
    bool haveHeader = false;
    char line[LineBufferSize];
    char* fields[MaxFields];
    while (BroadcastEventCount < BroadcastCapacity && ReadLine(file.get(), line)) {
        if (line[0] == ';') {
            continue;
        }
        TrimLineEnd(line);
        const int fieldCount = SplitFields(line, fields, MaxFields, true);
        if (fieldCount < 2) {
            continue;
        }
        if (fieldCount < 3) {
            fields[2] = const_cast<char*>(EmptyField);
        }
        const std::uint32_t seconds = ParseTimeOfDay(fields[0]) / 1000u;
        if (!haveHeader) {
            BroadcastHeading.startSecond = seconds;
            CopyText(BroadcastHeading.title, fields[1]);
            CopyText(BroadcastHeading.link, fields[2]);
            haveHeader = true;
            continue;
        }
        BroadcastEvent& event = BroadcastTable[BroadcastEventCount];
        event.offsetSeconds = static_cast<std::int32_t>(seconds);  // at most 89,999
        CopyText(event.caption, fields[1]);
        CopyText(event.detail, fields[2]);
        ++BroadcastEventCount;
    }
    return BroadcastEventCount;
}

}  // namespace marketdata
