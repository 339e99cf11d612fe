// A data file's text as every reader sees it, read in large blocks: CR LF
// reads as LF (a lone CR stays), reading stops at the size the file had when
// it was opened, and the text arrives in pieces as a line reader with a
// 1023-byte limit gives them: up to and including a line's LF, at most 1022
// characters a piece, so a longer line arrives as several pieces.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#include "marketdata/text_fields.h"

namespace marketdata {

class TextSource {
public:
    static constexpr std::size_t DefaultBlockSize = 1 << 20;

    // Opens a file named the Windows way; check with operator bool. The
    // block size only matters to tests of what crosses a block's edge.
    explicit TextSource(const char* fileName, std::size_t blockSize = DefaultBlockSize);
    ~TextSource();
    TextSource(const TextSource&) = delete;
    TextSource& operator=(const TextSource&) = delete;

    explicit operator bool() const { return file_ != nullptr; }

    // The next piece, valid until the next call; false at the end.
    bool NextPiece(std::string_view& piece);
    // The next piece copied into `buffer` and zero-terminated, as a line
    // reader delivers it; false at the end.
    bool ReadLine(char (&buffer)[LineBufferSize]);

private:
    // Moves what is left to the front and reads the next block behind it.
    bool Refill();

    std::FILE* file_ = nullptr;
    std::size_t blockSize_ = DefaultBlockSize;
    std::uint64_t remaining_ = 0;  // raw bytes still to read
    bool pendingCr_ = false;       // a block ended on CR: its partner may follow
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0;  // translated text not yet delivered: [begin_, end_)
    std::size_t end_ = 0;
};

}  // namespace marketdata
