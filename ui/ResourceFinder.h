#pragma once
// Where the window's pictures come from: the program's resource table. Tests put a finder of
// their own in front of it to make a picture go missing or to offer one the table lacks.

#include <functional>
#include <span>
#include <string_view>

namespace ui {

using ResourceFinder =
    std::function<std::span<const unsigned char>(std::string_view name, std::string_view type)>;

// The bytes of resource `name` of type `type`; empty when there is none.
std::span<const unsigned char> FindProgramResource(std::string_view name, std::string_view type);

// Replaces the lookup; an empty function restores the program's resource table.
void SetResourceFinder(ResourceFinder finder);

}  // namespace ui
