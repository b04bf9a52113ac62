#pragma once
// The port layer's boxes as a test sees them: collected as "type caption: text" and answered from
// a script (Cancel when it runs out).

#include "platform/message_box.h"

#include <string>
#include <vector>

struct MessageBoxScript {
    std::vector<std::string> shown;
    std::vector<int> answers;
    MessageBoxScript() {
        SetMessageBoxHook(
            [this](const std::string& text, const std::string& caption, unsigned type) {
                shown.push_back(std::to_string(type) + " " + caption + ": " + text);
                return shown.size() <= answers.size() ? answers[shown.size() - 1] : kIdCancel;
            });
    }
    ~MessageBoxScript() { SetMessageBoxHook(nullptr); }
};

// The port's Retry/Cancel box as the script records it.
inline std::string PortBox(const char* name) {
    return std::to_string(kMbRetryCancel) + " " + ApplicationName() + ": Schnittstelle \"" + name +
           "\" von Windos belegt oder nicht vorhanden!";
}
