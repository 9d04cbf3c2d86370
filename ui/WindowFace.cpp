#include "ui/WindowFace.h"

namespace ui {

bool g_bHandCursorMade = false;

WindowFace::WindowFace(FaceSystem& system, FaceEvents& events) : m_system(system), m_dlg(events) {}

void WindowFace::OnLButtonDown(FacePoint point) {
    if (g_rcExitButton.Contains(point)) {
        m_dlg.EndDialog(1);
        return;
    }
    if (g_rcAddressLink.Contains(point)) m_dlg.OnAddressClicked();
}

bool WindowFace::OnSetCursor(FacePoint point) {
    const bool overExit = g_rcExitButton.Contains(point);
    const bool overAddress = g_rcAddressLink.Contains(point);

    if (!overExit && !overAddress) {
        // After a failed load the flag stays set, so the next pointer move tries again.
        if (m_bExitHover && m_system.ChangePicture(FaceControl::Exit, kExitNormal)) {
            m_bExitHover = false;
        }
        m_system.ShowPointer(FacePointer::Default);
        return false;
    }
    // Over the address strip the exit strip keeps whatever it shows.
    if (overExit && !m_bExitHover && m_system.ChangePicture(FaceControl::Exit, kExitHover)) {
        m_bExitHover = true;
    }

    if (!m_bHandCursor && !g_bHandCursorMade) {
        m_bHandCursor = m_system.MakeHandCursor();
        g_bHandCursorMade = true;  // also after a failure: the attempt is never repeated
    }
    if (m_bHandCursor) {
        m_system.ShowPointer(FacePointer::Hand);
        return true;
    }
    m_system.ShowPointer(FacePointer::Default);
    return false;
}

void WindowFace::SetOnlineLamp(bool online) {
    // Also used where no window was ever made: the load then fails and the lamp stays empty.
    m_system.ChangePicture(FaceControl::Lamp, online ? kLampOnline : kLampOffline);
}

}  // namespace ui
