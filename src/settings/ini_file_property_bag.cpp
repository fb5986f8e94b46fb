#include "settings/ini_file_property_bag.h"

#include <cstdio>
#include <cstring>

#include "errors/error_codes.h"
#include "errors/exception.h"
#include "platform/last_error.h"
#include "platform/profile.h"
#include "platform/win32_errors.h"

namespace Bcam {

namespace platform = fennex::platform;

namespace {

constexpr std::uint32_t kPathBufferSize = 260;
constexpr std::uint32_t kSectionNamesBufferSize = 1024;
constexpr std::uint32_t kValueBufferSize = 1024;

bool EqualIgnoringCase(const char* a, const std::string& b) {
    const std::size_t n = std::strlen(a);
    if (n != b.size()) return false;
    for (std::size_t i = 0; i < n; ++i) {
        auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The last error of a failed platform call; never 0, so a failure is never taken for success.
std::uint32_t FailureCode() {
    const std::uint32_t error = platform::LastError();
    return error != 0 ? error : platform::err::kGenFailure;
}

// The standard file search with a 260-character result. False when not found; a path that
// does not fit the buffer is an error of its own.
bool Search(const std::string& fileName, std::string& fullPath, const char* context) {
    char buffer[kPathBufferSize] = {};
    const std::uint32_t length = platform::FileSearch(fileName.c_str(), buffer, sizeof buffer);
    if (length == 0) return false;
    if (length >= sizeof buffer) throw BcamException(platform::err::kInsufficientBuffer, context);
    fullPath.assign(buffer, length);
    return true;
}

}  // namespace

CPropertyBagPtr CIniFilePropertyBag::Create(const std::string& fileName,
                                            const std::string& section) {
    static constexpr const char* kContext = "CIniFilePropertyBag::Create()";
    std::string path;
    if (Search(fileName, path, kContext)) {
        // The new file holds only what is written after this; a file that stays would keep
        // stale keys, so a failed delete ends here.
        if (!platform::FileDelete(path.c_str())) throw BcamException(FailureCode(), kContext);
    } else {
        std::FILE* file = std::fopen(fileName.c_str(), "w");
        if (!file) throw BcamException(platform::err::kCannotMake, kContext);
        std::fclose(file);
        if (!Search(fileName, path, kContext)) throw BcamException(FailureCode(), kContext);
    }
    return CPropertyBagPtr::Make<CIniFilePropertyBag>(path, section, true);
}

CPropertyBagPtr CIniFilePropertyBag::Open(const std::string& fileName,
                                          const std::string& section) {
    static constexpr const char* kContext = "CIniFilePropertyBag::Open()";
    std::string path;
    if (!Search(fileName, path, kContext)) throw BcamException(FailureCode(), kContext);
    return CPropertyBagPtr::Make<CIniFilePropertyBag>(path, section, false);
}

CIniFilePropertyBag::CIniFilePropertyBag(std::string path, std::string section, bool create)
    : m_Path(std::move(path)), m_Section(std::move(section)) {
    static constexpr const char* kContext = "CIniFilePropertyBag::CIniFilePropertyBag()";
    // Only the sections within the first 1024 bytes of the list are seen.
    char names[kSectionNamesBufferSize] = {};
    const std::uint32_t length =
        platform::ProfileSectionNames(names, sizeof names, m_Path.c_str());
    bool exists = false;
    for (std::uint32_t i = 0; i < length && i < sizeof names && names[i] != '\0';) {
        const char* name = names + i;
        const std::size_t n = strnlen(name, sizeof names - i);
        if (EqualIgnoringCase(name, m_Section)) exists = true;
        i += static_cast<std::uint32_t>(n) + 1;
    }
    if (create) {
        if (exists) throw BcamException(codes::kSectionExists, kContext);
        if (!platform::ProfileWriteSection(m_Section.c_str(), "\0", m_Path.c_str()))
            throw BcamException(FailureCode(), "CIniFilePropertyBag::Create()");
    } else if (!exists) {
        throw BcamException(codes::kSectionMissing, kContext);
    }
}

CPropertyBagPtr CIniFilePropertyBag::CreateBag(const std::string& name) {
    return CPropertyBagPtr::Make<CIniFilePropertyBag>(m_Path, name, true);
}

CPropertyBagPtr CIniFilePropertyBag::GetBag(const std::string& name) {
    return CPropertyBagPtr::Make<CIniFilePropertyBag>(m_Path, name, false);
}

std::uint32_t CIniFilePropertyBag::DoWriteString(const std::string& key, const std::string& value) {
    // A read drops one pair of matching quotes around a value: a value that has them gets one
    // more pair, so that it reads back as it was written.
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    const std::string text = quoted ? value.front() + value + value.back() : value;
    if (platform::ProfileWriteString(m_Section.c_str(), key.c_str(), text.c_str(), m_Path.c_str()))
        return 0;
    return FailureCode();
}

std::uint32_t CIniFilePropertyBag::DoReadString(const std::string& key, std::string& value) {
    char buffer[kValueBufferSize] = {};
    const std::uint32_t length = platform::ProfileGetString(m_Section.c_str(), key.c_str(), "",
                                                            buffer, sizeof buffer, m_Path.c_str());
    if (length == 0) return codes::kKeyMissing;
    value.assign(buffer, strnlen(buffer, sizeof buffer));
    return 0;
}

}  // namespace Bcam
