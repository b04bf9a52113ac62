#include "cli/json_reader.h"

#include <cmath>
#include <cstdlib>

namespace {

// Deeper than any event goes; a hostile line must not exhaust the stack.
constexpr int kMaxDepth = 32;

class Parser {
public:
    Parser(const std::string& text, size_t at) : m_text(text), m_at(at) {}

    bool Object(JsonFields* fields, int depth);
    bool AtEnd() {
        Blanks();
        return m_at == m_text.size();
    }
    std::string Error() const { return m_error + " at column " + std::to_string(m_at + 1); }
    bool Fail(const char* what) {
        if (m_error.empty()) {
            m_error = what;
        }
        return false;
    }

private:
    void Blanks() {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' ||
                                        m_text[m_at] == '\r' || m_text[m_at] == '\n')) {
            ++m_at;
        }
    }
    bool Take(char c) {
        Blanks();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool Word(const char* word) {
        const std::string w = word;
        if (m_text.compare(m_at, w.size(), w) != 0) {
            return Fail("unknown word");
        }
        m_at += w.size();
        return true;
    }
    bool Hex4(unsigned* code);
    bool String(std::string* text);
    bool Number(double* number);
    bool Value(JsonValue* value, int depth);
    bool Array(int depth);

    const std::string& m_text;
    size_t m_at = 0;
    std::string m_error;
};

void AppendUtf8(unsigned code, std::string* text) {
    if (code < 0x80) {
        *text += static_cast<char>(code);
    } else if (code < 0x800) {
        *text += static_cast<char>(0xC0 | code >> 6);
        *text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *text += static_cast<char>(0xE0 | code >> 12);
        *text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        *text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *text += static_cast<char>(0xF0 | code >> 18);
        *text += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        *text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        *text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool Parser::Hex4(unsigned* code) {
    if (m_at + 4 > m_text.size()) {
        return Fail("short \\u escape");
    }
    *code = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = m_text[m_at++];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) {
            return Fail("bad \\u escape");
        }
        *code = *code << 4 | static_cast<unsigned>(digit);
    }
    return true;
}

bool Parser::String(std::string* text) {
    if (!Take('"')) {
        return Fail("a string was expected");
    }
    while (m_at < m_text.size()) {
        const unsigned char c = static_cast<unsigned char>(m_text[m_at++]);
        if (c == '"') {
            return true;
        }
        if (c < 0x20) {
            return Fail("a control character in a string");
        }
        if (c != '\\') {
            *text += static_cast<char>(c);
            continue;
        }
        if (m_at >= m_text.size()) {
            break;
        }
        const char e = m_text[m_at++];
        switch (e) {
        case '"':
        case '\\':
        case '/':
            *text += e;
            break;
        case 'b':
            *text += '\b';
            break;
        case 'f':
            *text += '\f';
            break;
        case 'n':
            *text += '\n';
            break;
        case 'r':
            *text += '\r';
            break;
        case 't':
            *text += '\t';
            break;
        case 'u': {
            unsigned code = 0;
            if (!Hex4(&code)) {
                return false;
            }
            if (code >= 0xD800 && code <= 0xDBFF && m_text.compare(m_at, 2, "\\u") == 0) {
                const size_t low = m_at;
                unsigned second = 0;
                m_at += 2;
                if (Hex4(&second) && second >= 0xDC00 && second <= 0xDFFF) {
                    code = 0x10000 + ((code - 0xD800) << 10) + (second - 0xDC00);
                } else {
                    m_at = low; // not a pair: each half stands alone
                    m_error.clear();
                }
            }
            // A lone surrogate has no UTF-8 form.
            AppendUtf8(code >= 0xD800 && code <= 0xDFFF ? 0xFFFD : code, text);
            break;
        }
        default:
            return Fail("bad escape");
        }
    }
    return Fail("the string does not end");
}

bool Parser::Number(double* number) {
    // JSON's grammar: -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
    const size_t start = m_at;
    const auto digits = [&] {
        const size_t from = m_at;
        while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9') {
            ++m_at;
        }
        return m_at - from;
    };
    if (m_at < m_text.size() && m_text[m_at] == '-') {
        ++m_at;
    }
    const size_t integerStart = m_at;
    const size_t integerDigits = digits();
    if (integerDigits == 0 || (integerDigits > 1 && m_text[integerStart] == '0')) {
        return Fail("bad number");
    }
    if (m_at < m_text.size() && m_text[m_at] == '.') {
        ++m_at;
        if (digits() == 0) {
            return Fail("bad number");
        }
    }
    if (m_at < m_text.size() && (m_text[m_at] == 'e' || m_text[m_at] == 'E')) {
        ++m_at;
        if (m_at < m_text.size() && (m_text[m_at] == '+' || m_text[m_at] == '-')) {
            ++m_at;
        }
        if (digits() == 0) {
            return Fail("bad number");
        }
    }
    *number = std::strtod(m_text.substr(start, m_at - start).c_str(), nullptr);
    return true;
}

bool Parser::Array(int depth) {
    if (Take(']')) {
        return true;
    }
    do {
        JsonValue ignored;
        if (!Value(&ignored, depth + 1)) {
            return false;
        }
    } while (Take(','));
    return Take(']') || Fail("',' or ']' was expected");
}

bool Parser::Value(JsonValue* value, int depth) {
    if (depth > kMaxDepth) {
        return Fail("nested too deeply");
    }
    Blanks();
    if (m_at >= m_text.size()) {
        return Fail("a value was expected");
    }
    const char c = m_text[m_at];
    if (c == '"') {
        value->kind = JsonValue::Kind::kString;
        return String(&value->text);
    }
    if (c == '{' || c == '[') {
        value->kind = JsonValue::Kind::kNested;
        ++m_at;
        JsonFields ignored;
        return c == '[' ? Array(depth) : Object(&ignored, depth + 1);
    }
    if (c == 't' || c == 'f') {
        value->kind = JsonValue::Kind::kBool;
        value->boolean = c == 't';
        return Word(c == 't' ? "true" : "false");
    }
    if (c == 'n') {
        value->kind = JsonValue::Kind::kNull;
        return Word("null");
    }
    value->kind = JsonValue::Kind::kNumber;
    return Number(&value->number);
}

// After the opening brace.
bool Parser::Object(JsonFields* fields, int depth) {
    if (Take('}')) {
        return true;
    }
    do {
        std::string key;
        JsonValue value;
        if (!String(&key) || !(Take(':') || Fail("':' was expected")) || !Value(&value, depth)) {
            return false;
        }
        if (value.kind != JsonValue::Kind::kNested) {
            fields->m_values[key] = value;
        }
    } while (Take(','));
    return Take('}') || Fail("',' or '}' was expected");
}

} // namespace

std::string JsonFields::String(const std::string& key, const std::string& fallback) const {
    auto it = m_values.find(key);
    return it != m_values.end() && it->second.kind == JsonValue::Kind::kString ? it->second.text
                                                                               : fallback;
}

double JsonFields::Number(const std::string& key, double fallback) const {
    auto it = m_values.find(key);
    return it != m_values.end() && it->second.kind == JsonValue::Kind::kNumber ? it->second.number
                                                                               : fallback;
}

bool ParseJsonObject(const std::string& line, JsonFields* fields, std::string* error) {
    fields->m_values.clear();
    // Object() starts after the brace; the brace itself is looked for here.
    const size_t first = line.find_first_not_of(" \t\r\n");
    if (first == std::string::npos || line[first] != '{') {
        *error = "not a JSON object";
        return false;
    }
    Parser parser(line, first + 1);
    JsonFields parsed;
    if (!parser.Object(&parsed, 0)) {
        *error = parser.Error();
        return false;
    }
    if (!parser.AtEnd()) {
        *error = "more after the object";
        return false;
    }
    *fields = std::move(parsed);
    return true;
}
