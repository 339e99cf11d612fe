// Feeds arbitrary bytes to the text toolkit and, as file contents, to every
// table loader: nothing may crash, hang or overflow.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "marketdata/broadcast.h"
#include "marketdata/labels.h"
#include "marketdata/ribbon.h"
#include "marketdata/series.h"
#include "marketdata/text_fields.h"

namespace {

void WriteFile(const char* name, const std::uint8_t* data, std::size_t size, const std::string& prefix = {}) {
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
        std::abort();
    }
    std::fwrite(prefix.data(), 1, prefix.size(), file);
    std::fwrite(data, 1, size, file);
    std::fclose(file);
}

void ExerciseToolkit(const std::uint8_t* data, std::size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    char* line = text.data();
    char* fields[marketdata::MaxFields];
    while (line != nullptr && *line != '\0') {
        char* next = std::strchr(line, '\n');
        if (next != nullptr) {
            *next++ = '\0';
        }
        marketdata::TrimLineEnd(line);
        const int count = marketdata::SplitFields(line, fields, marketdata::MaxFields, true);
        for (int i = 0; i < count; ++i) {
            marketdata::ParsePrice(fields[i]);
            marketdata::ParseSignedPrice(fields[i]);
            marketdata::ParseCount(fields[i]);
            const std::uint32_t ms = marketdata::ParseTimeOfDay(fields[i]);
            if (ms > 89999999u) {
                std::abort();  // four bounded components cannot exceed 24:59:59.999
            }
        }
        line = next;
    }
}

}  // namespace

// The loaders read Data\... relative to the working directory, so each input
// runs inside a scratch folder; the fuzzer's own folders stay relative to the
// directory it was started in.
namespace {
std::string Scratch;
int StartDirectory = -1;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every input is written to three files; a memory file system keeps that cheap.
    char shm[] = "/dev/shm/dh-marketdata-fuzz-XXXXXX";
    char tmp[] = "/tmp/dh-marketdata-fuzz-XXXXXX";
    const char* dir = ::mkdtemp(shm);
    if (dir == nullptr) {
        dir = ::mkdtemp(tmp);
    }
    Scratch = dir != nullptr ? dir : "";
    StartDirectory = ::open(".", O_RDONLY | O_DIRECTORY);
    if (Scratch.empty() || StartDirectory < 0 || ::mkdir((Scratch + "/Data").c_str(), 0700) != 0) {
        std::abort();
    }
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(Scratch, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64 * 1024) {
        return 0;
    }
    ExerciseToolkit(data, size);
    if (::chdir(Scratch.c_str()) != 0) {
        std::abort();
    }

    // The first byte picks the series loader's column and mode.
    const std::uint8_t selector = size > 0 ? data[0] : 0;
    const std::uint32_t column = selector % 14;
    const auto kind = static_cast<marketdata::SeriesKind>(1 + (selector / 14) % 3);
    WriteFile("Data/s.txt", data, size);
    marketdata::LoadSeriesTable("Data\\s.txt", column, 1000, marketdata::SecondWindowFirst,
                                marketdata::SecondWindowLast, kind);
    marketdata::LoadSeriesTable("data\\S.TXT", column, 25, marketdata::FirstTickSlot, marketdata::LastTickSlot,
                                kind);

    // The input as ribbon configuration, after one row that reads it as a series.
    const std::string row = "R|" + std::to_string(column) + "|" + std::to_string(selector % 4) + "|" +
                            std::to_string(selector % 7) + "|Data\\s.txt|l.htm|alt\n";
    WriteFile("Data/RibbonInfo.txt", data, size, row);
    if (marketdata::LoadRibbon().rows.size() > marketdata::RibbonCapacity) {
        std::abort();
    }

    WriteFile("Data/CNBC_Elapsed.txt", data, size);
    if (marketdata::LoadBroadcast().events.size() > marketdata::BroadcastCapacity) {
        std::abort();
    }
    WriteFile("Data/labels.txt", data, size);
    for (const marketdata::AnnotationLabel& label : marketdata::LoadLabels().labels) {
        if (label.text.size() > marketdata::LabelTextLimit || label.second < marketdata::SecondWindowFirst ||
            label.second > marketdata::SecondWindowLast) {
            std::abort();
        }
    }
    if (::fchdir(StartDirectory) != 0) {
        std::abort();
    }
    return 0;
}
