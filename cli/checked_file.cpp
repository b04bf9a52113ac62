#include "cli/checked_file.h"

#include "cli/exit_codes.h"
#include "cli/user_messages.h"
#include "loader/checked_copy.h"

int ReadCheckedFile(const std::string& path, CFileCopy* copy, CFileCheck* check,
                    const BlockListener& onBlock) {
    std::string message;
    if (ReadCheckedPath(path, copy, check, &message, onBlock) != 0) {
        TellUser(Told::kProblem, message);
        return kExitBadFile;
    }
    return 0;
}
