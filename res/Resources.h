#pragma once
// The program's resources (pictures, icon, strings), compiled into the executable by the build and
// looked up by the names and ids the window code uses. Numeric ids are written "#129".

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace res {

// The bytes of resource `name` of type `type` ("BMP", "BITMAP", "ICON"), or an empty span when the
// program has no such resource.
std::span<const unsigned char> FindResource(std::string_view name, std::string_view type);

// String-table entry `id`, or empty text when there is none.
std::string LoadResourceString(int id);

}  // namespace res
