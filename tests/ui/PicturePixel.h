#pragma once
// The program's pictures as a window test sees them, the same way on both systems: the pixel it
// expects, read straight from a picture's bytes, and resources of the test's own.

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "res/Resources.h"
#include "ui/ResourceFinder.h"

namespace txtest {

// A pixel of one of the program's 24-bit pictures (0xRRGGBB), y counted from the top. The skin's
// bitmap may come without the BMP file's header, as Windows keeps it.
inline std::uint32_t PicturePixel(std::string_view name, std::string_view type, int x, int y) {
    auto bytes = res::FindResource(name, type);
    if (bytes.size() > 14 && bytes[0] == 'B' && bytes[1] == 'M') bytes = bytes.subspan(14);
    // Little-endian, `count` bytes; 0 past the end, so a wrong guess reads no stray memory.
    auto read = [&](size_t at, int count = 4) {
        std::uint32_t value = 0;
        if (at > bytes.size() || bytes.size() - at < size_t(count)) return value;
        for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[at + i];
        return value;
    };
    const size_t rowBytes = (read(4) * 3 + 3) / 4 * 4;
    return read(read(0) + rowBytes * (read(8) - 1 - y) + x * 3, 3);
}

// Resources looked up by name in `table` before the program's table, for the life of the object:
// an empty entry is a missing picture.
struct FakeResources {
    FakeResources() {
        ui::SetResourceFinder([this](std::string_view name, std::string_view type) {
            const auto found = table.find(name);
            return found != table.end() ? std::span<const unsigned char>(found->second)
                                        : res::FindResource(name, type);
        });
    }
    ~FakeResources() { ui::SetResourceFinder({}); }
    FakeResources(const FakeResources&) = delete;
    std::map<std::string, std::vector<unsigned char>, std::less<>> table;
};

}  // namespace txtest
