#include "ui/wx/search_animation_ctrl.h"

#include "ui/wx/wx_pictures.h"

#include <wx/dcbuffer.h>

CSearchAnimation::CSearchAnimation(wxWindow* parent, wxWindowID id)
    : wxWindow(parent, id, wxPoint(0, 0), wxSize(0, 0), wxBORDER_NONE), m_timer(this) {
    // Painted whole every time (background included), through a buffer: no flicker.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CSearchAnimation::OnPaint, this);
    Bind(wxEVT_TIMER, &CSearchAnimation::OnTimer, this, m_timer.GetId());
}

void CSearchAnimation::Play() {
    m_frame = 0;
    m_timer.Start(kFrameMs);
    Refresh(false);
}

void CSearchAnimation::Stop() {
    m_timer.Stop();
}

wxSize CSearchAnimation::DoGetBestClientSize() const {
    return wxSize(kWidth, kHeight);
}

void CSearchAnimation::OnTimer(wxTimerEvent&) {
    m_frame = (m_frame + 1) % kFrames;
    Refresh(false);
}

void CSearchAnimation::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    // The parent's colour, so the control looks like part of the dialog around it.
    wxColour background = GetParent()->GetBackgroundColour();
    dc.SetBackground(wxBrush(background));
    dc.Clear();
    wxSize client = GetClientSize();
    dc.DrawBitmap(SearchFrameBitmap(m_frame, background), (client.x - kWidth) / 2,
                  (client.y - kHeight) / 2);
}
