#include "driver/debug_messages.h"

#include <atomic>
#include <cstring>
#include <new>

namespace fennex::driver {

namespace {

std::atomic<DebugMsgProc> g_procedure{nullptr};

// The messages of the outermost hold on this thread, if any. A plain pointer: a thread-local
// object with a destructor would keep the library from being unloaded.
thread_local std::vector<std::string>* t_held = nullptr;

// Hands a finished line to the host now, or keeps it for the end of the hold.
void Deliver(DebugMsgProc proc, const char* text) {
    if (t_held) {
        try {
            t_held->emplace_back(text);
        } catch (const std::bad_alloc&) {
            // out of memory: the line is lost, the caller goes on
        }
        return;
    }
    proc(text);
}

// Appends to a bounded buffer; remembers when something did not fit.
class Sink {
public:
    Sink(char* buffer, std::size_t size) : buffer_(buffer), size_(size) {}
    void Put(char c) {
        if (length_ + 1 < size_)
            buffer_[length_++] = c;
        else
            cut_ = true;
    }
    void Put(const char* text, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) Put(text[i]);
    }
    void Repeat(char c, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) Put(c);
    }
    std::size_t Finish() {
        if (size_) buffer_[length_] = '\0';
        return length_;
    }
    bool Cut() const { return cut_; }

private:
    char* buffer_;
    std::size_t size_;
    std::size_t length_ = 0;
    bool cut_ = false;
};

struct Directive {
    bool left = false, zero = false, alternate = false;
    std::size_t width = 0;
    bool hasPrecision = false;
    std::size_t precision = 0;
};

void PutPadded(Sink& out, const Directive& directive, const char* text, std::size_t n, const char* prefix = "",
               bool numeric = false) {
    const std::size_t prefixLength = std::strlen(prefix);
    const std::size_t total = n + prefixLength;
    const std::size_t pad = directive.width > total ? directive.width - total : 0;
    if (!directive.left && !(directive.zero && numeric)) out.Repeat(' ', pad);
    out.Put(prefix, prefixLength);
    if (!directive.left && directive.zero && numeric) out.Repeat('0', pad);
    out.Put(text, n);
    if (directive.left) out.Repeat(' ', pad);
}

void PutUnsigned(Sink& out, const Directive& directive, unsigned long long value, unsigned base, bool upper,
                 bool negative) {
    char digits[24];
    std::size_t n = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[n++] = set[value % base];
        value /= base;
    } while (value);
    char text[24];
    for (std::size_t i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
    const char* prefix = negative ? "-" : "";
    if (base == 16 && directive.alternate) prefix = upper ? "0X" : "0x";
    PutPadded(out, directive, text, n, prefix, true);
}

void Finish(Sink& out, char* buffer, std::size_t size) {
    const std::size_t length = out.Finish();
    // Every message is one line: a cut one keeps its line feed.
    if (out.Cut() && size >= 2 && length > 0) buffer[length - 1] = '\n';
}

}  // namespace

MessageHold::MessageHold() : outermost_(t_held == nullptr) {
    if (outermost_) t_held = &held_;
}

MessageHold::~MessageHold() {
    if (!outermost_) return;
    t_held = nullptr;
    for (const std::string& line : held_)
        if (const DebugMsgProc proc = DebugProcedure()) proc(line.c_str());
}

void SetDebugProcedure(DebugMsgProc proc) { g_procedure.store(proc, std::memory_order_release); }

DebugMsgProc DebugProcedure() { return g_procedure.load(std::memory_order_acquire); }

std::size_t FormatMessageText(char* buffer, std::size_t size, const char* format, va_list args,
                              bool* cut) {
    Sink out(buffer, size);
    for (const char* p = format; p && *p; ++p) {
        if (*p != '%') {
            out.Put(*p);
            continue;
        }
        const char* start = p++;
        Directive directive;
        for (;; ++p) {
            if (*p == '-') directive.left = true;
            else if (*p == '0') directive.zero = true;
            else if (*p == '#') directive.alternate = true;
            else break;
        }
        while (*p >= '0' && *p <= '9') directive.width = directive.width * 10 + static_cast<std::size_t>(*p++ - '0');
        if (*p == '.') {
            directive.hasPrecision = true;
            ++p;
            while (*p >= '0' && *p <= '9')
                directive.precision = directive.precision * 10 + static_cast<std::size_t>(*p++ - '0');
        }
        bool isLong = false, isShort = false;
        if (*p == 'l') isLong = true, ++p;
        else if (*p == 'h') isShort = true, ++p;
        switch (*p) {
            case 'd':
            case 'i': {
                const long long v = isLong ? va_arg(args, long) : va_arg(args, int);
                const long long s = isShort ? static_cast<short>(v) : v;
                const unsigned long long magnitude =
                    s < 0 ? 0ull - static_cast<unsigned long long>(s) : static_cast<unsigned long long>(s);
                PutUnsigned(out, directive, magnitude, 10, false, s < 0);
                break;
            }
            case 'u':
            case 'x':
            case 'X': {
                unsigned long long v = isLong ? va_arg(args, unsigned long) : va_arg(args, unsigned);
                if (isShort) v = static_cast<unsigned short>(v);
                PutUnsigned(out, directive, v, *p == 'u' ? 10 : 16, *p == 'X', false);
                break;
            }
            case 'c': {
                const char c = static_cast<char>(va_arg(args, int));
                PutPadded(out, directive, &c, 1);
                break;
            }
            case 's': {
                const char* s = va_arg(args, const char*);
                if (!s) s = "(null)";
                std::size_t n = 0;
                while (s[n] && (!directive.hasPrecision || n < directive.precision)) ++n;
                PutPadded(out, directive, s, n);
                break;
            }
            case '%':
                out.Put('%');
                break;
            case '\0':
                // A lone percent sign at the end is shown as written.
                out.Put(start, static_cast<std::size_t>(p - start));
                --p;
                break;
            default:
                // Unknown conversions are shown as written, without consuming an argument.
                out.Put(start, static_cast<std::size_t>(p - start + 1));
                break;
        }
    }
    Finish(out, buffer, size);
    if (cut) *cut = out.Cut();
    return std::strlen(buffer);
}

void DebugPrint(const char* format, ...) {
    const DebugMsgProc proc = DebugProcedure();
    if (!proc) return;
    thread_local char buffer[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    FormatMessageText(buffer, sizeof buffer, format, args);
    va_end(args);
    Deliver(proc, buffer);
}

void ReportError(const char* cameraName, const std::string& description,
                 const std::string& context) {
    const DebugMsgProc proc = DebugProcedure();
    if (!proc) return;
    thread_local char buffer[kMessageBufferSize];
    Sink out(buffer, sizeof buffer);
    out.Put("ERROR: ", 7);
    out.Put(cameraName ? cameraName : "", cameraName ? std::strlen(cameraName) : 0);
    out.Put(" - ", 3);
    out.Put(description.data(), description.size());
    out.Put(' ');
    out.Put(context.data(), context.size());
    out.Put('\n');
    Finish(out, buffer, sizeof buffer);
    Deliver(proc, buffer);
}

}  // namespace fennex::driver
