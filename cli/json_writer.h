#pragma once
// One JSON object on one line, built member by member: the lines tovik-cli writes with --json.
//
// Strings are escaped as JSON requires (quote, backslash, every control character) and made valid
// UTF-8: a port or file name on POSIX may hold any bytes, and a line that a JSON reader refuses
// would cost a line controller the whole result. Each invalid byte becomes U+FFFD.

#include <cstdint>
#include <string>

class JsonObject {
public:
    JsonObject& AddString(const char* key, const std::string& value);
    JsonObject& AddInt(const char* key, int64_t value);
    // With `decimals` digits after the point; NaN and infinities, which JSON lacks, as null.
    JsonObject& AddNumber(const char* key, double value, int decimals);
    JsonObject& AddBool(const char* key, bool value);
    JsonObject& AddNull(const char* key);

    // The object and a newline.
    std::string Line() const { return m_text + "}\n"; }

private:
    void Key(const char* key);
    std::string m_text = "{";
};

// text as a quoted JSON string.
std::string JsonString(const std::string& text);
