// A small INI file reader and writer that keeps the file's own order, comments and unknown keys.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The text of an INI file held as its lines. Reads look sections and keys up without regard to
// case; writes change a key's line in place, add a missing key at the end of its section, or add
// a missing section at the end of the file. Nothing else in the file is touched.
class IniFile {
public:
    IniFile() = default;
    // Parses the text of a file (LF or CR LF line ends).
    explicit IniFile(const std::string& text);

    // Loads `path`; a missing file gives an empty IniFile and returns false.
    static std::optional<IniFile> Load(const std::string& path);

    std::optional<std::string> Read(const std::string& section, const std::string& key) const;
    void Write(const std::string& section, const std::string& key, const std::string& value);
    bool HasSection(const std::string& section) const { return FindSection(section) >= 0; }
    // Removes a section's header and lines, with the blank lines that end it.
    void RemoveSection(const std::string& section);

    // The whole file as text, lines ended with CR LF.
    std::string Text() const;

private:
    std::vector<std::string> lines_;
    // Index of the section header line, or -1.
    int FindSection(const std::string& section) const;
    // Index of the key's line within the section starting at `header`, or -1.
    int FindKey(int header, const std::string& key) const;
    int SectionEnd(int header) const;
};
