#pragma once
// The program's resources (pictures, icon, strings), looked up by the names and ids the window
// code uses. Numeric ids are written "#129". On Linux they are compiled into the executable as a
// table (res/Resources_posix.cpp); on Windows they are the executable's own resources, compiled
// from res/Resources.rc by the resource compiler and read with FindResource, LoadResource and
// LoadString on the program's module (res/Resources_win32.cpp).
//
// Pictures (drawn by tools/picture-gen):
//   "#129"               type "BITMAP"  the window skin, 320 x 320, 24 bits per pixel
//   "BITMAP_BTNONLINE_0" type "BMP"     red lamp (simulator link offline), 144 x 144 BMP file
//   "BITMAP_BTNONLINE_1" type "BMP"     green lamp (online), 144 x 144 BMP file
//   "BITMAP_BTNEXIT_0"   type "BMP"     exit strip, 80 x 25 BMP file
//   "BITMAP_BTNEXIT_1"   type "BMP"     exit strip under the pointer (lighter), 80 x 25 BMP file
//   "#128"               type "ICON"    application icon: images of 256, 128, 64, 48 and 32
//                                       pixels, 32 bits per pixel with alpha
// A "BMP" picture is a whole BMP file on both systems: 14-byte file header, 40-byte information
// header, uncompressed, rows bottom-up. Names and types are compared without regard to case.
//
// The system's own types differ as the systems store them:
//   Linux    "#129" "BITMAP" is the whole BMP file; every icon image is a PNG file, and
//            FindResource("#128", "ICON") gives the 256-pixel one.
//   Windows  "#129" "BITMAP" is the bitmap resource, a BMP file without its 14-byte file header
//            (LoadImage reads it); FindResource("#128", "ICON") gives the icon group's directory,
//            and an icon image is what the .ico file held: PNG for 256 pixels, an uncompressed
//            bitmap with its mask for the smaller ones.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "res/ResourceText.h"

namespace res {

// String-table ids.
inline constexpr int kIdsAboutBox = IDS_ABOUTBOX;           // "&About TarvelXConnect Extended..."
inline constexpr int kIdsAboutVersion = IDS_ABOUT_VERSION;  // first text line of the About box
inline constexpr int kIdsAboutDescription = IDS_ABOUT_DESCRIPTION;  // second text line
inline constexpr int kIdsAboutTitle = IDS_ABOUT_TITLE;              // "About program"

inline constexpr std::string_view kSkinName = "#129";
inline constexpr std::string_view kIconName = "#128";

// The bytes of resource `name` of type `type` ("BMP", "BITMAP", "ICON"), or an empty span when the
// program has no such resource. The bytes stay valid for the life of the process.
std::span<const unsigned char> FindResource(std::string_view name, std::string_view type);

// The image of icon `name` whose size is the smallest at least `pixels` wide, or the largest when
// none is that big; empty when there is no such icon.
std::span<const unsigned char> FindIcon(std::string_view name, int pixels);

// String-table entry `id`, or empty text when there is none.
std::string LoadResourceString(int id);

}  // namespace res
