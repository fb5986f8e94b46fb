// A property bag kept as one section of an INI file; its sub-bags are further sections of the
// same file.
#pragma once

#include <string>

#include "settings/property_bag.h"

namespace Bcam {

class CIniFilePropertyBag : public CPropertyBag {
public:
    // A new file (an existing one is deleted first) holding one empty section.
    static CPropertyBagPtr Create(const std::string& fileName, const std::string& section);
    // An existing section of an existing file.
    static CPropertyBagPtr Open(const std::string& fileName, const std::string& section);

    // `path` is the full path of the file. With `create` the section must not exist yet and is
    // written empty; without, it must exist.
    CIniFilePropertyBag(std::string path, std::string section, bool create);

    CPropertyBagPtr CreateBag(const std::string& name) override;
    CPropertyBagPtr GetBag(const std::string& name) override;

protected:
    std::uint32_t DoWriteString(const std::string& key, const std::string& value) override;
    std::uint32_t DoReadString(const std::string& key, std::string& value) override;

private:
    std::string m_Path;
    std::string m_Section;
};

}  // namespace Bcam
