#pragma once
// How resource names and types compare on both systems: without regard to the case of ASCII
// letters, as the Windows resource functions compare them.

#include <cstddef>
#include <string_view>

namespace res {

inline bool SameResourceName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i])) return false;
    }
    return true;
}

}  // namespace res
