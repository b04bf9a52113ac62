#include "res/windows_pictures.h"

#include "res/avi_rle8_writer.h"
#include "res/ico_writer.h"
#include "res/search_animation_frames.h"
#include "res/tovik_icon.h"

std::vector<uint8_t> TovikIcoFile() {
    std::vector<uint8_t> file;
    if (EncodeIco(TovikIconImages(), &file) != kIcoOk) {
        file.clear();
    }
    return file;
}

std::vector<uint8_t> SearchAviFile() {
    std::vector<uint8_t> file;
    if (EncodeAviRle8(SearchAnimationFrames(), kSearchFrameMicroseconds, kWindowsDialogFace,
                      &file) != kAviOk) {
        file.clear();
    }
    return file;
}
