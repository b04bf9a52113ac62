#include "cli/json_writer.h"

#include <cmath>
#include <cstdio>

namespace {

// The length of the valid UTF-8 sequence at text[at], 0 when it is not one (a stray continuation
// byte, a truncated sequence, an overlong form, a surrogate or a code point above U+10FFFF).
size_t Utf8SequenceLength(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length;
    unsigned min;
    unsigned code;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, min = 0x80, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, min = 0x800, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (byte(at + i) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

} // namespace

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            json += "\xEF\xBF\xBD"; // U+FFFD
            ++i;
            continue;
        }
        if (length > 1) {
            json.append(text, i, length);
        } else if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c == '\n') {
            json += "\\n";
        } else if (c == '\r') {
            json += "\\r";
        } else if (c == '\t') {
            json += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            json += escaped;
        } else {
            json += static_cast<char>(c);
        }
        i += length;
    }
    return json + "\"";
}

void JsonObject::Key(const char* key) {
    if (m_text.size() > 1) {
        m_text += ',';
    }
    m_text += JsonString(key) + ':';
}

JsonObject& JsonObject::AddString(const char* key, const std::string& value) {
    Key(key);
    m_text += JsonString(value);
    return *this;
}

JsonObject& JsonObject::AddInt(const char* key, int64_t value) {
    Key(key);
    m_text += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::AddNumber(const char* key, double value, int decimals) {
    if (!std::isfinite(value)) {
        return AddNull(key);
    }
    Key(key);
    char number[400]; // %f of the largest double has 309 digits
    std::snprintf(number, sizeof number, "%.*f", decimals, value);
    // printf's "-0.000" is valid JSON, but a duration or a rate that rounds to nothing is 0.
    m_text += std::string(number).find_first_not_of("-0.") == std::string::npos ? "0" : number;
    return *this;
}

JsonObject& JsonObject::AddBool(const char* key, bool value) {
    Key(key);
    m_text += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::AddNull(const char* key) {
    Key(key);
    m_text += "null";
    return *this;
}
