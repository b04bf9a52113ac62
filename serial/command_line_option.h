#pragma once
// Options on the process's command line, such as HANDSHAKE, and the small string that carries
// their values.

#include <cstdint>

// A minimal owned, zero-terminated text. The empty text is one shared static buffer, so empty
// values cost no allocation.
class CPlainString {
public:
    CPlainString();
    explicit CPlainString(const char* text);
    CPlainString(const CPlainString& other);
    CPlainString(CPlainString&& other) noexcept;
    CPlainString& operator=(CPlainString other) noexcept;
    ~CPlainString();

    const char* c_str() const { return m_text; }
    // The number at the front of the text, as atol reads it.
    long Number() const;
    // The address of the character at position.
    char* At(int position) { return m_text + position; }
    // A new buffer of n characters, zero-filled behind the first (at most n) old characters and
    // terminated at n; returned for filling.
    char* Resize(uint16_t n);

private:
    char* m_text;
};

// The value of the option name on the command line: the empty text when it is absent (or stands
// at the very start), "1" when it has no value. The name is matched case-sensitively anywhere,
// also inside longer words; the value runs to the next "/" and is trimmed of white space.
CPlainString GetCommandLineOption(const char* name);
