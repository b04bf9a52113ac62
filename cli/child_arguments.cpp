#include "cli/child_arguments.h"

#include <algorithm>
#include <cstring>

namespace {

// The short options that take a value: in a group, the rest of the word (or the next word) is it.
constexpr char kShortOptionsWithValue[] = "pb";

} // namespace

std::vector<std::string> ArgumentsForOnePort(const std::vector<std::string>& args,
                                             const std::string& port,
                                             const std::string& checkedCopy) {
    std::vector<std::string> kept;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            break; // only the file and other positionals after it
        }
        if (a == "--port" || a == "-p") {
            ++i; // and its value
            continue;
        }
        if (a.rfind("--port=", 0) == 0) {
            continue;
        }
        if (a.size() < 2 || a[0] != '-' || a[1] == '-') {
            kept.push_back(a);
            continue;
        }
        // A group of short options; the first that takes a value ends it.
        std::string group = "-";
        bool valueInNextWord = false;
        for (size_t c = 1; c < a.size(); ++c) {
            if (!std::strchr(kShortOptionsWithValue, a[c])) {
                group += a[c];
                continue;
            }
            const bool isPort = a[c] == 'p';
            if (!isPort) {
                group += a.substr(c);
            }
            valueInNextWord = c + 1 == a.size();
            if (valueInNextWord && isPort) {
                ++i;
            } else if (valueInNextWord && i + 1 < args.size()) {
                if (group.size() > 1) {
                    kept.push_back(group);
                }
                group.clear();
                kept.push_back(args[++i]);
            }
            break;
        }
        if (group.size() > 1) {
            kept.push_back(group);
        }
    }
    for (const char* own : {"--port", port.c_str(), "--json", "--quiet"}) {
        kept.push_back(own);
    }
    if (!checkedCopy.empty()) {
        kept.insert(kept.end(), {"--checked-copy", checkedCopy});
    }
    kept.insert(kept.end(), args.begin() + static_cast<std::ptrdiff_t>(std::min(i, args.size())),
                args.end());
    return kept;
}
