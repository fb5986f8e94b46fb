#include "settings/property_bag.h"

#include <charconv>
#include <system_error>

#include "errors/error_codes.h"
#include "errors/exception.h"
#include "platform/sync.h"

namespace Bcam {

namespace {

bool IsScanSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(const std::string& text, const char* word) {
    std::size_t i = 0;
    for (; i < text.size() && word[i] != '\0'; ++i)
        if (LowerAscii(text[i]) != word[i]) return false;
    return i == text.size() && word[i] == '\0';
}

void Check(std::uint32_t error, const char* context) {
    if (error != 0) throw BcamException(error, context);
}

}  // namespace

// --- value texts

std::string BoolText(bool value) { return value ? "true" : "false"; }

std::string LongText(std::int32_t value) { return std::to_string(value); }

std::string FloatText(float value) {
    // "%f" of the value widened to double; to_chars keeps the text independent of the C
    // locale and of the runtime's printf, so every build writes the same file.
    char buffer[400];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                   std::chars_format::fixed, 6);
    if (ec != std::errc()) return "0.000000";  // cannot happen: a float fits in 400 digits
    return std::string(buffer, end);
}

bool ParseBool(const std::string& text, bool& value) {
    if (EqualsIgnoringCase(text, "true")) {
        value = true;
        return true;
    }
    if (EqualsIgnoringCase(text, "false")) {
        value = false;
        return true;
    }
    return false;
}

// As "%ld" scans: white space skipped, a sign, decimal digits; whatever follows is ignored.
// A number outside the 32-bit range is refused rather than wrapped.
bool ParseLong(const std::string& text, std::int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && IsScanSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t digitsStart = i;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > std::int64_t{1} << 31) return false;
    }
    if (i == digitsStart) return false;
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT32_MAX) return false;
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

// As "%f" scans: white space skipped, a signed decimal or exponent form; the rest ignored.
bool ParseFloat(const std::string& text, float& value) {
    const char* p = text.c_str();
    const char* end = p + text.size();
    while (p < end && IsScanSpace(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p < end && (*p == '+' || *p == '-')) return false;  // from_chars would take a second '-'
    float parsed = 0;
    auto [stop, ec] = std::from_chars(p, end, parsed, std::chars_format::general);
    // A number beyond the float range is refused rather than clamped.
    if (stop == p || ec != std::errc()) return false;
    value = negative ? -parsed : parsed;
    return true;
}

// --- typed operations

void CPropertyBag::WriteBool(const std::string& key, bool value) {
    Check(DoWriteString(key, BoolText(value)), "CPropertyBag::WriteBool()");
}

bool CPropertyBag::ReadBool(const std::string& key) {
    static constexpr const char* kContext = "CPropertyBag::ReadBool()";
    std::string text;
    Check(DoReadString(key, text), kContext);
    bool value = false;
    if (!ParseBool(text, value)) throw BcamException(codes::kBadValueText, kContext);
    return value;
}

void CPropertyBag::WriteLong(const std::string& key, std::int32_t value) {
    Check(DoWriteString(key, LongText(value)), "CPropertyBag::WriteLong()");
}

std::int32_t CPropertyBag::ReadLong(const std::string& key) {
    static constexpr const char* kContext = "CPropertyBag::ReadLong()";
    std::string text;
    Check(DoReadString(key, text), kContext);
    std::int32_t value = 0;
    if (!ParseLong(text, value)) throw BcamException(codes::kBadValueText, kContext);
    return value;
}

void CPropertyBag::WriteFloat(const std::string& key, float value) {
    Check(DoWriteString(key, FloatText(value)), "CPropertyBag::WriteFloat()");
}

float CPropertyBag::ReadFloat(const std::string& key) {
    static constexpr const char* kContext = "CPropertyBag::ReadFloat()";
    std::string text;
    Check(DoReadString(key, text), kContext);
    float value = 0;
    if (!ParseFloat(text, value)) throw BcamException(codes::kBadValueText, kContext);
    return value;
}

void CPropertyBag::WriteString(const std::string& key, const std::string& value) {
    Check(DoWriteString(key, value), "CPropertyBag::WriteString()");
}

std::string CPropertyBag::ReadString(const std::string& key) {
    std::string text;
    Check(DoReadString(key, text), "CPropertyBag::ReadString()");
    return text;
}

// --- handles

CPropertyBagPtr::CPropertyBagPtr(std::unique_ptr<CPropertyBag> bag) : m_pBag(bag.release()) {
    if (m_pBag) fennex::platform::InterlockedIncrement32(&m_pBag->m_RefCount);
}

CPropertyBagPtr::CPropertyBagPtr(const CPropertyBagPtr& other) : m_pBag(other.m_pBag) {
    if (m_pBag) fennex::platform::InterlockedIncrement32(&m_pBag->m_RefCount);
}

CPropertyBagPtr::~CPropertyBagPtr() { Release(); }

void CPropertyBagPtr::Release() {
    CPropertyBag* bag = std::exchange(m_pBag, nullptr);
    // The handle that takes the count to 0 is the last owner.
    if (bag && fennex::platform::InterlockedDecrement32(&bag->m_RefCount) == 0)
        std::default_delete<CPropertyBag>()(bag);
}

}  // namespace Bcam
