#include "cli/checked_file.h"

#include "cli/exit_codes.h"
#include "cli/user_messages.h"

#include <cstdio>

int ReadCheckedFile(const std::string& path, CFileCopy* copy, CFileCheck* check,
                    const BlockListener& onBlock) {
    std::string error;
    if (copy->ReadPath(path, &error) != 0) {
        TellUser(Told::kProblem, error);
        return kExitBadFile;
    }
    CheckSRecordText(copy->Data(), copy->Size(), check, onBlock);
    if (check->result != 0) {
        // A dry run's listing so far comes before the reason it stops.
        std::fflush(stdout);
        TellUser(Told::kProblem, FileCheckMessage(*check));
        return kExitBadFile;
    }
    return 0;
}
