#pragma once
// The program's resources (pictures, icon, strings), compiled into the executable by the build and
// looked up by the names and ids the window code uses. Numeric ids are written "#129".
//
// Pictures (drawn by tools/picture-gen; each one a complete file):
//   "#129"               type "BITMAP"  the window skin, 320 x 320 BMP, 24 bits per pixel
//   "BITMAP_BTNONLINE_0" type "BMP"     red lamp (simulator link offline), 144 x 144 BMP
//   "BITMAP_BTNONLINE_1" type "BMP"     green lamp (online), 144 x 144 BMP
//   "BITMAP_BTNEXIT_0"   type "BMP"     exit strip, 80 x 25 BMP
//   "BITMAP_BTNEXIT_1"   type "BMP"     exit strip under the pointer (lighter), 80 x 25 BMP
//   "#128"               type "ICON"    application icon: PNG images (8 bits per channel with
//                                       alpha) of 256, 128, 64, 48 and 32 pixels; FindResource
//                                       gives the 256-pixel one, FindIcon any of them
// BMP files are stored whole: 14-byte file header, 40-byte information header, uncompressed, rows
// bottom-up. Names and types are compared without regard to case.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace res {

// String-table ids.
inline constexpr int kIdsAboutBox = 101;          // "&About TarvelXConnect Extended..."
inline constexpr int kIdsAboutVersion = 102;      // first text line of the About box
inline constexpr int kIdsAboutDescription = 103;  // second text line of the About box
inline constexpr int kIdsAboutTitle = 104;        // "About program"

inline constexpr std::string_view kSkinName = "#129";
inline constexpr std::string_view kIconName = "#128";

// The bytes of resource `name` of type `type` ("BMP", "BITMAP", "ICON"), or an empty span when the
// program has no such resource.
std::span<const unsigned char> FindResource(std::string_view name, std::string_view type);

// The image of icon `name` whose size is the smallest at least `pixels` wide, or the largest when
// none is that big; empty when there is no such icon.
std::span<const unsigned char> FindIcon(std::string_view name, int pixels);

// String-table entry `id`, or empty text when there is none.
std::string LoadResourceString(int id);

}  // namespace res
