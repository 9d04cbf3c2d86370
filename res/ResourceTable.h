#pragma once
// The table of compiled-in resources. Its definition is generated at build time by picture-gen
// (ResourceTable.cpp in the build tree); Resources.cpp searches it.

#include <cstddef>

namespace res::detail {

struct ResourceEntry {
    const char* name;
    const char* type;
    int pixels;  // width and height of an icon image; 0 for other resources
    const unsigned char* data;
    std::size_t size;
};

extern const ResourceEntry kResourceEntries[];
extern const std::size_t kResourceEntryCount;

}  // namespace res::detail
