#include "settings/profile.h"

#include "platform/com_map.h"
#include "platform/config_files.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

const char* const kBlanks = " \t\r\n\f\v";

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return "";
    }
    size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// INI names ignore case (ASCII only: names are plain words like "Ports" or "COM5").
bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// Whole-string decimal with an optional sign; false for anything else or out of int range.
bool ParseInt(const std::string& text, int& value) {
    size_t digits = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (digits == text.size()) {
        return false;
    }
    for (size_t i = digits; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    errno = 0;
    long long parsed = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

} // namespace

CProfile::CProfile(std::string path) : m_path(std::move(path)) {
    Load();
}

std::string CProfile::DefaultPath() {
    std::filesystem::path directory(ConfigDirectory());
    return (directory / "tovik" / "tovik.ini").string();
}

void CProfile::Load() {
    m_sections.clear();
    CSection preamble;
    preamble.m_hasHeader = false;
    m_sections.push_back(preamble);

    std::ifstream in(m_path, std::ios::binary);
    // Saving over a file we could not read would throw away whatever the user had in it; only
    // a file that is not there at all makes an empty profile that may be saved.
    std::error_code error;
    m_unreadable = !in && std::filesystem::status(m_path, error).type() !=
                              std::filesystem::file_type::not_found;
    std::string text;
    while (std::getline(in, text)) {
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        std::string trimmed = Trim(text);
        size_t close = trimmed.find(']');
        if (!trimmed.empty() && trimmed[0] == '[' && close != std::string::npos) {
            CSection section;
            section.m_name = Trim(trimmed.substr(1, close - 1));
            m_sections.push_back(section);
            m_sections.back().m_lines.push_back(CLine{text, "", ""});
            continue;
        }
        CLine line{text, "", ""};
        size_t equals = trimmed.find('=');
        bool comment = !trimmed.empty() && (trimmed[0] == ';' || trimmed[0] == '#');
        if (!comment && equals != std::string::npos) {
            line.m_key = Trim(trimmed.substr(0, equals));
            line.m_value = Trim(trimmed.substr(equals + 1));
        }
        m_sections.back().m_lines.push_back(line);
    }
}

bool CProfile::Save() const {
    if (m_unreadable) {
        return false;
    }
    std::string text;
    for (const CSection& section : m_sections) {
        for (const CLine& line : section.m_lines) {
            text += line.m_text;
            text += '\n';
        }
    }
    return ReplaceFileContents(m_path, text);
}

const CProfile::CSection* CProfile::FindSection(const std::string& name) const {
    for (const CSection& section : m_sections) {
        if (section.m_hasHeader && SameName(section.m_name, name)) {
            return &section;
        }
    }
    return nullptr;
}

CProfile::CSection* CProfile::FindSection(const std::string& name) {
    return const_cast<CSection*>(static_cast<const CProfile*>(this)->FindSection(name));
}

const CProfile::CLine* CProfile::FindKey(const CSection& section, const std::string& key) {
    for (const CLine& line : section.m_lines) {
        if (!line.m_key.empty() && SameName(line.m_key, key)) {
            return &line;
        }
    }
    return nullptr;
}

std::string CProfile::GetProfileString(const std::string& section, const std::string& key,
                                       const std::string& defaultValue) const {
    const CSection* found = FindSection(Trim(section));
    const CLine* line = found ? FindKey(*found, Trim(key)) : nullptr;
    return line ? line->m_value : defaultValue;
}

int CProfile::GetProfileInt(const std::string& section, const std::string& key,
                            int defaultValue) const {
    const CSection* found = FindSection(Trim(section));
    const CLine* line = found ? FindKey(*found, Trim(key)) : nullptr;
    int value = defaultValue;
    if (line && ParseInt(line->m_value, value)) {
        return value;
    }
    return defaultValue;
}

bool CProfile::WriteProfileString(const std::string& sectionName, const std::string& keyName,
                                  const std::string& rawValue) {
    std::string name = Trim(sectionName);
    std::string key = Trim(keyName);
    std::string value = Trim(rawValue);
    // Names that would read back as something else are refused rather than corrupting the file.
    if (name.empty() || key.empty() || HasLineBreak(name) || HasLineBreak(key) ||
        HasLineBreak(value) || name.find(']') != std::string::npos ||
        key.find('=') != std::string::npos || key[0] == '[' || key[0] == ';' || key[0] == '#') {
        return false;
    }

    CSection* section = FindSection(name);
    if (!section) {
        // A blank line between sections, as people write them by hand.
        const CSection& last = m_sections.back();
        if (!last.m_lines.empty() && !Trim(last.m_lines.back().m_text).empty()) {
            m_sections.back().m_lines.push_back(CLine{"", "", ""});
        }
        CSection added;
        added.m_name = name;
        added.m_lines.push_back(CLine{"[" + name + "]", "", ""});
        m_sections.push_back(added);
        section = &m_sections.back();
    }

    CLine* line = nullptr;
    for (CLine& candidate : section->m_lines) {
        if (!candidate.m_key.empty() && SameName(candidate.m_key, key)) {
            line = &candidate;
            break;
        }
    }
    if (line) {
        // The key keeps its spelling in the file; only the value changes.
        line->m_value = value;
        line->m_text = line->m_key + "=" + value;
    } else {
        // After the section's last key, so blank lines and comments before the next header
        // stay where they are.
        auto at = section->m_lines.begin() + 1;
        for (auto it = section->m_lines.begin(); it != section->m_lines.end(); ++it) {
            if (!it->m_key.empty()) {
                at = it + 1;
            }
        }
        section->m_lines.insert(at, CLine{key + "=" + value, key, value});
    }
    return Save();
}

bool CProfile::WriteProfileInt(const std::string& section, const std::string& key, int value) {
    return WriteProfileString(section, key, std::to_string(value));
}

std::vector<std::pair<std::string, std::string>> CProfile::Section(const std::string& name) const {
    std::vector<std::pair<std::string, std::string>> entries;
    const CSection* section = FindSection(Trim(name));
    if (section) {
        for (const CLine& line : section->m_lines) {
            if (!line.m_key.empty()) {
                entries.emplace_back(line.m_key, line.m_value);
            }
        }
    }
    return entries;
}

int LoadComMapFromProfile(const CProfile& profile) {
    std::set<int> installed;
    for (const auto& [key, value] : profile.Section("Ports")) {
        const int index = ComIndexOfName(key);
        if (index < 0 || value.empty()) {
            continue;
        }
        const int number = index + 1;
        // The first entry wins, as it does for GetProfileString.
        if (installed.insert(number).second) {
            SetComDevicePath(number - 1, value);
        }
    }
    return static_cast<int>(installed.size());
}
