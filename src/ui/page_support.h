// Helpers shared by the pages' implementations.
#pragma once

#include <cstdio>
#include <string>

namespace fennex::ui::detail {

// Runs a camera read or write; any failure is dropped and reported as false.
template <class Step>
bool Guarded(Step&& step) noexcept {
    try {
        step();
        return true;
    } catch (...) {
        return false;
    }
}

// A yes/no camera query whose failure counts as no.
template <class Query>
bool Holds(Query&& query) noexcept {
    try {
        return query();
    } catch (...) {
        return false;
    }
}

inline std::string Decimal(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return text;
}

// A string resource with "%d" in it, filled with `value`. The pattern comes from a resource,
// so it is never handed to printf.
inline std::string FillNumber(std::string pattern, int value) {
    const std::size_t at = pattern.find("%d");
    if (at != std::string::npos) pattern.replace(at, 2, Decimal(value));
    return pattern;
}

}  // namespace fennex::ui::detail
