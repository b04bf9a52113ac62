#include "platform/wide_text_win32.h"

#include <windows.h>

std::wstring Widen(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    int length =
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          length);
    return wide;
}
