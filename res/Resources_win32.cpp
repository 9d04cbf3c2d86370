// The program's resources as Windows keeps them: the executable's own resource section, compiled
// from res/Resources.rc, read with FindResource, LoadResource and LoadString on the program's
// module. Nothing is copied: resource data stays mapped for the life of the process.

#include <cstdint>
#include <cstdlib>

#include "platform/WindowsHeader_win32.h"
#include "res/ResourceNames.h"
#include "res/Resources.h"

namespace res {

namespace {

// A resource name or type as the system takes it: "#129" is the number 129, anything else a name.
class ResourceName {
  public:
    explicit ResourceName(std::string_view text) : m_text(text) {
        if (m_text.size() < 2 || m_text[0] != '#') return;
        char* end = nullptr;
        const unsigned long number = std::strtoul(m_text.c_str() + 1, &end, 10);
        if (*end == '\0' && number > 0 && number <= 0xFFFF) m_id = static_cast<WORD>(number);
    }
    LPCSTR Get() const { return m_id != 0 ? MAKEINTRESOURCEA(m_id) : m_text.c_str(); }
    bool Empty() const { return m_text.empty(); }

  private:
    std::string m_text;
    WORD m_id = 0;
};

// The system's own types by the names the window code uses; custom types ("BMP") by name.
ResourceName TypeName(std::string_view type) {
    if (SameResourceName(type, "BITMAP")) return ResourceName("#2");  // RT_BITMAP
    if (SameResourceName(type, "ICON")) return ResourceName("#14");   // RT_GROUP_ICON
    return ResourceName(type);
}

std::span<const unsigned char> ResourceBytes(LPCSTR name, LPCSTR type) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, name, type);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) return {};
    return {static_cast<const unsigned char*>(data), size};
}

std::uint16_t Read16(std::span<const unsigned char> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

}  // namespace

std::span<const unsigned char> FindResource(std::string_view name, std::string_view type) {
    const ResourceName resourceName(name);
    const ResourceName typeName = TypeName(type);
    if (resourceName.Empty() || typeName.Empty()) return {};
    return ResourceBytes(resourceName.Get(), typeName.Get());
}

std::span<const unsigned char> FindIcon(std::string_view name, int pixels) {
    // The group's directory: a 6-byte header with the count, then 14 bytes per image (width and
    // height as bytes, 0 for 256; ...; the image's resource id in the last two).
    constexpr std::size_t kHeaderBytes = 6;
    constexpr std::size_t kEntryBytes = 14;
    const std::span<const unsigned char> group = FindResource(name, "ICON");
    if (group.size() < kHeaderBytes) return {};
    const std::size_t count = Read16(group, 4);
    if (group.size() < kHeaderBytes + count * kEntryBytes) return {};
    int bestPixels = 0, largestPixels = 0;
    std::uint16_t bestId = 0, largestId = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = kHeaderBytes + i * kEntryBytes;
        const int width = group[entry] == 0 ? 256 : group[entry];
        const std::uint16_t id = Read16(group, entry + 12);
        if (width > largestPixels) {
            largestPixels = width;
            largestId = id;
        }
        if (width >= pixels && (bestId == 0 || width < bestPixels)) {
            bestPixels = width;
            bestId = id;
        }
    }
    if (bestId == 0) bestId = largestId;
    if (bestId == 0) return {};
    return ResourceBytes(MAKEINTRESOURCEA(bestId), MAKEINTRESOURCEA(3));  // RT_ICON
}

std::string LoadResourceString(int id) {
    if (id <= 0 || id > 0xFFFF) return {};
    char text[1024];
    const int length =
        LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), text, sizeof text);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace res
