#include "res/tovik_icon.h"

#include <wx/icon.h>
#include <wx/image.h>

namespace {

// Drawn pixel by pixel rather than scaled, so the 16 pixel one stays sharp: green arrow,
// dark chip body, light pins, a mark by pin 1.
// clang-format off
const char* const kIcon32[] = {
    "32 32 11 1",
    "  c None",
    "k c #18202B",
    "b c #323E4D",
    "h c #4D5D72",
    "d c #262F3C",
    "p c #BCC4CD",
    "q c #6C7784",
    "m c #7C8A9B",
    "G c #145C33",
    "g c #2DAA55",
    "l c #93E6AB",
    "            GGGGGGGG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "      GGGGGGggggggggGGGGGG      ",
    "     kkGlgggggggggggggggGkk     ",
    "     khhGlgggggggggggggGhhk     ",
    "     kbbbGlgggggggggggGbbbk     ",
    " ppppkbbbbGlgggggggggGbbbbkpppp ",
    " qqqqkbbbbbGlgggggggGbbbbbkqqqq ",
    "     kbbbbbbGlgggggGbbbbbbk     ",
    "     kbbbbbbbGlgggGbbbbbbbk     ",
    " ppppkbbbbbbbbGlgGbbbbbbbbkpppp ",
    " qqqqkbbbbbbbbbGGbbbbbbbbbkqqqq ",
    "     kbbbbbbbbbbbbbbbbbbbbk     ",
    "     kbbbbbbbbbbbbbbbbbbbbk     ",
    " ppppkbbbbbbbbbbbbbbbbbbbbkpppp ",
    " qqqqkbbbbbbbbbbbbbbbbbbbbkqqqq ",
    "     kbbbbbbbbbbbbbbbbbbbbk     ",
    "     kbbbbbbbbbbbbbbbbbbbbk     ",
    " ppppkbbmmbbbbbbbbbbbbbbbbkpppp ",
    " qqqqkddmmddddddddddddddddkqqqq ",
    "     kddddddddddddddddddddk     ",
    "     kddddddddddddddddddddk     ",
    "     kkkkkkkkkkkkkkkkkkkkkk     ",
    "                                "
};

const char* const kIcon16[] = {
    "16 16 9 1",
    "  c None",
    "k c #18202B",
    "b c #323E4D",
    "h c #4D5D72",
    "m c #7C8A9B",
    "r c #97A2AE",
    "G c #145C33",
    "g c #2DAA55",
    "l c #93E6AB",
    "      GGGG      ",
    "      GlgG      ",
    "      GlgG      ",
    "      GlgG      ",
    "  GGGGglggGGGG  ",
    "   GggggggggG   ",
    "  kkGggggggGkk  ",
    "  khhGggggGhhk  ",
    "rrkbbbGggGbbbkrr",
    "  kbbbbGGbbbbk  ",
    "  kbbbbbbbbbbk  ",
    "rrkbbbbbbbbbbkrr",
    "  kbbbbbbbbbbk  ",
    "  kbmbbbbbbbbk  ",
    "rrkbbbbbbbbbbkrr",
    "  kkkkkkkkkkkk  "
};
// clang-format on

} // namespace

wxIconBundle TovikIcons() {
    wxIconBundle bundle;
    bundle.AddIcon(wxIcon(kIcon16));
    bundle.AddIcon(wxIcon(kIcon32));
    return bundle;
}

wxBitmap TovikIconBitmap(int size) {
    if (size == 16) {
        return wxBitmap(kIcon16);
    }
    if (size == 32 || size <= 0) {
        return wxBitmap(kIcon32);
    }
    wxImage image = wxBitmap(size < 16 ? kIcon16 : kIcon32).ConvertToImage();
    image.Rescale(size, size, wxIMAGE_QUALITY_HIGH);
    return wxBitmap(image);
}
