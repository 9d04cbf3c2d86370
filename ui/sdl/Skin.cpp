#include "ui/sdl/Skin.h"

#include <string>

#include "ui/FaceRect.h"
#include "ui/MessageBox.h"
#include "ui/ResourceFinder.h"
#include "ui/sdl/BmpDecoder.h"
#include "ui/sdl/Pointer.h"
#include "ui/sdl/Repaint.h"

namespace ui {

namespace {

// The layout of the window surfaces SDL makes for X11 and for the dummy driver, so the paint is a
// plain copy.
constexpr Uint32 kSurfaceFormat = SDL_PIXELFORMAT_RGB888;

SDL_Surface* DecodeBitmapResource(uint16_t resourceId) {
    // Appended, not prepended: GCC 12's -O3 misreads a literal + string as overlapping copies.
    std::string name = "#";
    name += std::to_string(resourceId);
    const auto resource = ui::FindProgramResource(name, "BITMAP");
    if (resource.empty()) return nullptr;
    SDL_Surface* decoded = ui::DecodeBmp(resource.data(), resource.size());
    if (decoded == nullptr) return nullptr;
    SDL_Surface* converted = SDL_ConvertSurfaceFormat(decoded, kSurfaceFormat, 0);
    SDL_FreeSurface(decoded);
    return converted;
}

}  // namespace

CSkin::CSkin(uint16_t resourceId) {
    m_pSurface = DecodeBitmapResource(resourceId);
    if (m_pSurface != nullptr) {
        m_bHasPicture = true;
        m_nWidth = m_pSurface->w;
        m_nHeight = m_pSurface->h;
        SDL_SetSurfaceBlendMode(m_pSurface, SDL_BLENDMODE_NONE);
        return;
    }
    ui::ShowMessageBox("Skins loading failed", "Error", ui::MessageIcon::Error);
    // The program goes on with a face of 0 x 0 pixels: painting copies nothing, and drawing on it
    // is harmless.
    m_pSurface = SDL_CreateRGBSurfaceWithFormat(0, 0, 0, 32, kSurfaceFormat);
}

CSkin::~CSkin() {
    // The window must stop reaching this object before its surface goes.
    Unhook();
    if (m_pSurface != nullptr) {
        SDL_FreeSurface(m_pSurface);
        m_pSurface = nullptr;
    }
    m_bHasPicture = false;
}

bool CSkin::Hook(SDL_Window* window) {
    if (IsHooked()) Unhook();
    if (window == nullptr) return false;
    // SDL windows have no shaped regions: the window always shows its full rectangle, which the
    // picture covers exactly.
    m_pWindow = window;
    ui::AskRepaint(window);
    return true;
}

bool CSkin::Unhook() {
    if (!IsHooked()) return false;
    // A drag cut short here ends without its press: the window's handlers may be going too.
    m_bDragging = false;
    ui::AskRepaint(m_pWindow);
    m_pWindow = nullptr;
    return true;
}

bool CSkin::Refresh() {
    if (!IsHooked() || !m_bHasPicture) return false;
    ui::AskRepaint(m_pWindow);
    return true;
}

void CSkin::HandleEvent(const SDL_Event& event, const EventHandler& next) {
    if (!IsHooked()) {
        next(event);
        return;
    }
    if (m_bDragging) {
        if (event.type == SDL_MOUSEMOTION) {
            // A release that never arrived (the pointer went to another program) ends the drag
            // at the next move.
            if ((event.motion.state & SDL_BUTTON_LMASK) == 0) {
                EndDrag(next);
            } else {
                FollowPointer();
            }
        } else if (event.type == SDL_MOUSEBUTTONUP && event.button.button == SDL_BUTTON_LEFT) {
            EndDrag(next);
        } else if (event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_LEFT) {
            EndDrag(next);  // the release was lost; this press is a new one
        }
    }

    if (ui::IsRepaintEvent(event)) PaintFace();

    if (event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_LEFT) {
        // The press's own position is stale by now; what counts is where the pointer is.
        if (!g_rcExitButton.Contains(ui::GetMousePositionInWindow(m_pWindow))) {
            BeginDrag(event);
            return;
        }
    }
    next(event);
}

void CSkin::PaintFace() {
    SDL_Surface* target = ui::TakeRepaint(m_pWindow);
    if (target == nullptr || m_pSurface == nullptr || !m_bHasPicture) return;
    SDL_Rect source{0, 0, m_nWidth, m_nHeight};
    SDL_Rect destination{0, 0, m_nWidth, m_nHeight};
    SDL_BlitSurface(m_pSurface, &source, target, &destination);
    // Showing the frame is left to the window's own paint, after the pictures are on it.
}

void CSkin::BeginDrag(const SDL_Event& press) {
    m_bDragging = true;
    m_dragPress = press;
    m_dragPointer = ui::GetGlobalMousePosition(m_pWindow);
    SDL_GetWindowPosition(m_pWindow, &m_dragWindow.x, &m_dragWindow.y);
}

void CSkin::FollowPointer() {
    const SDL_Point pointer = ui::GetGlobalMousePosition(m_pWindow);
    const int x = m_dragWindow.x + pointer.x - m_dragPointer.x;
    const int y = m_dragWindow.y + pointer.y - m_dragPointer.y;
    int currentX = 0;
    int currentY = 0;
    SDL_GetWindowPosition(m_pWindow, &currentX, &currentY);
    if (x != currentX || y != currentY) SDL_SetWindowPosition(m_pWindow, x, y);
}

void CSkin::EndDrag(const EventHandler& next) {
    FollowPointer();
    m_bDragging = false;
    next(m_dragPress);
}

}  // namespace ui
