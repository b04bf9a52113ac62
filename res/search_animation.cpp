#include "res/search_animation.h"

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>
#include <wx/graphics.h>
#include <wx/region.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// The scene, in frame pixels: a chip lying across the frame with a row of pins on each side.
constexpr double kBodyLeft = 8, kBodyTop = 24, kBodyWidth = 64, kBodyHeight = 14;
constexpr int kPins = 9;
constexpr double kFirstPinLeft = 11, kPinPitch = 7, kPinWidth = 3;
constexpr double kTopPinsTop = 17, kBottomPinsBottom = 44;

// The magnifier rides along the upper pins; one loop is one left-right-left sweep.
constexpr double kLensRadius = 11;
constexpr double kLensSwing = 22;
constexpr double kMagnification = 1.8;

const wxColour kBody(0x32, 0x3E, 0x4D);
const wxColour kBodyEdge(0x18, 0x20, 0x2B);
const wxColour kBodyLight(0x4D, 0x5D, 0x72);
const wxColour kPin(0xC4, 0xCB, 0xD3);
const wxColour kPinEdge(0x7E, 0x88, 0x94);
const wxColour kFoundPin(0xF2, 0xB3, 0x3D);
const wxColour kFoundPinEdge(0xA8, 0x6E, 0x10);
const wxColour kRim(0x2B, 0x34, 0x40);
const wxColour kRimLight(0x9A, 0xA7, 0xB5);
const wxColour kGlass(0xBE, 0xE1, 0xFF, 0x48);
const wxColour kGlint(0xFF, 0xFF, 0xFF, 0xD0);
const wxColour kHandle(0x6B, 0x43, 0x24);
const wxColour kHandleEdge(0x3A, 0x24, 0x14);

struct Lens {
    double x;
    double y;
};

Lens LensAt(int frame) {
    double turn = 2 * kPi * frame / CSearchAnimation::kFrames;
    // A slight bob on top of the sweep, so the glass does not move like a ruler.
    return {kBodyLeft + kBodyWidth / 2 + kLensSwing * std::sin(turn),
            kTopPinsTop + 3 + 1.5 * std::sin(2 * turn)};
}

double PinCentre(int pin) {
    return kFirstPinLeft + pin * kPinPitch + kPinWidth / 2;
}

// The pin the glass is over, or -1 between pins.
int FoundPin(const Lens& lens) {
    for (int pin = 0; pin < kPins; ++pin) {
        if (std::fabs(PinCentre(pin) - lens.x) < kPinPitch / 2 - 0.5) {
            return pin;
        }
    }
    return -1;
}

void DrawChip(wxGraphicsContext& gc, int foundPin) {
    for (int pin = 0; pin < kPins; ++pin) {
        double left = kFirstPinLeft + pin * kPinPitch;
        bool found = pin == foundPin;
        gc.SetPen(wxPen(found ? kFoundPinEdge : kPinEdge, 1));
        gc.SetBrush(wxBrush(found ? kFoundPin : kPin));
        gc.DrawRectangle(left, kTopPinsTop, kPinWidth, kBodyTop - kTopPinsTop + 1);
        gc.SetPen(wxPen(kPinEdge, 1));
        gc.SetBrush(wxBrush(kPin));
        double bottomTop = kBodyTop + kBodyHeight - 1;
        gc.DrawRectangle(left, bottomTop, kPinWidth, kBottomPinsBottom - bottomTop);
    }
    gc.SetPen(wxPen(kBodyEdge, 1));
    gc.SetBrush(wxBrush(kBody));
    gc.DrawRoundedRectangle(kBodyLeft, kBodyTop, kBodyWidth, kBodyHeight, 2);
    gc.SetPen(wxPen(kBodyLight, 1));
    gc.StrokeLine(kBodyLeft + 2, kBodyTop + 1.5, kBodyLeft + kBodyWidth - 2, kBodyTop + 1.5);
    // Pin 1's mark, and the notch at that end.
    gc.SetPen(*wxTRANSPARENT_PEN);
    gc.SetBrush(wxBrush(kBodyLight));
    gc.DrawEllipse(kBodyLeft + 3, kBodyTop + kBodyHeight - 6, 3, 3);
    gc.SetBrush(wxBrush(kBodyEdge));
    wxGraphicsPath notch = gc.CreatePath();
    notch.AddArc(kBodyLeft, kBodyTop + kBodyHeight / 2, 3, -kPi / 2, kPi / 2, true);
    notch.CloseSubpath();
    gc.FillPath(notch);
}

void DrawMagnifier(wxGraphicsContext& gc, const Lens& lens, int foundPin) {
    const double diagonal = std::sqrt(0.5);
    gc.SetPen(wxPen(kHandleEdge, 1));
    gc.SetBrush(wxBrush(kHandle));
    wxGraphicsPath handle = gc.CreatePath();
    double from = kLensRadius + 1, to = kLensRadius + 10, halfWidth = 2.2;
    handle.MoveToPoint(lens.x + diagonal * (from + halfWidth),
                       lens.y + diagonal * (from - halfWidth));
    handle.AddLineToPoint(lens.x + diagonal * (to + halfWidth),
                          lens.y + diagonal * (to - halfWidth));
    handle.AddLineToPoint(lens.x + diagonal * (to - halfWidth),
                          lens.y + diagonal * (to + halfWidth));
    handle.AddLineToPoint(lens.x + diagonal * (from - halfWidth),
                          lens.y + diagonal * (from + halfWidth));
    handle.CloseSubpath();
    gc.DrawPath(handle);

    // What the glass shows: the same chip, larger, around the lens centre.
    std::vector<wxPoint> outline;
    for (int i = 0; i < 48; ++i) {
        double angle = 2 * kPi * i / 48;
        outline.emplace_back(static_cast<int>(std::lround(lens.x + kLensRadius * std::cos(angle))),
                             static_cast<int>(std::lround(lens.y + kLensRadius * std::sin(angle))));
    }
    gc.PushState();
    gc.Clip(wxRegion(outline.size(), outline.data()));
    gc.Translate(lens.x, lens.y);
    gc.Scale(kMagnification, kMagnification);
    gc.Translate(-lens.x, -lens.y);
    DrawChip(gc, foundPin);
    gc.PopState();

    gc.SetPen(*wxTRANSPARENT_PEN);
    gc.SetBrush(wxBrush(kGlass));
    gc.DrawEllipse(lens.x - kLensRadius, lens.y - kLensRadius, 2 * kLensRadius, 2 * kLensRadius);
    gc.SetBrush(*wxTRANSPARENT_BRUSH);
    gc.SetPen(gc.CreatePen(wxGraphicsPenInfo(kGlint).Width(1.5)));
    wxGraphicsPath glint = gc.CreatePath();
    glint.AddArc(lens.x, lens.y, kLensRadius - 3.5, 1.10 * kPi, 1.40 * kPi, true);
    gc.StrokePath(glint);
    gc.SetPen(wxPen(kRimLight, 1));
    gc.DrawEllipse(lens.x - kLensRadius + 1.5, lens.y - kLensRadius + 1.5, 2 * kLensRadius - 3,
                   2 * kLensRadius - 3);
    gc.SetPen(gc.CreatePen(wxGraphicsPenInfo(kRim).Width(2.5)));
    gc.DrawEllipse(lens.x - kLensRadius, lens.y - kLensRadius, 2 * kLensRadius, 2 * kLensRadius);
}

} // namespace

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

wxBitmap CSearchAnimation::FrameBitmap(int frame, const wxColour& background) {
    frame = ((frame % kFrames) + kFrames) % kFrames;
    wxBitmap bitmap(kWidth, kHeight);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(background));
    dc.Clear();
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    if (gc) {
        gc->SetAntialiasMode(wxANTIALIAS_DEFAULT);
        Lens lens = LensAt(frame);
        int found = FoundPin(lens);
        DrawChip(*gc, found);
        DrawMagnifier(*gc, lens, found);
    }
    gc.reset();
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

void CSearchAnimation::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    // The parent's colour, so the control looks like part of the dialog around it.
    wxColour background = GetParent()->GetBackgroundColour();
    dc.SetBackground(wxBrush(background));
    dc.Clear();
    wxSize client = GetClientSize();
    dc.DrawBitmap(FrameBitmap(m_frame, background), (client.x - kWidth) / 2,
                  (client.y - kHeight) / 2);
}
