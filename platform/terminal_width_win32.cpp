#include "platform/terminal_width.h"

#include <windows.h>

#include <io.h>

int TerminalColumns(std::FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    if (console != INVALID_HANDLE_VALUE && ::GetConsoleScreenBufferInfo(console, &info)) {
        return info.srWindow.Right - info.srWindow.Left + 1;
    }
    return 80;
}
