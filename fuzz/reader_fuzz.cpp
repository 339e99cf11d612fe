// The fast reader against the reference reader on the same bytes: the pieces
// every reader gets, and the series and ribbon tables they fill, must be the
// same for any file content, window, divisor, column, kind and rule.
//
// Input: a selector byte, then the file's content. The pieces are read in
// blocks of 1 to 64 bytes too, so that CR LF pairs and lines cross blocks.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "marketdata/ribbon.h"
#include "marketdata/series.h"
#include "marketdata/text_source.h"
#include "support/reference_reader.h"

namespace {

std::string ScratchFolder;

void RemoveScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(ScratchFolder, ignored);
}

void WriteFile(const char* name, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size))
        std::abort();
    std::fclose(file);
}

void ComparePieces(const char* name, std::size_t blockSize) {
    marketdata::TextSource fast(name, blockSize);
    reference::File slow(name);
    if (!fast != (slow.handle == nullptr))
        std::abort();
    if (!fast)
        return;
    char a[marketdata::LineBufferSize];
    char b[marketdata::LineBufferSize];
    for (;;) {
        const bool gotA = fast.ReadLine(a);
        const bool gotB = reference::ReadPiece(slow.handle, b);
        if (gotA != gotB)
            std::abort();
        if (!gotA)
            return;
        // A line reader's piece is its text up to the first zero byte.
        if (std::strcmp(a, b) != 0)
            std::abort();
    }
}

void CompareTables(const marketdata::SeriesTable& a, const marketdata::SeriesTable& b, std::uint32_t count) {
    if ((a == nullptr) != (b == nullptr))
        std::abort();
    if (a != nullptr && std::memcmp(a.get(), b.get(), count * sizeof(marketdata::Sample)) != 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/dev/shm/dh-reader-fuzz-XXXXXX";
    char fallback[] = "/tmp/dh-reader-fuzz-XXXXXX";
    const char* dir = ::mkdtemp(folder);
    if (dir == nullptr)
        dir = ::mkdtemp(fallback);
    if (dir == nullptr || ::chdir(dir) != 0 || !std::filesystem::create_directory("Data"))
        std::abort();
    ScratchFolder = dir;
    std::atexit(RemoveScratchFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 256 * 1024)
        return 0;
    const std::uint8_t selector = data[0];
    WriteFile("Data/s.txt", data + 1, size - 1);
    ComparePieces("Data\\s.txt", marketdata::TextSource::DefaultBlockSize);
    ComparePieces("Data\\s.txt", 1 + selector % 64);

    // Windows around the times a fuzzer finds easily (small ones) and the chart's own.
    const std::uint32_t column = selector % 13;
    const auto kind = static_cast<marketdata::SeriesKind>(1 + selector / 13 % 3);
    const bool ticks = (selector & 0x80) != 0;
    const std::uint32_t divisor = ticks ? 25 : 1000;
    const std::uint32_t first = selector & 0x40 ? (ticks ? marketdata::FirstTickSlot : marketdata::SecondWindowFirst)
                                                : selector % 7;
    const std::uint32_t last = first + (ticks ? marketdata::TickCount : marketdata::SecondCount) - 1;
    const std::uint32_t count = last - first + 1;
    CompareTables(marketdata::LoadSeriesTable("Data\\s.txt", column, divisor, first, last, kind),
                  reference::LoadSeriesTable("Data\\s.txt", column, divisor, first, last, kind), count);

    const auto rule = static_cast<marketdata::RibbonRule>(selector % 4);
    const auto fast = marketdata::LoadRibbonSeries("Data\\s.txt", column, rule);
    const auto slow = reference::LoadRibbonSeries("Data\\s.txt", column, rule);
    if ((fast == nullptr) != (slow == nullptr) ||
        (fast != nullptr && std::memcmp(fast.get(), slow.get(), marketdata::SecondCount * sizeof(std::int32_t)) != 0))
        std::abort();
    return 0;
}
