// The one channel from the library to the host: lines of text handed to the host's debug
// procedure. Safe from any thread: the procedure slot is atomic and every thread formats into
// a buffer of its own, so messages of different threads never overwrite each other.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "errors/exception.h"
#include "fennex/fennex.h"

namespace fennex::driver {

// Size of the message buffer, terminator included; longer messages are cut and still end in a
// line feed.
inline constexpr std::size_t kMessageBufferSize = 512;

// Holds back this thread's messages while it holds a lock of ours: they reach the host's
// procedure when the outermost hold ends, after the locks taken inside it have been released,
// so that a procedure which calls back into the library never meets a lock held on its own
// thread. HeldLock takes a lock inside a hold of its own.
class MessageHold {
public:
    MessageHold();
    ~MessageHold();
    MessageHold(const MessageHold&) = delete;
    MessageHold& operator=(const MessageHold&) = delete;

private:
    bool outermost_;
    std::vector<std::string> held_;
};

// One of our locks, taken inside a MessageHold that ends only after the lock is released.
class HeldLock {
public:
    explicit HeldLock(std::mutex& mutex) : lock_(mutex) {}

private:
    MessageHold hold_;  // made first, ended last
    std::lock_guard<std::mutex> lock_;
};

void SetDebugProcedure(DebugMsgProc proc);
DebugMsgProc DebugProcedure();

// Formats by wvsprintf rules (%s %c %d %i %u %x %X with the l and h size prefixes, flags '-',
// '0' and '#', width and string precision; %% for a percent sign) into at most `size` bytes,
// always terminated. Returns the length written; `*cut` tells whether the text was cut.
std::size_t FormatMessageText(char* buffer, std::size_t size, const char* format, va_list args,
                              bool* cut = nullptr);

// Formats and sends one message; formats nothing when no procedure is set.
void DebugPrint(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Sends "ERROR: <camera> - <description> <context>\n" with the texts shown as they are.
void ReportError(const char* cameraName, const std::string& description,
                 const std::string& context);

inline void ReportException(const char* cameraName, const Bvc::Exception& e) {
    ReportError(cameraName, e.Description(), e.Context());
}

}  // namespace fennex::driver
