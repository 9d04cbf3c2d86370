// The main window on SDL: its events, through the skin to the face (ui/WindowFace.h) and the main
// window, the skin and the two picture controls, the pictures and the pointer the face asks for,
// the address label and the About box.

#include "ui/sdl/SdlMainWindowView.h"

#include <SDL_image.h>
#include <SDL_ttf.h>

#include <system_error>

#include "res/Resources.h"
#include "ui/MainWindowConstants.h"
#include "ui/sdl/AboutDlg.h"
#include "ui/sdl/Pointer.h"
#include "ui/sdl/Repaint.h"
#include "ui/sdl/Skin.h"

namespace {

constexpr uint16_t kSkinBitmapId = 129;
// The window icon's size: big enough for task bars and window switchers, which scale it down.
constexpr int kWindowIconPixels = 128;

constexpr SDL_Color kAddressColour{0x12, 0xFF, 0x00, 0xFF};

// The window an event is for; 0 for events that belong to no window.
Uint32 EventWindowId(const SDL_Event& event) {
    switch (event.type) {
        case SDL_WINDOWEVENT:
            return event.window.windowID;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            return event.key.windowID;
        case SDL_MOUSEMOTION:
            return event.motion.windowID;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            return event.button.windowID;
        case SDL_MOUSEWHEEL:
            return event.wheel.windowID;
        default:
            return 0;
    }
}

constexpr SDL_Rect ToSdlRect(const ui::FaceRect& rect) {
    return SDL_Rect{rect.left, rect.top, rect.Width(), rect.Height()};
}

}  // namespace

namespace ui {

std::unique_ptr<MainWindowView> MakeMainWindowView(MainWindowEvents& events) {
    return std::make_unique<SdlMainWindowView>(events);
}

SdlMainWindowView::SdlMainWindowView(MainWindowEvents& events)
    : m_dlg(events), m_face(*this, events) {}

SdlMainWindowView::~SdlMainWindowView() = default;

void SdlMainWindowView::HandleEvent(const SDL_Event& event) {
    if (m_pWindow == nullptr) return;
    const Uint32 target = EventWindowId(event);
    if (target != 0 && target != SDL_GetWindowID(m_pWindow)) return;
    if (m_pSkin == nullptr) {
        OnEvent(event);
        return;
    }
    m_pSkin->HandleEvent(event, [this](const SDL_Event& next) { OnEvent(next); });
}

void SdlMainWindowView::OnEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED) OnPaint();
            // The close box goes the way of every close request: the event loop's OnClose.
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) m_dlg.RequestClose();
            break;
        case SDL_MOUSEMOTION:
            // Every move of the pointer over the window is a chance to change the pointer.
            m_face.OnSetCursor(GetMousePositionInWindow(m_pWindow));
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (event.button.button == SDL_BUTTON_LEFT) {
                m_face.OnLButtonDown(GetMousePositionInWindow(m_pWindow));
            }
            if (event.button.button == SDL_BUTTON_RIGHT) OnRightButtonDown();
            break;
        case SDL_KEYDOWN:
            // The dialog keys: Enter and Escape end the window as a close does.
            switch (event.key.keysym.sym) {
                case SDLK_RETURN:
                case SDLK_KP_ENTER:
                case SDLK_ESCAPE:
                    m_dlg.EndDialog(1);
                    break;
                default:
                    break;
            }
            break;
        default:
            break;
    }
}

void SdlMainWindowView::OnPaint() {
    // A minimised window needs no painting here: the window manager shows the window's icon.
    SDL_Surface* surface = ui::TakeRepaint(m_pWindow);
    if (surface == nullptr) return;
    // The skin has painted the face by now; the pictures go on top of it.
    m_picOnline.OnPaint(surface);
    m_picExit.OnPaint(surface);
    SDL_UpdateWindowSurface(m_pWindow);
}

bool SdlMainWindowView::ChangePicture(FaceControl control, const char* name) {
    return ui::ChangePicture(control == FaceControl::Lamp ? m_picOnline : m_picExit, name);
}

bool SdlMainWindowView::MakeHandCursor() {
    m_hHandCursor = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_HAND);
    return m_hHandCursor != nullptr;
}

void SdlMainWindowView::ShowPointer(FacePointer pointer) {
    SDL_Cursor* cursor = pointer == FacePointer::Hand ? m_hHandCursor : SDL_GetDefaultCursor();
    if (cursor != nullptr && SDL_GetCursor() != cursor) SDL_SetCursor(cursor);
}

void SdlMainWindowView::OnRightButtonDown() {
    // Linux windows have no system menu to carry the About entry; a right-click stands in for
    // it, on the same condition that the entry's text exists.
    if (res::LoadResourceString(res::kIdsAboutBox).empty()) return;
    m_dlg.OnSysCommand(kAboutBoxCommand);
}

void SdlMainWindowView::ShowAboutBox() {
    CAboutDlg about;
    about.DoModal(m_pWindow);
}

void SdlMainWindowView::SetOnlineLamp(bool online) {
    m_face.SetOnlineLamp(online);
}

void SdlMainWindowView::DrawAddressLabel(const std::string& text) {
    if (m_pSkinSurface == nullptr) return;
    const SDL_Rect strip = ToSdlRect(g_rcAddressLink);
    SDL_Rect drawn = strip;
    TTF_Font* font = AddressFont();
    if (font != nullptr && !text.empty()) {
        // Blended text has a transparent background: only the letters touch the face.
        if (SDL_Surface* letters = TTF_RenderText_Blended(font, text.c_str(), kAddressColour)) {
            // Centred on one line; letters taller or wider than the strip are not clipped.
            SDL_Rect place{(strip.x * 2 + strip.w - letters->w) / 2,
                           (strip.y * 2 + strip.h - letters->h) / 2, letters->w, letters->h};
            SDL_SetSurfaceBlendMode(letters, SDL_BLENDMODE_BLEND);
            SDL_Rect blitPlace = place;
            SDL_BlitSurface(letters, nullptr, m_pSkinSurface, &blitPlace);
            SDL_UnionRect(&drawn, &place, &drawn);
            SDL_FreeSurface(letters);
        }
    }
    Repaint(drawn);
    RepaintNow();
}

void SdlMainWindowView::SetProgramIcon() {
    if (m_pIcon == nullptr) {
        const auto image = res::FindIcon(res::kIconName, kWindowIconPixels);
        if (!image.empty()) {
            m_pIcon =
                IMG_Load_RW(SDL_RWFromConstMem(image.data(), static_cast<int>(image.size())), 1);
        }
    }
    // SDL has one window icon; the window manager scales it for the title bar and the task bar.
    if (m_pWindow != nullptr && m_pIcon != nullptr) SDL_SetWindowIcon(m_pWindow, m_pIcon);
}

void SdlMainWindowView::PlacePictureControls() {
    auto repaint = [this](const SDL_Rect& rect) { Repaint(rect); };
    for (const FacePlacement& placement : kFacePlacements) {
        CPictureEx& picture = placement.control == FaceControl::Lamp ? m_picOnline : m_picExit;
        const SDL_Rect place = ToSdlRect(placement.place);
        picture.Create(place, repaint);
        ui::ChangePicture(picture, placement.firstPicture);
        // Loading sized the control to its picture; its final place is fixed whatever that was.
        picture.Move(place);
    }
}

bool SdlMainWindowView::CreateSkin() {
    m_pSkin = new CSkin(kSkinBitmapId);
    m_pSkin->Hook(m_pWindow);
    m_pSkin->Refresh();
    m_pSkinSurface = m_pSkin->GetSurface();
    return m_pSkinSurface != nullptr;
}

void SdlMainWindowView::DestroySkin() {
    delete m_pSkin;  // steps aside before its surface goes
    m_pSkin = nullptr;
    m_pSkinSurface = nullptr;
}

void SdlMainWindowView::CreateAddressFont() {
    if (m_pFont != nullptr || m_fontLookup.valid()) return;
    if (!m_bFontLibraryStarted) {
        if (TTF_Init() != 0) return;
        m_bFontLibraryStarted = true;
    }
    try {
        m_fontLookup = std::async(std::launch::async, FindAddressFontFile);
    } catch (const std::system_error&) {
        // No thread to be had: search here and now.
        m_pFont = OpenAddressFont(FindAddressFontFile());
    }
}

TTF_Font* SdlMainWindowView::AddressFont() {
    if (m_pFont == nullptr && m_fontLookup.valid()) {
        m_pFont = OpenAddressFont(m_fontLookup.get());
    }
    return m_pFont;
}

void SdlMainWindowView::DeleteAddressFont() {
    // A search still running ends before the program does.
    if (m_fontLookup.valid()) m_fontLookup.wait();
    m_fontLookup = {};
    if (m_pFont != nullptr) {
        TTF_CloseFont(m_pFont);
        m_pFont = nullptr;
    }
    if (m_bFontLibraryStarted) {
        TTF_Quit();
        m_bFontLibraryStarted = false;
    }
}

void SdlMainWindowView::Repaint(const SDL_Rect& rect) {
    if (m_pWindow == nullptr) return;
    // The whole face is repainted (a few small copies); only a rectangle that misses the window
    // altogether asks for nothing.
    const SDL_Rect client{0, 0, kWindowWidth, kWindowHeight};
    if (!SDL_HasIntersection(&rect, &client)) return;
    ui::AskRepaint(m_pWindow);
}

void SdlMainWindowView::RepaintNow() {
    if (ui::IsRepaintAsked(m_pWindow)) HandleEvent(ui::MakeRepaintEvent(m_pWindow));
}

bool SdlMainWindowView::CreateMainWindow(const std::string& title, int width, int height) {
    m_pWindow = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                 width, height, SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
    return m_pWindow != nullptr;
}

void SdlMainWindowView::ShowAt(int x, int y, int width, int height, const std::string& title) {
    SDL_SetWindowPosition(m_pWindow, x, y);
    SDL_SetWindowSize(m_pWindow, width, height);
    SDL_ShowWindow(m_pWindow);
    SDL_SetWindowTitle(m_pWindow, title.c_str());
    Repaint({0, 0, width, height});
}

void SdlMainWindowView::DestroyWindow() {
    m_picOnline.Unload();
    m_picExit.Unload();
    if (m_pWindow != nullptr) {
        SDL_DestroyWindow(m_pWindow);
        m_pWindow = nullptr;
    }
    if (m_pIcon != nullptr) {
        SDL_FreeSurface(m_pIcon);
        m_pIcon = nullptr;
    }
}

}  // namespace ui
