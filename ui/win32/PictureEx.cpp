#include "ui/win32/PictureEx.h"

#include <olectl.h>

#include <cstring>

#include "ui/ResourceFinder.h"

namespace ui {

namespace {

// The control's property that leads its procedure to the object.
constexpr const char* kPropertyName = "CPictureEx";
constexpr int kHimetricPerInch = 2540;

}  // namespace

CPictureEx::~CPictureEx() {
    Unload();
    Detach();
}

bool CPictureEx::SubclassDlgItem(int id, HWND parent) {
    HWND control = GetDlgItem(parent, id);
    if (control == nullptr) return false;
    Detach();
    if (!SetPropA(control, kPropertyName, this)) return false;
    m_hWnd = control;
    m_pfnOldWndProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CPictureEx::ControlProc)));
    return m_pfnOldWndProc != nullptr;
}

void CPictureEx::Detach() {
    if (m_hWnd == nullptr) return;
    if (m_pfnOldWndProc != nullptr && IsWindow(m_hWnd)) {
        SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnOldWndProc));
    }
    RemovePropA(m_hWnd, kPropertyName);
    m_hWnd = nullptr;
    m_pfnOldWndProc = nullptr;
}

bool CPictureEx::LoadFromResource(const char* name, const char* type) {
    const auto resource = ui::FindProgramResource(name, type);
    if (resource.empty()) return false;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, resource.size());
    if (block == nullptr) return false;
    bool loaded = false;
    if (void* copy = GlobalLock(block); copy != nullptr) {
        std::memcpy(copy, resource.data(), resource.size());
        GlobalUnlock(block);
        loaded = LoadFromMemory(block, static_cast<DWORD>(resource.size()));
    }
    // The decoded picture keeps no reference to the block.
    GlobalFree(block);
    return loaded;
}

bool CPictureEx::LoadFromMemory(HGLOBAL block, DWORD size) {
    Unload();
    const auto* bytes = static_cast<const unsigned char*>(GlobalLock(block));
    if (bytes == nullptr) return false;
    const bool gif = size >= 3 && bytes[0] == 0x47 && bytes[1] == 0x49 && bytes[2] == 0x46;
    GlobalUnlock(block);
    if (gif) return false;

    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, FALSE, &stream))) return false;
    const HRESULT decoded = OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                           reinterpret_cast<void**>(&m_pPicture));
    stream->Release();
    if (FAILED(decoded) || m_pPicture == nullptr) {
        m_pPicture = nullptr;
        return false;
    }

    // The loader measures in hundredths of a millimetre; the control's display context turns that
    // back into pixels.
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    m_pPicture->get_Width(&width);
    m_pPicture->get_Height(&height);
    HDC dc = m_hWnd != nullptr ? GetDC(m_hWnd) : nullptr;
    if (dc == nullptr) {
        Unload();
        return false;
    }
    m_pictureSize.cx = MulDiv(width, GetDeviceCaps(dc, LOGPIXELSX), kHimetricPerInch);
    m_pictureSize.cy = MulDiv(height, GetDeviceCaps(dc, LOGPIXELSY), kHimetricPerInch);
    ReleaseDC(m_hWnd, dc);
    if (CreateSurface(m_pictureSize.cx, m_pictureSize.cy)) return true;
    Unload();
    return false;
}

bool CPictureEx::CreateSurface(int width, int height) {
    if (m_hWnd == nullptr) return false;
    SetWindowPos(m_hWnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    HDC dc = GetDC(m_hWnd);
    if (dc == nullptr) return false;
    m_hMemDC = CreateCompatibleDC(dc);
    if (m_hMemDC == nullptr) {
        ReleaseDC(m_hWnd, dc);
        return false;
    }
    m_hBitmap = CreateCompatibleBitmap(dc, width, height);
    if (m_hBitmap == nullptr) {
        ReleaseDC(m_hWnd, dc);
        DeleteDC(m_hMemDC);
        m_hMemDC = nullptr;
        return false;
    }
    m_hOldBitmap = SelectObject(m_hMemDC, m_hBitmap);
    const RECT all{0, 0, width, height};
    FillRect(m_hMemDC, &all, reinterpret_cast<HBRUSH>(COLOR_MENU + 1));
    ReleaseDC(m_hWnd, dc);
    m_bSurfaceReady = true;
    return true;
}

bool CPictureEx::Draw() {
    if (!m_bSurfaceReady || m_pPicture == nullptr) return false;
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    m_pPicture->get_Width(&width);
    m_pPicture->get_Height(&height);
    // Picture coordinates run upwards: the source starts at the bottom with a negative height.
    if (FAILED(m_pPicture->Render(m_hMemDC, 0, 0, m_pictureSize.cx, m_pictureSize.cy, 0, height,
                                  width, -height, nullptr))) {
        return false;
    }
    InvalidateRect(m_hWnd, nullptr, FALSE);
    return true;
}

void CPictureEx::Unload() {
    if (m_pPicture != nullptr) {
        m_pPicture->Release();
        m_pPicture = nullptr;
    }
    if (m_hMemDC != nullptr) {
        if (m_hOldBitmap != nullptr) SelectObject(m_hMemDC, m_hOldBitmap);
        DeleteDC(m_hMemDC);
        m_hMemDC = nullptr;
        m_hOldBitmap = nullptr;
    }
    if (m_hBitmap != nullptr) {
        DeleteObject(m_hBitmap);
        m_hBitmap = nullptr;
    }
    m_bSurfaceReady = false;
}

LRESULT CALLBACK CPictureEx::ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* picture = static_cast<CPictureEx*>(GetPropA(window, kPropertyName));
    if (picture == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    WNDPROC previous = picture->m_pfnOldWndProc;
    switch (message) {
        case WM_PAINT:
            // Replaces the static control's own painting: its text is never drawn.
            picture->OnPaint();
            return 0;
        case WM_NCDESTROY:
            picture->Detach();
            break;
        default:
            break;
    }
    return CallWindowProcA(previous, window, message, wParam, lParam);
}

void CPictureEx::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    if (dc == nullptr) return;
    if (m_hMemDC != nullptr) {
        BitBlt(dc, 0, 0, m_pictureSize.cx, m_pictureSize.cy, m_hMemDC, 0, 0, SRCCOPY);
    }
    EndPaint(m_hWnd, &paint);
}

}  // namespace ui
