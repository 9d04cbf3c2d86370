#pragma once
// The main window on SDL: the borderless window, its skin, the status lamp and the exit strip, the
// hand pointer, the address label in SDL_ttf, the About box, SDL's event loop and the presence
// timer on SDL's timer thread. The face (ui/WindowFace.h) decides what the pictures and the
// pointer show and what a press means; keys and the close box go to the main window's events
// (ui/MainWindowEvents.h).
//
// The member functions are implemented in two files:
//   ui/sdl/SdlMainWindowView.cpp  events, painting, pictures, pointer, address label, About box
//   ui/sdl/SdlEventLoop.cpp       SDL's start and end, the event loop, the wake, the timer
//
// Window thread only, except WakeEventLoop, PostQuit and the timer's callback, which reach only
// the atomic fields below and m_quitMutex.

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <future>
#include <string>

#include "platform/Mutex.h"
#include "ui/FaceSystem.h"
#include "ui/MainWindowView.h"
#include "ui/WindowFace.h"
#include "ui/sdl/AddressFont.h"
#include "ui/sdl/PictureEx.h"

namespace ui {

class CSkin;

class SdlMainWindowView final : public MainWindowView, private FaceSystem {
  public:
    explicit SdlMainWindowView(MainWindowEvents& events);
    ~SdlMainWindowView() override;
    SdlMainWindowView(const SdlMainWindowView&) = delete;
    SdlMainWindowView& operator=(const SdlMainWindowView&) = delete;

    // ---- MainWindowView ------------------------------------------------------------------------
    bool StartWindowSystem() override;
    void StopWindowSystem() override;
    void RunEventLoop() override;
    void WakeEventLoop() override;
    void PostQuit() override;
    void StartPresenceTimer(unsigned id, unsigned periodMs) override;
    void StopPresenceTimer() override;
    bool CreateMainWindow(const std::string& title, int width, int height) override;
    void SetProgramIcon() override;
    void PlacePictureControls() override;
    bool CreateSkin() override;
    void ShowAt(int x, int y, int width, int height, const std::string& title) override;
    void CreateAddressFont() override;
    void SetOnlineLamp(bool online) override;
    void DrawAddressLabel(const std::string& text) override;
    void ShowAboutBox() override;
    void DestroySkin() override;
    void DeleteAddressFont() override;
    void DestroyWindow() override;

    // ---- SDL's events ---------------------------------------------------------------------------
    // One event of the window: the skin sees it first (it paints the face under the pictures and
    // holds a press back while it drags the window), then the view hands it to the face.
    void HandleEvent(const SDL_Event& event);
    // The label font, opened on first use once its file has been found; none without a font.
    TTF_Font* AddressFont();
    // Asks for a repaint of `rect` (window coordinates) at the window thread's next turn.
    void Repaint(const SDL_Rect& rect);
    // Repaints at once when a repaint is on its way.
    void RepaintNow();
    // Lets tests drive the view on a window of their own, without the rest of the start-up.
    void AttachWindowForTesting(SDL_Window* window) { m_pWindow = window; }

    // ---- The window's pieces (window thread only) ----------------------------------------------
    // Program icon (resource 128).
    SDL_Surface* m_pIcon = nullptr;
    // The window's skin.
    CSkin* m_pSkin = nullptr;
    // The hand pointer, made when the face first needs it.
    SDL_Cursor* m_hHandCursor = nullptr;
    // The skin's surface, on which the address label is drawn.
    SDL_Surface* m_pSkinSurface = nullptr;
    // The status lamp and the exit strip.
    CPictureEx m_picOnline;
    CPictureEx m_picExit;
    // Tahoma 10 pt bold for the address label, opened from the file that m_fontLookup finds when
    // the label is first drawn.
    TTF_Font* m_pFont = nullptr;
    // The search for the label font's file: fontconfig reads its whole configuration first,
    // which takes longer than the rest of the start-up, so it runs beside it instead of holding
    // up the web server. Set and taken by the window thread only; the searching thread hands its
    // result over through the future alone.
    std::future<FontFile> m_fontLookup;

  private:
    // ---- FaceSystem ----------------------------------------------------------------------------
    bool ChangePicture(FaceControl control, const char* name) override;
    bool MakeHandCursor() override;
    void ShowPointer(FacePointer pointer) override;

    // Without a window system of its own (the dummy driver) SDL would poll for events every
    // millisecond; instead the loop sleeps until something is pushed onto the queue. Counted by
    // SDL's event watch on whichever thread pushes, read by the window thread.
    struct QueueWakeup {
        platform::Mutex mutex;
        platform::CondVar pushed;
        uint64_t count GUARDED_BY(mutex) = 0;
    };
    static int CountPush(void* userdata, SDL_Event* event);

    // The view's own handling of an event, behind the skin.
    void OnEvent(const SDL_Event& event);
    void OnPaint();
    void OnRightButtonDown();
    // The presence timer's callback, on SDL's timer thread; `param` is the view.
    static Uint32 OnPresenceTimer(Uint32 interval, void* param);

    // The main window, told of what happens here; it outlives the view.
    MainWindowEvents& m_dlg;
    // What the face shows and what its presses mean.
    WindowFace m_face;
    SDL_Window* m_pWindow = nullptr;
    // The font library was started for the address font.
    bool m_bFontLibraryStarted = false;
    // Result of starting the presence timer (window thread only).
    SDL_TimerID m_nTimerId = 0;
    QueueWakeup m_wakeup;
    // The loop may wait in SDL itself: there is a real display (window thread only).
    bool m_bNativeWait = false;
    // SDL event type of the posted-work wake; 0 while SDL is not started. Set and cleared by the
    // window thread around the run of the window, read by threads that post work or a close.
    std::atomic<Uint32> m_nPostedEvent{0};
    // Held by PostQuit and WakeEventLoop around their push and by StopWindowSystem as it clears
    // m_nPostedEvent: a close request or a wake that comes late (a signal during shutdown) either
    // lands in the queue before SDL shuts down, or sees 0 and is dropped; it never pushes into a
    // queue being torn down.
    platform::Mutex m_quitMutex;
    // SDL event type of the presence tick, and the timer id the tick carries. Set by the window
    // thread before the timer starts; read by SDL's timer thread.
    std::atomic<Uint32> m_nTimerEvent{0};
    std::atomic<unsigned> m_nTimerCode{0};
    // A presence tick is in the queue and not yet taken. Set by SDL's timer thread when it pushes
    // one (the exchange lets only one push through), cleared by the window thread as it takes it.
    std::atomic<bool> m_bPresenceTickPending{false};
};

}  // namespace ui
