#pragma once
// The user's settings file: sections of key=value lines, integers as decimal text.
//
// Several programs share the file (two dialogs, tovik-cli, a person with an editor), so nothing
// of it is kept between calls: every read takes the file as it is, and every write changes only
// its own keys in the file as it is at that moment, under a lock that writers of this program
// take on "<file>.lock" (readers need none: the file is only ever replaced whole, through a
// temporary file and a rename, so a crash never leaves half a profile). Comments, blank lines and
// sections this program does not know survive a rewrite exactly as they were. Section and key
// names compare without regard to case; values are kept as written (trimmed). Meant for one
// thread.

#include <string>
#include <utility>
#include <vector>

class CProfile {
public:
    // An empty path is a profile that has nowhere to live: reads give the defaults, writes fail.
    explicit CProfile(std::string path);

    // <per-user configuration directory>/tovik/tovik.ini; empty when the user has no home.
    static std::string DefaultPath();

    const std::string& Path() const { return m_path; }

    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const;
    // A value that is not a whole decimal integer (optionally signed) gives defaultValue.
    int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) const;

    // False when the names cannot be stored in the file (nothing changes then), or when the file
    // could not be saved: the new value still holds for reads through this object, and
    // LastWriteError() says why. A file that exists but cannot be read is never overwritten.
    bool WriteProfileString(const std::string& section, const std::string& key,
                            const std::string& value);
    bool WriteProfileInt(const std::string& section, const std::string& key, int value);
    // Several keys of one section in a single rewrite of the file.
    bool WriteProfileStrings(const std::string& section,
                             const std::vector<std::pair<std::string, std::string>>& values);

    // Why the last write failed, in the system's words; empty after a write that succeeded.
    const std::string& LastWriteError() const { return m_lastError; }

    // Why the file, which is there, cannot be read now (for example "cannot read it: Permission
    // denied"); empty when it can be, or when there is none. Reads then give the defaults, which
    // may not be what the file says.
    std::string ReadProblem() const;

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
    using CDocument = std::vector<CSection>;
    // A value written in this session that could not be saved.
    struct CUnsaved {
        std::string m_section;
        std::string m_key;
        std::string m_value;
    };

    // The file as it is now; a missing file is an empty document. False, with the reason, when
    // the file exists but cannot be read.
    static bool ReadDocument(const std::string& path, CDocument* document, std::string* error);
    static CDocument ParseDocument(const std::string& text);
    static std::string RenderDocument(const CDocument& document);
    static void SetValue(CDocument& document, const std::string& section, const std::string& key,
                         const std::string& value);
    static const CSection* FindSection(const CDocument& document, const std::string& name);
    static const CLine* FindKey(const CSection& section, const std::string& key);
    // The file as it is, with this session's unsaved values on top.
    CDocument Current() const;
    // Locks, reads the file afresh, sets the values and replaces the file.
    bool Save(const std::string& section,
              const std::vector<std::pair<std::string, std::string>>& values,
              std::string* error) const;

    std::string m_path;
    std::vector<CUnsaved> m_unsaved;
    std::string m_lastError;
};

// Installs the COM<n>=<device path> entries of the "Ports" section (n from 1 to 256) as the
// device paths of those COM indexes. Returns how many it installed.
int LoadComMapFromProfile(const CProfile& profile);
