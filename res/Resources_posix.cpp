// The resource table that picture-gen writes (ResourceTable.cpp in the build tree), searched by
// name and type, and the string table.

#include <map>

#include "res/ResourceNames.h"
#include "res/ResourceTable.h"
#include "res/Resources.h"

namespace res {

namespace {

std::span<const unsigned char> Bytes(const detail::ResourceEntry& entry) {
    return {entry.data, entry.size};
}

const std::map<int, std::string>& StringTable() {
    static const std::map<int, std::string> table = {
        {kIdsAboutBox, TX_TEXT_ABOUTBOX},
        {kIdsAboutVersion, TX_TEXT_ABOUT_VERSION},
        {kIdsAboutDescription, TX_TEXT_ABOUT_DESCRIPTION},
        {kIdsAboutTitle, TX_TEXT_ABOUT_TITLE},
    };
    return table;
}

}  // namespace

std::span<const unsigned char> FindResource(std::string_view name, std::string_view type) {
    for (std::size_t i = 0; i < detail::kResourceEntryCount; ++i) {
        const detail::ResourceEntry& entry = detail::kResourceEntries[i];
        if (SameResourceName(entry.name, name) && SameResourceName(entry.type, type))
            return Bytes(entry);
    }
    return {};
}

std::span<const unsigned char> FindIcon(std::string_view name, int pixels) {
    const detail::ResourceEntry* best = nullptr;
    const detail::ResourceEntry* largest = nullptr;
    for (std::size_t i = 0; i < detail::kResourceEntryCount; ++i) {
        const detail::ResourceEntry& entry = detail::kResourceEntries[i];
        if (!SameResourceName(entry.name, name) || !SameResourceName(entry.type, "ICON")) continue;
        if (largest == nullptr || entry.pixels > largest->pixels) largest = &entry;
        if (entry.pixels >= pixels && (best == nullptr || entry.pixels < best->pixels)) {
            best = &entry;
        }
    }
    if (best == nullptr) best = largest;
    return best == nullptr ? std::span<const unsigned char>{} : Bytes(*best);
}

std::string LoadResourceString(int id) {
    const auto found = StringTable().find(id);
    return found == StringTable().end() ? std::string() : found->second;
}

}  // namespace res
