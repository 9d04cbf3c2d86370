#pragma once
// The program's pictures, each drawn from scratch by code.

#include "tools/picture-gen/Canvas.h"
#include "tools/picture-gen/FontLibrary.h"

// The window face, 320 x 320: title, lamp socket, exit slot and the dark address band.
Canvas DrawSkin(FontLibrary& fonts);
// The status lamp, 144 x 144, lit red (offline) or green (online). Its corners are the skin's own
// pixels under the lamp's place, so the picture sits seamlessly in the socket.
Canvas DrawLamp(const Canvas& skin, bool online);
// The exit strip, 80 x 25, normal or lighter while the pointer is over it; drawn over the skin's
// exit slot in the same way.
Canvas DrawExitStrip(const Canvas& skin, FontLibrary& fonts, bool hover);
// The application icon at `size` x `size` pixels, transparent around a rounded square.
Canvas DrawIcon(int size);
// The banner of the status page.
Canvas DrawBanner(FontLibrary& fonts);
// The MCDU of the remote MCDU page, 576 px wide, every key at its place in McduKeyTable.
Canvas DrawMcdu(FontLibrary& fonts);
