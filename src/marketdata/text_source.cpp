#include "marketdata/text_source.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/win32.h"

namespace marketdata {

namespace {

// A piece holds what fits a line buffer less its terminating zero.
constexpr std::size_t PieceLimit = LineReadLimit - 1;

}  // namespace

TextSource::TextSource(const char* fileName, std::size_t blockSize) : blockSize_(std::max<std::size_t>(blockSize, 1)) {
    file_ = OpenDataFile(fileName, "rb");
    if (file_ == nullptr)
        return;
    DataFileStamp stamp{};
    if (!GetOpenDataFileStamp(file_, &stamp)) {
        std::fclose(file_);
        file_ = nullptr;
        return;
    }
    remaining_ = stamp.size;
    // A byte-order mark, as editors on Windows write before UTF-8, is no
    // part of the text.
    char mark[3];
    if (remaining_ >= sizeof mark && std::fread(mark, 1, sizeof mark, file_) == sizeof mark &&
        std::memcmp(mark, "\xEF\xBB\xBF", sizeof mark) == 0) {
        remaining_ -= sizeof mark;
    } else {
        std::rewind(file_);
    }
    // What is left undelivered before a refill is shorter than a piece.
    buffer_.reset(new (std::nothrow) char[PieceLimit + 1 + std::min<std::uint64_t>(remaining_, blockSize_)]);
    if (!buffer_) {  // no memory to read it: as a file that cannot be read
        std::fclose(file_);
        file_ = nullptr;
    }
}

TextSource::~TextSource() {
    if (file_ != nullptr)
        std::fclose(file_);
}

bool TextSource::Refill() {
    if (remaining_ == 0 && !pendingCr_)
        return false;
    // Keep the undelivered text; one block after it.
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, blockSize_));
    // After a block that ended on CR, the next goes one byte further on,
    // where the CR can still go before it.
    char* out = buffer_.get() + end_;
    char* const raw = out + (pendingCr_ ? 1 : 0);
    const std::size_t got = want > 0 ? std::fread(raw, 1, want, file_) : 0;
    remaining_ = got < want ? 0 : remaining_ - got;  // a short read is the end
    const char* in = raw;
    const char* const stop = raw + got;
    if (pendingCr_) {
        pendingCr_ = false;
        if (in == stop || *in != '\n')
            *out++ = '\r';
    }
    // CR LF becomes LF, in place, copying only from the first CR on; a CR
    // at the end of the block waits for the next block's first byte, unless
    // nothing more comes.
    while (in < stop) {
        const auto* cr = static_cast<const char*>(std::memchr(in, '\r', static_cast<std::size_t>(stop - in)));
        const char* const runEnd = cr != nullptr ? cr : stop;
        if (out != in)
            std::memmove(out, in, static_cast<std::size_t>(runEnd - in));
        out += runEnd - in;
        in = runEnd;
        if (cr == nullptr)
            break;
        ++in;  // past the CR
        if (in == stop && remaining_ > 0) {
            pendingCr_ = true;
            break;
        }
        if (in == stop || *in != '\n')
            *out++ = '\r';  // a lone CR stays; before LF it goes
    }
    end_ = static_cast<std::size_t>(out - buffer_.get());
    return true;
}

bool TextSource::NextPiece(std::string_view& piece) {
    if (file_ == nullptr)
        return false;
    for (;;) {
        const std::size_t available = end_ - begin_;
        const char* const at = buffer_.get() + begin_;
        const std::size_t window = std::min(available, PieceLimit);
        if (const void* lf = std::memchr(at, '\n', window)) {
            const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(lf) - at) + 1;
            piece = std::string_view(at, length);
            begin_ += length;
            return true;
        }
        if (available >= PieceLimit) {
            piece = std::string_view(at, PieceLimit);
            begin_ += PieceLimit;
            return true;
        }
        if (!Refill()) {
            if (available == 0)
                return false;
            piece = std::string_view(at, available);  // the last line has no LF
            begin_ = end_;
            return true;
        }
    }
}

bool TextSource::ReadLine(char (&buffer)[LineBufferSize]) {
    std::string_view piece;
    if (!NextPiece(piece))
        return false;
    std::memcpy(buffer, piece.data(), piece.size());
    buffer[piece.size()] = '\0';
    return true;
}

}  // namespace marketdata
