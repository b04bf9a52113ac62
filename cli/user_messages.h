#pragma once
// What tovik-cli tells a person about a load: results ("Transmission complete.") on stdout, the
// rest on stderr. With --json stdout carries JSON lines only, so results go to stderr as well.
// Every text told is also kept, for the "message" of the JSON result.

#include <string>

enum class Told { kResult, kProblem };

// From now on results go to stderr (with --json).
void SendResultsToStderr();

// Prints the text and a newline and keeps it.
void TellUser(Told kind, const std::string& text);
void TellUserF(Told kind, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Everything told so far, one text per line, without the "tovik-cli: " the lines begin with.
std::string ToldText();
