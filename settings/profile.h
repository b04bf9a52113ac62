#pragma once
// The user's settings file: sections of key=value lines, integers as decimal text.
//
// The whole file is held in memory line by line, so that comments, blank lines and sections
// this program does not know survive a rewrite exactly as the user left them. Section and key
// names compare without regard to case; values are kept as written (trimmed). Each write saves
// the whole file at once through a temporary file, so a crash never leaves half a profile.
// Meant for the UI thread only.

#include <string>
#include <utility>
#include <vector>

class CProfile {
public:
    explicit CProfile(std::string path);

    // <per-user configuration directory>/tovik/tovik.ini.
    static std::string DefaultPath();

    const std::string& Path() const { return m_path; }

    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const;
    // A value that is not a whole decimal integer (optionally signed) gives defaultValue.
    int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) const;

    // Both update memory first, then save the file; false when the file could not be saved
    // (the new value still holds for this session) or the names cannot be stored in the file.
    bool WriteProfileString(const std::string& section, const std::string& key,
                            const std::string& value);
    bool WriteProfileInt(const std::string& section, const std::string& key, int value);

    // Every key of the first section with this name, in file order.
    std::vector<std::pair<std::string, std::string>> Section(const std::string& name) const;

private:
    // One line of the file. Lines that are not key=value (comments, blanks, junk) have an empty
    // key and are written back verbatim.
    struct CLine {
        std::string m_text;
        std::string m_key;
        std::string m_value;
    };
    // The lines before the first header belong to a section with an empty name and no header.
    struct CSection {
        std::string m_name;
        bool m_hasHeader = true;
        std::vector<CLine> m_lines;
    };

    void Load();
    bool Save() const;
    const CSection* FindSection(const std::string& name) const;
    CSection* FindSection(const std::string& name);
    static const CLine* FindKey(const CSection& section, const std::string& key);

    std::string m_path;
    std::vector<CSection> m_sections;
    bool m_unreadable = false; // the file exists but could not be opened: never overwrite it
};

// Installs the COM<n>=<device path> entries of the "Ports" section (n from 1 to 256) as the
// device paths of those COM indexes. Returns how many it installed.
int LoadComMapFromProfile(const CProfile& profile);
