#include "errors/exception.h"

#include <mutex>
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

struct ModuleNameState {
    std::mutex lock;
    std::string name = "BcamError.dll";
};

// Made on first use, so that exceptions raised while other static objects are built at load
// already find the name.
ModuleNameState& ModuleName() {
    static ModuleNameState state;
    return state;
}

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
    ModuleNameState& state = ModuleName();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.name;
}

void SetMessageModuleName(std::string name) {
    ModuleNameState& state = ModuleName();
    std::lock_guard<std::mutex> guard(state.lock);
    state.name = std::move(name);
}

}  // namespace Bcam
