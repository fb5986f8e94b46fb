// The one exception type of the camera class library.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace Bvc {

class Exception {
public:
    Exception(std::uint32_t error, std::string context);
    virtual ~Exception();
    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;

    std::uint32_t Error() const { return m_Error; }
    std::string Description() const { return m_Description; }
    std::string Context() const { return m_Context; }

protected:
    // Looks up the text of m_Error: the message module, the system, the host executable; then
    // merges `arguments` into it once when given.
    virtual void FormatDescription(const std::string& moduleName,
                                   const std::vector<std::uintptr_t>* arguments);

    std::uint32_t m_Error;
    std::string m_Description;
    std::string m_Context;
};

}  // namespace Bvc

namespace Bcam {

class BcamException : public Bvc::Exception {
public:
    BcamException(std::uint32_t error, std::string context);
    // With message inserts %1, %2, ...: numbers, or pointers to terminated strings, as the
    // message text's insert formats expect.
    BcamException(std::uint32_t error, std::string context,
                  std::initializer_list<std::uintptr_t> arguments);

protected:
    // Clears the customer bit of driver status codes (facility 0xFE0) before the lookup.
    void FormatDescription(const std::string& moduleName,
                           const std::vector<std::uintptr_t>* arguments) override;
};

// The process-wide message module name, "BcamError.dll" while the library is loaded.
// Returned by value: tests may change it while other threads raise exceptions.
std::string MessageModuleName();
// Raises BcamException 0x80070057 for a name that no module can have (over 260 characters,
// or with a NUL in it).
void SetMessageModuleName(std::string name);

}  // namespace Bcam
