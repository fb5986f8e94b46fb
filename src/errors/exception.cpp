#include "errors/exception.h"

#include <atomic>
#include <cstring>
#include <thread>
#include <utility>

#include "errors/error_codes.h"
#include "platform/message.h"

namespace Bvc {

namespace {
constexpr char kNoMessage[] = "<no message found>";
}

Exception::Exception(std::uint32_t error, std::string context)
    : m_Error(error), m_Context(std::move(context)) {}

Exception::~Exception() = default;

void Exception::FormatDescription(const std::string& moduleName,
                                  const std::vector<std::uintptr_t>* arguments) {
    namespace platform = fennex::platform;
    // A failing lookup must never turn into a second failure while the first is reported.
    try {
        m_Description = kNoMessage;
        std::string text;
        bool found = !moduleName.empty() &&
                     platform::MessageFromModule(moduleName.c_str(), m_Error, text);
        if (!found) found = platform::MessageFromSystem(m_Error, text);
        if (!found) found = platform::MessageFromHost(m_Error, text);
        if (!found) return;
        if (arguments != nullptr) {
            std::string merged;
            if (platform::MergeInserts(text, arguments->data(), arguments->size(), merged)) {
                m_Description = std::move(merged);
                return;
            }
        }
        m_Description = std::move(text);
    } catch (...) {
        // Out of memory: keep whatever description was reached.
    }
}

}  // namespace Bvc

namespace Bcam {

namespace {

constexpr std::uint32_t kDriverFacility = 0xFE0;

constexpr std::size_t kMaxModuleName = 260;  // MAX_PATH: the longest name LoadLibraryExA takes

// Constant-initialised and never torn down, so that exceptions raised while static objects are
// built at load or destroyed at unload still find the name. The lock is a flag because
// std::mutex cannot be constant-initialised with every toolchain we build with; it is held only
// for a copy of the name.
constinit std::atomic_flag g_moduleNameBusy;
constinit char g_moduleName[kMaxModuleName + 1] = "BcamError.dll";

class ModuleNameLock {
public:
    ModuleNameLock() {
        while (g_moduleNameBusy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    }
    ~ModuleNameLock() { g_moduleNameBusy.clear(std::memory_order_release); }
    ModuleNameLock(const ModuleNameLock&) = delete;
    ModuleNameLock& operator=(const ModuleNameLock&) = delete;
};

}  // namespace

BcamException::BcamException(std::uint32_t error, std::string context)
    : Bvc::Exception(error, std::move(context)) {
    FormatDescription(MessageModuleName(), nullptr);
}

BcamException::BcamException(std::uint32_t error, std::string context,
                             std::initializer_list<std::uintptr_t> arguments)
    : Bvc::Exception(error, std::move(context)) {
    std::vector<std::uintptr_t> values;
    try {
        values.assign(arguments);
    } catch (...) {
        FormatDescription(MessageModuleName(), nullptr);
        return;
    }
    FormatDescription(MessageModuleName(), &values);
}

void BcamException::FormatDescription(const std::string& moduleName,
                                      const std::vector<std::uintptr_t>* arguments) {
    // Driver status codes arrive with the customer bit set; the message table lists them
    // without it, and callers compare against the listed value.
    if (((m_Error >> 16) & 0xFFF) == kDriverFacility) m_Error &= ~codes::kCustomerBit;
    Bvc::Exception::FormatDescription(moduleName, arguments);
}

std::string MessageModuleName() {
    ModuleNameLock lock;
    return g_moduleName;
}

void SetMessageModuleName(std::string name) {
    if (name.size() > kMaxModuleName || name.find('\0') != std::string::npos)
        throw BcamException(codes::kInvalidArg, "SetMessageModuleName");
    ModuleNameLock lock;
    std::memcpy(g_moduleName, name.c_str(), name.size() + 1);
}

}  // namespace Bcam
