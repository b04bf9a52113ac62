#include "ui/win32/dialog_parts_win32.h"

std::string ChooserFilter(const std::string& barSeparated) {
    std::string filter = barSeparated;
    for (char& c : filter) {
        if (c == '|') {
            c = '\0';
        }
    }
    // A list written without its closing "||" still ends as the common dialog needs.
    while (filter.size() < 2 || filter[filter.size() - 1] != '\0' ||
           filter[filter.size() - 2] != '\0') {
        filter += '\0';
    }
    return filter;
}

std::string ProgramBaseName(const std::string& modulePath) {
    size_t slash = modulePath.find_last_of("\\/:");
    std::string name = slash == std::string::npos ? modulePath : modulePath.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name;
}
