#include "settings/profile.h"

#include "platform/com_map.h"
#include "platform/config_files.h"
#include "platform/file_lock.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
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

struct CloseFile {
    void operator()(FILE* file) const { std::fclose(file); }
};

// Names that would read back as something else are refused rather than corrupting the file.
bool Storable(const std::string& section, const std::string& key, const std::string& value) {
    return !section.empty() && !key.empty() && !HasLineBreak(section) && !HasLineBreak(key) &&
           !HasLineBreak(value) && section.find(']') == std::string::npos &&
           key.find('=') == std::string::npos && key[0] != '[' && key[0] != ';' && key[0] != '#';
}

} // namespace

CProfile::CProfile(std::string path) : m_path(std::move(path)) {}

std::string CProfile::DefaultPath() {
    const std::string directory = ConfigDirectory();
    if (directory.empty()) {
        // Never a path relative to wherever the program happened to be started.
        return "";
    }
    return (std::filesystem::path(directory) / "tovik" / "tovik.ini").string();
}

bool CProfile::ReadDocument(const std::string& path, CDocument* document, std::string* error) {
    *document = ParseDocument("");
    if (path.empty()) {
        return true;
    }
    errno = 0;
    std::unique_ptr<FILE, CloseFile> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        // Only a file that is not there at all is an empty profile: saving over one that could
        // not be read would throw away whatever the user had in it.
        if (errno == ENOENT) {
            return true;
        }
        *error = std::string("cannot read it: ") + std::strerror(errno);
        return false;
    }
    std::string text;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, n);
    }
    if (std::ferror(file.get())) {
        *error = std::string("cannot read it: ") + std::strerror(errno);
        return false;
    }
    *document = ParseDocument(text);
    return true;
}

CProfile::CDocument CProfile::ParseDocument(const std::string& text) {
    CDocument document;
    CSection preamble;
    preamble.m_hasHeader = false;
    document.push_back(preamble);

    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        std::string line = text.substr(begin, end == std::string::npos ? end : end - begin);
        begin = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::string trimmed = Trim(line);
        size_t close = trimmed.find(']');
        if (!trimmed.empty() && trimmed[0] == '[' && close != std::string::npos) {
            CSection section;
            section.m_name = Trim(trimmed.substr(1, close - 1));
            document.push_back(section);
            document.back().m_lines.push_back(CLine{line, "", ""});
            continue;
        }
        CLine parsed{line, "", ""};
        size_t equals = trimmed.find('=');
        bool comment = !trimmed.empty() && (trimmed[0] == ';' || trimmed[0] == '#');
        if (!comment && equals != std::string::npos) {
            parsed.m_key = Trim(trimmed.substr(0, equals));
            parsed.m_value = Trim(trimmed.substr(equals + 1));
        }
        document.back().m_lines.push_back(parsed);
    }
    return document;
}

std::string CProfile::RenderDocument(const CDocument& document) {
    std::string text;
    for (const CSection& section : document) {
        for (const CLine& line : section.m_lines) {
            text += line.m_text;
            text += '\n';
        }
    }
    return text;
}

const CProfile::CSection* CProfile::FindSection(const CDocument& document,
                                                const std::string& name) {
    for (const CSection& section : document) {
        if (section.m_hasHeader && SameName(section.m_name, name)) {
            return &section;
        }
    }
    return nullptr;
}

const CProfile::CLine* CProfile::FindKey(const CSection& section, const std::string& key) {
    for (const CLine& line : section.m_lines) {
        if (!line.m_key.empty() && SameName(line.m_key, key)) {
            return &line;
        }
    }
    return nullptr;
}

void CProfile::SetValue(CDocument& document, const std::string& name, const std::string& key,
                        const std::string& value) {
    auto section = std::find_if(document.begin(), document.end(), [&](const CSection& s) {
        return s.m_hasHeader && SameName(s.m_name, name);
    });
    if (section == document.end()) {
        // A blank line between sections, as people write them by hand.
        CSection& last = document.back();
        if (!last.m_lines.empty() && !Trim(last.m_lines.back().m_text).empty()) {
            last.m_lines.push_back(CLine{"", "", ""});
        }
        CSection added;
        added.m_name = name;
        added.m_lines.push_back(CLine{"[" + name + "]", "", ""});
        document.push_back(added);
        section = document.end() - 1;
    }

    for (CLine& line : section->m_lines) {
        if (!line.m_key.empty() && SameName(line.m_key, key)) {
            // The key keeps its spelling in the file; only the value changes.
            line.m_value = value;
            line.m_text = line.m_key + "=" + value;
            return;
        }
    }
    // After the section's last key, so blank lines and comments before the next header stay
    // where they are.
    auto at = section->m_lines.begin() + 1;
    for (auto it = section->m_lines.begin(); it != section->m_lines.end(); ++it) {
        if (!it->m_key.empty()) {
            at = it + 1;
        }
    }
    section->m_lines.insert(at, CLine{key + "=" + value, key, value});
}

CProfile::CDocument CProfile::Current() const {
    CDocument document;
    std::string ignored;
    if (!ReadDocument(m_path, &document, &ignored)) {
        document = ParseDocument("");
    }
    for (const CUnsaved& unsaved : m_unsaved) {
        SetValue(document, unsaved.m_section, unsaved.m_key, unsaved.m_value);
    }
    return document;
}

std::string CProfile::ReadProblem() const {
    CDocument document;
    std::string error;
    return ReadDocument(m_path, &document, &error) ? std::string() : error;
}

std::string CProfile::GetProfileString(const std::string& section, const std::string& key,
                                       const std::string& defaultValue) const {
    const CDocument document = Current();
    const CSection* found = FindSection(document, Trim(section));
    const CLine* line = found ? FindKey(*found, Trim(key)) : nullptr;
    return line ? line->m_value : defaultValue;
}

int CProfile::GetProfileInt(const std::string& section, const std::string& key,
                            int defaultValue) const {
    int value = defaultValue;
    if (ParseInt(GetProfileString(section, key, ""), value)) {
        return value;
    }
    return defaultValue;
}

bool CProfile::Save(const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& values,
                    std::string* error) const {
    if (m_path.empty()) {
        *error = "there is no home directory to keep them in";
        return false;
    }
    // The lock file lives beside the profile, so its folder must be there first.
    if (!MakeParentDirectories(m_path, error)) {
        return false;
    }
    CFileLock lock;
    if (!lock.Acquire(m_path + ".lock", error)) {
        return false;
    }
    // What others wrote since this program last looked stays: only these keys change.
    CDocument document;
    if (!ReadDocument(m_path, &document, error)) {
        return false;
    }
    for (const auto& [key, value] : values) {
        SetValue(document, section, key, value);
    }
    return ReplaceFileContents(m_path, RenderDocument(document), error);
}

bool CProfile::WriteProfileStrings(const std::string& sectionName,
                                   const std::vector<std::pair<std::string, std::string>>& raw) {
    const std::string section = Trim(sectionName);
    std::vector<std::pair<std::string, std::string>> values;
    for (const auto& [key, value] : raw) {
        values.emplace_back(Trim(key), Trim(value));
        if (!Storable(section, values.back().first, values.back().second)) {
            m_lastError = "a name or value that cannot be stored in the file";
            return false;
        }
    }

    std::string error;
    const bool saved = Save(section, values, &error);
    m_lastError = saved ? std::string() : error;
    for (const auto& [key, value] : values) {
        auto same = [&](const CUnsaved& u) {
            return SameName(u.m_section, section) && SameName(u.m_key, key);
        };
        m_unsaved.erase(std::remove_if(m_unsaved.begin(), m_unsaved.end(), same), m_unsaved.end());
        if (!saved) {
            m_unsaved.push_back(CUnsaved{section, key, value});
        }
    }
    return saved;
}

bool CProfile::WriteProfileString(const std::string& section, const std::string& key,
                                  const std::string& value) {
    return WriteProfileStrings(section, {{key, value}});
}

bool CProfile::WriteProfileInt(const std::string& section, const std::string& key, int value) {
    return WriteProfileString(section, key, std::to_string(value));
}

std::vector<std::pair<std::string, std::string>> CProfile::Section(const std::string& name) const {
    std::vector<std::pair<std::string, std::string>> entries;
    const CDocument document = Current();
    const CSection* section = FindSection(document, Trim(name));
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
