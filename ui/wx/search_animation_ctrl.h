#pragma once
// The search animation as a window, used like an animation control: created empty, placed by
// the dialog, then Play() and Stop(). Its frames are those of res/search_animation_frames.h.

#include "res/search_animation_frames.h"

#include <wx/timer.h>
#include <wx/window.h>

class CSearchAnimation : public wxWindow {
public:
    static constexpr int kFrames = kSearchFrames;
    static constexpr int kWidth = kSearchFrameWidth;
    static constexpr int kHeight = kSearchFrameHeight;
    static constexpr int kFrameMs = kSearchFrameMicroseconds / 1000;

    // Created at 0,0 with no size, so nothing shows until the dialog moves and sizes it.
    CSearchAnimation(wxWindow* parent, wxWindowID id);

    // Starts again from frame 0 and repeats until Stop().
    void Play();
    // Holds the frame showing at the time.
    void Stop();
    bool IsPlaying() const { return m_timer.IsRunning(); }
    int Frame() const { return m_frame; }

private:
    void OnPaint(wxPaintEvent& event);
    void OnTimer(wxTimerEvent& event);
    wxSize DoGetBestClientSize() const override;

    wxTimer m_timer;
    int m_frame = 0;
};
