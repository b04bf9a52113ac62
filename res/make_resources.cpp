// Writes the Windows program's icon and search animation, encoded from the same drawings the
// desktop dialog shows, into the folder given:
//   make_resources FOLDER  ->  FOLDER/tovik.ico, FOLDER/search.avi
// Run at build time on the build machine, so that no binary picture is kept in the sources.

#include "res/avi_rle8_writer.h"
#include "res/ico_writer.h"
#include "res/search_animation_frames.h"
#include "res/tovik_icon.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The face colour of Windows dialogs, which the animation control's window shows around and,
// without transparency, behind the clip. The background is palette entry 0 and the top left
// pixel, so a control with ACS_TRANSPARENT would swap it for the dialog's own colour.
const CRgba kDialogFace{0xF0, 0xF0, 0xF0};

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argc > 0 ? argv[0] : "make_resources");
        return 2;
    }
    std::string folder = argv[1];
    std::vector<uint8_t> icon, clip;
    if (EncodeIco(TovikIconImages(), &icon) != kIcoOk ||
        EncodeAviRle8(SearchAnimationFrames(), kSearchFrameMicroseconds, kDialogFace, &clip) !=
            kAviOk) {
        std::fprintf(stderr, "%s: the pictures do not fit their formats\n", argv[0]);
        return 1;
    }
    return WriteFile(folder + "/tovik.ico", icon) && WriteFile(folder + "/search.avi", clip) ? 0
                                                                                             : 1;
}
