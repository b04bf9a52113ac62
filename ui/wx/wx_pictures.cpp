#include "ui/wx/wx_pictures.h"

#include "res/search_animation_frames.h"
#include "res/tovik_icon.h"

#include <wx/icon.h>

#include <vector>

wxImage PictureImage(const CPixelImage& picture) {
    wxImage image(picture.m_nWidth, picture.m_nHeight);
    image.InitAlpha();
    for (int y = 0; y < picture.m_nHeight; ++y) {
        for (int x = 0; x < picture.m_nWidth; ++x) {
            CRgba colour = picture.ColourAt(x, y);
            image.SetRGB(x, y, colour.r, colour.g, colour.b);
            image.SetAlpha(x, y, colour.a);
        }
    }
    return image;
}

wxIconBundle TovikIcons() {
    wxIconBundle bundle;
    for (const CPixelImage& picture : TovikIconImages()) {
        wxIcon icon;
        icon.CopyFromBitmap(wxBitmap(PictureImage(picture)));
        bundle.AddIcon(icon);
    }
    return bundle;
}

wxBitmap SearchFrameBitmap(int frame, const wxColour& background) {
    CPixelImage picture = SearchAnimationFrame(frame);
    // Laid over the window's colour here rather than blended when drawn, the way the Windows
    // clip is made.
    picture.m_palette = FlattenPalette(
        picture.m_palette, {background.Red(), background.Green(), background.Blue(), 255});
    return wxBitmap(PictureImage(picture));
}
