#pragma once
// CWndShadow: a soft dark shadow behind a window, drawn by a separate
// frameless, translucent and input-transparent window that follows its
// parent (moves, sizes, shows and hides with it). The picture comes from
// MakeShadowImage (ShadowBitmap.h). Without a compositing manager windows
// cannot be partly transparent, so there is no shadow and the parent shows
// as it is.
//
// UI thread only. The shadow lives until the CWndShadow is destroyed or its
// parent's window goes, whichever comes first.
#include "ui/ShadowBitmap.h"
#include "ui/UIDefs.h"

#include <memory>

class CWindowWnd;

class CWndShadow {
public:
    // Status bits.
    static constexpr unsigned kEnabled = 1;
    static constexpr unsigned kVisible = 2;
    static constexpr unsigned kParentVisible = 4;

    CWndShadow();
    ~CWndShadow();
    CWndShadow(const CWndShadow&) = delete;
    CWndShadow& operator=(const CWndShadow&) = delete;

    // Whether shadows can be shown in this session (asked once per process):
    // false without a compositing manager.
    static bool Initialize();

    // Parameters; a change redraws a shadow that is shown.
    void SetSize(int size);
    void SetSharpness(int sharpness);
    void SetDarkness(int darkness);
    void SetPosition(int x, int y);
    void SetColor(DWORD rgb);
    const ui::ShadowParams& Params() const { return m_params; }

    // Attaches the shadow to `parent` (once). Without shadows (Initialize
    // false) nothing is made and the status stays 0. A hidden parent gives
    // status 1 (shown when the parent shows), a minimised or maximised one 5,
    // otherwise 7 and the shadow is drawn and shown without taking focus.
    void Create(CWindowWnd* parent);
    unsigned Status() const { return m_status; }

    // ui/ internals: the parent's state changed.
    void ParentMoved();
    void ParentMovedOrSized();
    void ParentShown(bool shown);
    void ParentGone();

private:
    class Surface;
    void Update();
    void Place();

    ui::ShadowParams m_params;
    CWindowWnd* m_parent = nullptr;
    unsigned m_status = 0;
    std::unique_ptr<Surface> m_surface;
};
