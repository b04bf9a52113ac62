#pragma once
// What tovik-cli tells a person about a load: results ("Transmission complete.") on stdout, the
// rest on stderr. With --json stdout carries JSON lines only, so results go to stderr as well.
// Every text told is also kept, for the "message" of the JSON result.

#include <string>

enum class Told { kResult, kProblem };

// From now on results go to stderr (with --json).
void SendResultsToStderr();

// From now on texts are kept and not printed: a station's slot, whose parent shows each board's
// message in the slot's line and its summary.
void KeepToldTextsOnly();
// Forgets the texts told so far: the next ToldText() is the next load's alone.
void ForgetToldTexts();

// Prints the text and a newline and keeps it.
void TellUser(Told kind, const std::string& text);
void TellUserF(Told kind, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Everything told so far, one text per line, without the "tovik-cli: " the lines begin with.
std::string ToldText();

// Told text (lines) as one line, for a summary: each line follows the last after a blank where
// that one ended a sentence ("Transmission complete. Device started.") and after "; " where it did
// not ("only partly programmed; the system said: ...").
std::string OnOneLine(const std::string& told);
