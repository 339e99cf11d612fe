#include "marketdata/broadcast.h"

#include "marketdata/loader_support.h"
#include "marketdata/text_fields.h"

namespace marketdata {

namespace {

constexpr const char* BroadcastFile = "Data\\CNBC_Elapsed.txt";

}  // namespace

BroadcastTable LoadBroadcast() {
    BroadcastTable table;
    TextSource file(BroadcastFile);
    if (!file) {
        return table;
    }
    bool haveHeader = false;
    char line[LineBufferSize];
    char* fields[MaxFields];
    while (table.events.size() < BroadcastCapacity && file.ReadLine(line)) {
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
            table.heading.startSecond = seconds;
            CopyText(table.heading.title, fields[1]);
            CopyText(table.heading.link, fields[2]);
            haveHeader = true;
            continue;
        }
        BroadcastEvent event{};
        event.offsetSeconds = static_cast<std::int32_t>(seconds);  // at most 89,999
        CopyText(event.caption, fields[1]);
        CopyText(event.detail, fields[2]);
        table.events.push_back(event);
    }
    return table;
}

}  // namespace marketdata
