#pragma once
// Reads one JSON object from a line: how the parent of several loads reads its children's events.
//
// The members it keeps are strings, numbers, true/false and null, which is all an event holds;
// nested objects and arrays are read past (a later event may carry them) and left out.

#include <map>
#include <string>

struct JsonValue {
    enum class Kind { kString, kNumber, kBool, kNull, kNested };
    Kind kind = Kind::kNull;
    std::string text; // kString: the decoded text
    double number = 0;
    bool boolean = false;
};

class JsonFields {
public:
    // The member's value when it has that kind, otherwise the fallback.
    std::string String(const std::string& key, const std::string& fallback = "") const;
    double Number(const std::string& key, double fallback) const;
    bool Has(const std::string& key) const { return m_values.count(key) != 0; }

    std::map<std::string, JsonValue> m_values; // a repeated member: the last one
};

// False, with what is wrong and where in *error, when line (less blanks around it) is not exactly
// one JSON object.
bool ParseJsonObject(const std::string& line, JsonFields* fields, std::string* error);
