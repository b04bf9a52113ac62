#pragma once
// The one place where the core asks a person something or tells them something.
//
// The core shows fixed texts with Windows-style button/icon types and gets Windows-style answers.
// The dialogs install a hook that shows a modal box on their own thread; tests script the
// answers. tovik-cli installs none: its port policy asks nothing and it tells the run's outcome
// itself. Without a hook the text goes to
// stderr and the answer is the least harmful one (OK, or Cancel where Cancel is offered).

#include <functional>
#include <string>

// Box types (buttons and icon), as the Windows values.
constexpr unsigned kMbOk = 0x00;
constexpr unsigned kMbRetryCancel = 0x05;
constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconWarning = 0x30;
constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbButtonMask = 0x0F;
constexpr unsigned kMbIconMask = 0xF0;

// Answers, as the Windows values.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdRetry = 4;

using MessageBoxHook =
    std::function<int(const std::string& text, const std::string& caption, unsigned type)>;

// Installs the process-wide hook; an empty function restores the default. Returns the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Shows text with the given caption; returns the answer.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned type);

// Shows text with the application's name as the caption.
int AfxMessageBox(const std::string& text, unsigned type = kMbOk);

// The application's name, the caption of its boxes: the base name of the program file.
void SetApplicationName(const std::string& name);
std::string ApplicationName();
