#pragma once
// Shown while the loader looks for the unit: a magnifier sweeping to and fro over a row of chip
// pins, the pin under it lighting up. Used like an animation control: created empty, placed by
// the dialog, then Play() and Stop().

#include <wx/bitmap.h>
#include <wx/colour.h>
#include <wx/timer.h>
#include <wx/window.h>

class CSearchAnimation : public wxWindow {
public:
    static constexpr int kFrames = 29;
    static constexpr int kWidth = 80;
    static constexpr int kHeight = 48;
    static constexpr int kFrameMs = 166; // about 6 frames a second

    // Created at 0,0 with no size, so nothing shows until the dialog moves and sizes it.
    CSearchAnimation(wxWindow* parent, wxWindowID id);

    // Starts again from frame 0 and repeats until Stop().
    void Play();
    // Holds the frame showing at the time.
    void Stop();
    bool IsPlaying() const { return m_timer.IsRunning(); }
    int Frame() const { return m_frame; }

    // Frame n (taken modulo kFrames) on this background, kWidth x kHeight pixels.
    static wxBitmap FrameBitmap(int frame, const wxColour& background);

private:
    void OnPaint(wxPaintEvent& event);
    void OnTimer(wxTimerEvent& event);
    wxSize DoGetBestClientSize() const override;

    wxTimer m_timer;
    int m_frame = 0;
};
