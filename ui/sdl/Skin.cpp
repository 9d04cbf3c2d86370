#include "ui/sdl/Skin.h"

#include <string>

#include "ui/FaceRect.h"
#include "ui/MessageBox.h"
#include "ui/ResourceFinder.h"
#include "ui/sdl/BmpDecoder.h"
#include "ui/sdl/Pointer.h"
#include "ui/sdl/WindowPaint.h"

namespace ui {

namespace {

// The layout of the window surfaces SDL makes for X11 and for the dummy driver, so the paint is a
// plain copy.
constexpr Uint32 kSurfaceFormat = SDL_PIXELFORMAT_RGB888;

SDL_Surface* DecodeBitmapResource(uint16_t resourceId) {
    const auto resource = ui::FindProgramResource("#" + std::to_string(resourceId), "BITMAP");
    if (resource.empty()) return nullptr;
    SDL_Surface* decoded = ui::DecodeBmp(resource.data(), resource.size());
    if (decoded == nullptr) return nullptr;
    SDL_Surface* converted = SDL_ConvertSurfaceFormat(decoded, kSurfaceFormat, 0);
    SDL_FreeSurface(decoded);
    return converted;
}

}  // namespace

CSkin::CSkin(uint16_t resourceId) {
    m_hMemDC = DecodeBitmapResource(resourceId);
    if (m_hMemDC != nullptr) {
        m_bHasPicture = true;
        m_nWidth = m_hMemDC->w;
        m_nHeight = m_hMemDC->h;
        SDL_SetSurfaceBlendMode(m_hMemDC, SDL_BLENDMODE_NONE);
        return;
    }
    ui::ShowMessageBox("Skins loading failed", "Error", ui::MessageIcon::Error);
    // The program goes on with a face of 0 x 0 pixels: painting copies nothing, and drawing on it
    // is harmless.
    m_hMemDC = SDL_CreateRGBSurfaceWithFormat(0, 0, 0, 32, kSurfaceFormat);
}

CSkin::~CSkin() {
    // The window must stop reaching this object before its surface goes.
    Unhook();
    if (m_hMemDC != nullptr) {
        SDL_FreeSurface(m_hMemDC);
        m_hMemDC = nullptr;
    }
    m_bHasPicture = false;
}

bool CSkin::Hook(SDL_Window* window) {
    if (m_bHooked) Unhook();
    if (window == nullptr) return false;
    m_hWnd = window;
    // SDL windows have no shaped regions: the window always shows its full rectangle, which the
    // picture covers exactly.
    ui::WindowProcedure previous = nullptr;
    if (!ui::SetWindowProcedure(window, &CSkin::SkinWndProc, &previous)) return false;
    if (!ui::SetProp(window, kPropertyName, this)) {
        ui::SetWindowProcedure(window, previous);
        m_bHooked = false;
        return false;
    }
    if (previous == nullptr) {
        // Nothing to hand the events on to: leaving the skin in place would make it the window's
        // only handler and leave the window pointing at this object after it is gone.
        ui::SetWindowProcedure(window, nullptr);
        ui::RemoveProp(window, kPropertyName);
        m_bHooked = false;
        return false;
    }
    m_pfnOldWndProc = previous;
    m_bHooked = true;
    ui::InvalidateWindow(window);
    return m_bHooked;
}

bool CSkin::Unhook() {
    if (!m_bHooked) return false;
    // A drag cut short by the unhooking ends here; its press has nowhere to go any more.
    m_bDragging = false;
    const bool restored = ui::SetWindowProcedure(m_hWnd, m_pfnOldWndProc);
    ui::RemoveProp(m_hWnd, kPropertyName);
    if (restored) m_bHooked = false;
    ui::InvalidateWindow(m_hWnd);
    return !m_bHooked;
}

bool CSkin::Refresh() {
    if (!m_bHooked || !m_bHasPicture) return false;
    ui::InvalidateWindow(m_hWnd);
    return true;
}

ui::WindowResult CSkin::SkinWndProc(SDL_Window* window, const SDL_Event& event) {
    auto* skin = static_cast<CSkin*>(ui::GetProp(window, kPropertyName));
    if (skin == nullptr) return ui::DefaultWindowProcedure(window, event);
    return skin->HandleEvent(window, event);
}

ui::WindowResult CSkin::HandleEvent(SDL_Window* window, const SDL_Event& event) {
    if (m_bDragging) {
        if (event.type == SDL_MOUSEMOTION) {
            // A release that never arrived (the pointer went to another program) ends the drag
            // at the next move.
            if ((event.motion.state & SDL_BUTTON_LMASK) == 0) {
                EndDrag(window);
            } else {
                FollowPointer(window);
            }
        } else if (event.type == SDL_MOUSEBUTTONUP && event.button.button == SDL_BUTTON_LEFT) {
            EndDrag(window);
        } else if (event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_LEFT) {
            EndDrag(window);  // the release was lost; this press is a new one
        }
    }

    if (ui::IsPaintEvent(event)) PaintFace(window);

    if (event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_LEFT) {
        // The press's own position is stale by now; what counts is where the pointer is.
        if (!g_rcExitButton.Contains(ui::GetClientCursorPos(window))) {
            BeginDrag(window, event);
            return 0;
        }
    }
    return ui::CallWindowProcedure(m_pfnOldWndProc, window, event);
}

void CSkin::PaintFace(SDL_Window* window) {
    SDL_Surface* target = ui::BeginPaint(window);
    if (target == nullptr || m_hMemDC == nullptr || !m_bHasPicture) return;
    SDL_Rect source{0, 0, m_nWidth, m_nHeight};
    SDL_Rect destination{0, 0, m_nWidth, m_nHeight};
    SDL_BlitSurface(m_hMemDC, &source, target, &destination);
    // Showing the frame is left to the end of the procedure chain, after the pictures are on it.
}

void CSkin::BeginDrag(SDL_Window* window, const SDL_Event& press) {
    m_bDragging = true;
    m_dragPress = press;
    m_ptDragPointer = ui::GetCursorPos(window);
    SDL_GetWindowPosition(window, &m_ptDragWindow.x, &m_ptDragWindow.y);
}

void CSkin::FollowPointer(SDL_Window* window) {
    const SDL_Point pointer = ui::GetCursorPos(window);
    const int x = m_ptDragWindow.x + pointer.x - m_ptDragPointer.x;
    const int y = m_ptDragWindow.y + pointer.y - m_ptDragPointer.y;
    int currentX = 0;
    int currentY = 0;
    SDL_GetWindowPosition(window, &currentX, &currentY);
    if (x != currentX || y != currentY) SDL_SetWindowPosition(window, x, y);
}

ui::WindowResult CSkin::EndDrag(SDL_Window* window) {
    FollowPointer(window);
    m_bDragging = false;
    return ui::CallWindowProcedure(m_pfnOldWndProc, window, m_dragPress);
}

}  // namespace ui
