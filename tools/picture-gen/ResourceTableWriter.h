#pragma once
// Collects the program's resources and writes them as a C++ source: one byte array per
// resource and the table that res/Resources.cpp searches.

#include <cstdint>
#include <string>
#include <vector>

class ResourceTableWriter {
  public:
    // `pixels` is the width (= height) of an icon image, 0 for other resources.
    void Add(const std::string& name, const std::string& type, int pixels,
             std::vector<std::uint8_t> bytes);
    std::string Source() const;
    void Write(const std::string& path) const;

  private:
    struct Entry {
        std::string name;
        std::string type;
        int pixels;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Entry> m_entries;
};
