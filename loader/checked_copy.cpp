#include "loader/checked_copy.h"

namespace {

// Checks what ReadStream or ReadPath gave (read: its result).
int CheckRead(int read, const std::string& name, CFileCopy* copy, CFileCheck* check,
              std::string* message, const BlockListener& onBlock) {
    if (read != 0 && read != kCopyStopped) {
        return read;
    }
    // A stopped read is refused by the check of what was read, as the whole would be; the blocks
    // before the line it stopped at are no listing of anything a run would send.
    CheckSRecordText(copy->Data(), copy->Size(), check, read == 0 ? onBlock : nullptr);
    if (read == kCopyStopped) {
        check->cut = true;
        if (check->result == 0) {
            // The screen stops only where the check refuses; not reading on would lose data.
            *message = "Sorry, cannot read " + name + ": its reading stopped too early !";
            return kCopyCannotRead;
        }
    }
    if (check->result != 0) {
        *message = FileCheckMessage(*check);
    }
    return check->result;
}

} // namespace

int ReadCheckedStream(FILE* stream, const std::string& name, CFileCopy* copy, CFileCheck* check,
                      std::string* message, const BlockListener& onBlock) {
    CSRecordScreen screen;
    const int read = copy->ReadStream(stream, name, message, [&](const char* data, size_t size) {
        return screen.MayPass(data, size);
    });
    return CheckRead(read, name, copy, check, message, onBlock);
}

int ReadCheckedPath(const std::string& path, CFileCopy* copy, CFileCheck* check,
                    std::string* message, const BlockListener& onBlock) {
    CSRecordScreen screen;
    const int read = copy->ReadPath(
        path, message, [&](const char* data, size_t size) { return screen.MayPass(data, size); });
    return CheckRead(read, path, copy, check, message, onBlock);
}
