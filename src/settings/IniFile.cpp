// INI text kept line by line, with in-place updates and safe replacement of the file.
#include "IniFile.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The section name of a header line "[Name]", if it is one.
std::optional<std::string> HeaderName(const std::string& line) {
    std::string t = Trim(line);
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') return Trim(t.substr(1, t.size() - 2));
    return std::nullopt;
}

}  // namespace

IniFile::IniFile(const std::string& text) {
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines_.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) {
        if (line.back() == '\r') line.pop_back();
        lines_.push_back(line);
    }
}

std::optional<IniFile> IniFile::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    return IniFile(ss.str());
}

int IniFile::FindSection(const std::string& section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        auto name = HeaderName(lines_[i]);
        if (name && SameText(*name, section)) return int(i);
    }
    return -1;
}

int IniFile::SectionEnd(int header) const {
    size_t i = size_t(header) + 1;
    while (i < lines_.size() && !HeaderName(lines_[i])) ++i;
    return int(i);
}

int IniFile::FindKey(int header, const std::string& key) const {
    int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        const std::string& l = lines_[size_t(i)];
        auto eq = l.find('=');
        if (eq == std::string::npos) continue;
        std::string t = Trim(l);
        if (t.empty() || t[0] == ';') continue;
        if (SameText(Trim(l.substr(0, eq)), key)) return i;
    }
    return -1;
}

std::optional<std::string> IniFile::Read(const std::string& section, const std::string& key) const {
    int h = FindSection(section);
    if (h < 0) return std::nullopt;
    int k = FindKey(h, key);
    if (k < 0) return std::nullopt;
    const std::string& l = lines_[size_t(k)];
    return Trim(l.substr(l.find('=') + 1));
}

void IniFile::Write(const std::string& section, const std::string& key, const std::string& value) {
    int h = FindSection(section);
    if (h < 0) {
        lines_.push_back("[" + section + "]");
        lines_.push_back(key + "=" + value);
        return;
    }
    int k = FindKey(h, key);
    if (k >= 0) {
        const std::string& l = lines_[size_t(k)];
        lines_[size_t(k)] = l.substr(0, l.find('=') + 1) + value;
        return;
    }
    // After the section's last key, before any blank lines that separate it from the next one.
    int end = SectionEnd(h);
    while (end > h + 1 && Trim(lines_[size_t(end - 1)]).empty()) --end;
    lines_.insert(lines_.begin() + end, key + "=" + value);
}

void IniFile::RemoveSection(const std::string& section) {
    const int h = FindSection(section);
    if (h < 0) return;
    lines_.erase(lines_.begin() + h, lines_.begin() + SectionEnd(h));
}

std::string IniFile::Text() const {
    std::string out;
    for (const auto& l : lines_) out += l + "\r\n";
    return out;
}
