#include "ui/win32/AddressFont.h"

#include <cstdio>
#include <cstring>

namespace ui {

namespace {

constexpr int kPoints = 10;
constexpr int kPointsPerInch = 72;
constexpr LONG kWeight = 600;

}  // namespace

int AddressFontHeight(int pixelsPerInch) {
    return -MulDiv(kPoints, pixelsPerInch, kPointsPerInch);
}

HFONT CreateAddressFont(HWND window) {
    // The stock GUI font's description, with the face, size and rendering changed.
    LOGFONTA font{};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    HDC screen = GetDC(window);
    const int pixelsPerInch = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(window, screen);
    std::strncpy(font.lfFaceName, "Tahoma", LF_FACESIZE - 1);
    font.lfFaceName[LF_FACESIZE - 1] = '\0';
    font.lfHeight = AddressFontHeight(pixelsPerInch);
    font.lfWeight = kWeight;
    font.lfCharSet = ANSI_CHARSET;
    font.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    HFONT made = CreateFontIndirectA(&font);
    if (made == nullptr)
        std::fprintf(stderr, "Cannot make the address font: error %lu\n", GetLastError());
    return made;
}

}  // namespace ui
