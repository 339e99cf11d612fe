// wsprintfA: the formatter's subset the program uses. Conversions d, i, u, x,
// X, c, s and %% with the flags '-' and '0', a width, and the size prefixes
// l and h. Like the system call, it writes at most 1024 characters, the
// terminating zero included, and returns the count written without it.
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "platform/win32.h"

namespace {

constexpr int OutputLimit = 1024;

class Output {
public:
    explicit Output(char* out) : out_(out) {}
    void Put(char c) {
        if (count_ < OutputLimit - 1)
            out_[count_++] = c;
    }
    void Repeat(char c, int n) {
        for (int i = 0; i < n; ++i)
            Put(c);
    }
    int Finish() {
        out_[count_] = '\0';
        return count_;
    }

private:
    char* out_;
    int count_ = 0;
};

// Digits of `value` in `base`, most significant first, into `digits`; returns the count.
int Digits(std::uint64_t value, unsigned base, bool upper, char* digits) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char reversed[24];
    int n = 0;
    do {
        reversed[n++] = set[value % base];
        value /= base;
    } while (value != 0);
    for (int i = 0; i < n; ++i)
        digits[i] = reversed[n - 1 - i];
    return n;
}

}  // namespace

int wsprintfA(LPSTR out, LPCSTR format, ...) {
    if (out == nullptr)
        return 0;
    Output o(out);
    if (format == nullptr)
        return o.Finish();
    va_list args;
    va_start(args, format);
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            o.Put(*p);
            continue;
        }
        const char* start = p;
        ++p;
        bool left = false;
        bool zero = false;
        for (; *p == '-' || *p == '0'; ++p) {
            if (*p == '-')
                left = true;
            if (*p == '0')
                zero = true;
        }
        int width = 0;
        for (; *p >= '0' && *p <= '9'; ++p)
            width = width < 10000 ? width * 10 + (*p - '0') : width;
        bool isShort = false;
        if (*p == 'l') {
            ++p;
        } else if (*p == 'h') {
            isShort = true;
            ++p;
        }
        char buffer[32];
        const char* text = buffer;
        int length = 0;
        bool negative = false;
        bool numeric = true;
        switch (*p) {
            case 'd':
            case 'i': {
                int v = va_arg(args, int);
                if (isShort)
                    v = static_cast<short>(v);
                negative = v < 0;
                const std::uint64_t magnitude = negative ? -static_cast<std::int64_t>(v) : v;
                length = Digits(magnitude, 10, false, buffer);
                break;
            }
            case 'u':
            case 'x':
            case 'X': {
                unsigned v = va_arg(args, unsigned);
                if (isShort)
                    v = static_cast<std::uint16_t>(v);
                length = Digits(v, *p == 'u' ? 10 : 16, *p == 'X', buffer);
                break;
            }
            case 'c':
                buffer[0] = static_cast<char>(va_arg(args, int));
                length = 1;
                numeric = false;
                break;
            case 's': {
                const char* s = va_arg(args, const char*);
                text = s != nullptr ? s : "(null)";
                length = static_cast<int>(std::strlen(text));
                numeric = false;
                break;
            }
            case '%':
                o.Put('%');
                continue;
            default:
                // Not a conversion: the text is copied as it stands.
                for (const char* q = start; q <= p && *q != '\0'; ++q)
                    o.Put(*q);
                if (*p == '\0')
                    --p;
                continue;
        }
        const int total = length + (negative ? 1 : 0);
        const int pad = width > total ? width - total : 0;
        if (!left && !(zero && numeric))
            o.Repeat(' ', pad);
        if (negative)
            o.Put('-');
        if (!left && zero && numeric)
            o.Repeat('0', pad);
        for (int i = 0; i < length; ++i)
            o.Put(text[i]);
        if (left)
            o.Repeat(' ', pad);
    }
    va_end(args);
    return o.Finish();
}
