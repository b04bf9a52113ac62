// Where the profile lives on Windows, and how it is replaced there.
//
// Paths are the narrow strings the rest of the profile uses with the C library, which reads them
// in the ANSI code page; they are widened the same way for the wide-character calls.

#include "platform/config_files.h"

#include "platform/serial_device_win32.h"
#include "platform/unique_handle_win32.h"
#include "platform/wide_text_win32.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

bool WriteAll(HANDLE file, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file, text.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

// A new, empty file beside the target; its name is unique to this process and attempt.
CUniqueHandle CreateTemporaryFile(const std::wstring& target, std::wstring& name) {
    static std::atomic<unsigned> s_attempt{0};
    for (int tries = 0; tries < 100; ++tries) {
        name = target + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(++s_attempt) + L".tmp";
        CUniqueHandle file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.IsValid() || ::GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return CUniqueHandle();
}

} // namespace

std::string ConfigDirectory() {
    // The roaming application data folder, as every Windows program keeps its settings.
    const char* appData = std::getenv("APPDATA");
    return appData ? appData : "";
}

std::filesystem::path NativePath(const std::string& path) {
    return Widen(path);
}

bool ReplaceFileContents(const std::string& path, const std::string& text, std::string* error) {
    const std::wstring target = Widen(path);
    if (!MakeParentDirectories(path, error)) {
        return false;
    }

    // The temporary file must sit in the same directory: only a move within one volume replaces
    // the file in a single step.
    std::wstring temporary;
    CUniqueHandle file = CreateTemporaryFile(target, temporary);
    if (!file.IsValid()) {
        *error = SystemErrorText(::GetLastError());
        return false;
    }
    // The data must be on disk before the move, or a power cut could leave an empty profile.
    bool ok = WriteAll(file.Get(), text) && ::FlushFileBuffers(file.Get());
    DWORD failure = ok ? 0 : ::GetLastError();
    file.Reset();
    if (ok && ::MoveFileExW(temporary.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    if (failure == 0) {
        failure = ::GetLastError();
    }
    ::DeleteFileW(temporary.c_str());
    *error = SystemErrorText(failure);
    return false;
}
