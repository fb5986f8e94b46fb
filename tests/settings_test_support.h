// Shared helpers of the settings and feature tests: a bag that keeps its values in memory and
// records every access, and INI texts compared line by line.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "errors/error_codes.h"
#include "errors/exception.h"
#include "settings/property_bag.h"
#include "test_support.h"

namespace fennex_test {

using fennex::test::Raised;
using fennex::test::RaisedBy;
using fennex::test::ReadFile;
using fennex::test::ScratchDirectory;
using fennex::test::WriteFile;

// The lines of an INI text with LF line ends and without blank lines, so that files written
// by the profile services of either platform compare alike.
inline std::string IniLines(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n' && (out.empty() || out.back() == '\n')) continue;
        out += c;
    }
    return out;
}

// Values kept in memory; every access is logged in order as "W key=value", "R key" or
// "bag name" (for sub-bags made or opened) so tests see exactly what was touched.
class RecordingBag : public Bcam::CPropertyBag {
public:
    struct Store {
        std::map<std::string, std::map<std::string, std::string>> sections;
        std::vector<std::string> log;
    };

    RecordingBag(Store& store, std::string section) : store_(store), section_(std::move(section)) {
        store_.sections[section_];
    }

    static Bcam::CPropertyBagPtr Make(Store& store, const std::string& section) {
        return Bcam::CPropertyBagPtr::Make<RecordingBag>(store, section);
    }

    Bcam::CPropertyBagPtr CreateBag(const std::string& name) override {
        store_.log.push_back("bag " + name);
        return Make(store_, name);
    }
    Bcam::CPropertyBagPtr GetBag(const std::string& name) override {
        store_.log.push_back("bag " + name);
        if (!store_.sections.count(name))
            throw Bcam::BcamException(Bcam::codes::kSectionMissing, "RecordingBag::GetBag");
        return Make(store_, name);
    }

protected:
    std::uint32_t DoWriteString(const std::string& key, const std::string& value) override {
        store_.log.push_back("W " + key + "=" + value);
        store_.sections[section_][key] = value;
        return 0;
    }
    std::uint32_t DoReadString(const std::string& key, std::string& value) override {
        store_.log.push_back("R " + key);
        auto& keys = store_.sections[section_];
        auto it = keys.find(key);
        if (it == keys.end() || it->second.empty()) return Bcam::codes::kKeyMissing;
        value = it->second;
        return 0;
    }

private:
    Store& store_;
    std::string section_;
};

}  // namespace fennex_test
