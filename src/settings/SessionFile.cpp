// The session file's JSON reader and writer, and where a program's session file lives.
#include "SessionFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "SafeFile.h"

namespace {

// Keys in the order written, so that the file reads from its format to its windows.
using json = nlohmann::ordered_json;
namespace fs = std::filesystem;

constexpr int kFormatVersion = 1;
constexpr const char* kFormatKey = "corvamat-session";

// The program's hexadecimal notation: "0123h", "0A5h" (a 0 before a leading letter).
std::string HexText(unsigned value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, value);
    return (buf[0] > '9' ? "0" : "") + std::string(buf) + "h";
}

// A number written as "0123h" (hexadecimal) or as a JSON number, within [0, limit].
bool ReadNumber(const json& j, uint32_t limit, uint32_t* out) {
    if (j.is_number_unsigned()) {
        const auto v = j.get<uint64_t>();
        if (v > limit) return false;
        *out = uint32_t(v);
        return true;
    }
    if (!j.is_string()) return false;
    const std::string& s = j.get_ref<const std::string&>();
    if (s.size() < 2 || s.size() > 9 || (s.back() != 'h' && s.back() != 'H')) return false;
    uint64_t v = 0;
    for (size_t i = 0; i + 1 < s.size(); ++i) {
        const char c = s[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = v * 16 + unsigned(d);
    }
    if (v > limit) return false;
    *out = uint32_t(v);
    return true;
}

bool ReadInt(const json& j, int* out) {
    if (!j.is_number_integer()) return false;
    const auto v = j.get<int64_t>();
    if (v < -1000000 || v > 1000000) return false;
    *out = int(v);
    return true;
}

// The member `key` of an object as a string ("" when it is missing or no string).
std::string Text(const json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool Enabled(const json& j) {
    auto it = j.find("enabled");
    return it == j.end() || !it->is_boolean() || it->get<bool>();
}

bool KnownMemory(const std::string& m) { return m == "iram" || m == "sfr" || m == "bit" || m == "xram"; }

uint32_t MemoryLimit(const std::string& m) { return m == "xram" ? 0xFFFF : 0xFF; }

void ReadCodeBreakpoints(const json& list, SessionReadResult* r) {
    for (const json& e : list) {
        SessionCodeBreakpoint b;
        if (e.is_object()) {
            b.enabled = Enabled(e);
            uint32_t n = 0;
            if (auto f = e.find("file"); f != e.end()) {
                auto line = e.find("line");
                b.file = Text(e, "file");
                if (!b.file.empty() && line != e.end() && line->is_number_unsigned() && ReadNumber(*line, 0xFFFFFFF, &n) &&
                    n > 0) {
                    b.line = n;
                    r->session.breakpoints.push_back(b);
                    continue;
                }
            } else if (e.contains("function")) {
                b.function = Text(e, "function");
                if (!b.function.empty()) {
                    r->session.breakpoints.push_back(b);
                    continue;
                }
            } else if (auto a = e.find("address"); a != e.end() && ReadNumber(*a, 0xFFFF, &n)) {
                b.address = int32_t(n);
                r->session.breakpoints.push_back(b);
                continue;
            }
        }
        r->problems.push_back("a code breakpoint that names no line, function or address (" + e.dump() + ")");
    }
}

void ReadDataBreakpoints(const json& list, SessionReadResult* r) {
    for (const json& e : list) {
        SessionDataBreakpoint b;
        bool good = e.is_object();
        if (good) {
            b.enabled = Enabled(e);
            b.stop = e.contains("stop") ? Text(e, "stop") : "write";
            good = b.stop == "write" || b.stop == "equals" || b.stop == "changes";
            uint32_t n = 0;
            if (good && b.stop == "equals") {
                auto v = e.find("value");
                good = v != e.end() && ReadNumber(*v, 0xFF, &n);
                b.value = uint8_t(n);
            }
            if (good && e.contains("variable")) {
                b.variable = Text(e, "variable");
                good = !b.variable.empty();
            } else if (good) {
                b.memory = e.contains("memory") ? Text(e, "memory") : "iram";
                auto a = e.find("address");
                good = KnownMemory(b.memory) && a != e.end() && ReadNumber(*a, MemoryLimit(b.memory), &n);
                b.address = uint16_t(n);
            }
        }
        if (good) r->session.dataBreakpoints.push_back(b);
        else r->problems.push_back("a data breakpoint that cannot be read (" + e.dump() + ")");
    }
}

void ReadStrings(const json& list, const char* what, std::vector<std::string>* out, SessionReadResult* r) {
    for (const json& e : list) {
        if (e.is_string() && !e.get_ref<const std::string&>().empty()) out->push_back(e.get<std::string>());
        else r->problems.push_back(std::string(what) + " that is no text (" + e.dump() + ")");
    }
}

void ReadWindows(const json& list, SessionReadResult* r) {
    for (const json& e : list) {
        SessionWindow w;
        bool good = e.is_object();
        if (good) {
            w.window = Text(e, "window");
            w.state = e.contains("state") ? Text(e, "state") : "normal";
            good = !w.window.empty() && (w.state == "normal" || w.state == "minimized" || w.state == "maximized") &&
                   e.contains("x") && ReadInt(e["x"], &w.x) && e.contains("y") && ReadInt(e["y"], &w.y) &&
                   e.contains("width") && ReadInt(e["width"], &w.width) && e.contains("height") &&
                   ReadInt(e["height"], &w.height) && w.width > 0 && w.height > 0;
        }
        if (good) r->session.windows.push_back(w);
        else r->problems.push_back("a window that cannot be read (" + e.dump() + ")");
    }
}

}  // namespace

SessionReadResult ReadSessionText(const std::string& text) {
    SessionReadResult r;
    if (text.size() > kMaxSessionFileSize) {
        r.error = "the file is larger than a session file can be";
        return r;
    }
    json j;
    try {
        j = json::parse(text);
    } catch (const json::exception& e) {  // a syntax error, or a number too large for a double
        // "[json.exception.parse_error.101] parse error at line 2, column 3: ..." without its tag.
        std::string what = e.what();
        const size_t tag = what.find("] ");
        r.error = tag == std::string::npos ? what : what.substr(tag + 2);
        return r;
    }
    if (!j.is_object() || !j.contains(kFormatKey)) {
        r.error = "it is not a Corvamat session file";
        return r;
    }
    if (!j[kFormatKey].is_number_unsigned() || j[kFormatKey].get<uint64_t>() < 1) {
        r.error = "its format version is not a number";
        return r;
    }
    // A later version may add keys; what this one knows keeps its meaning.
    r.session.program = Text(j, "program");
    auto list = [&](const char* key) -> const json* {
        auto it = j.find(key);
        if (it == j.end()) return nullptr;
        if (it->is_array()) return &*it;
        r.problems.push_back(std::string("\"") + key + "\", which is no list");
        return nullptr;
    };
    if (const json* l = list("breakpoints")) ReadCodeBreakpoints(*l, &r);
    if (const json* l = list("dataBreakpoints")) ReadDataBreakpoints(*l, &r);
    if (const json* l = list("sourceFolders")) ReadStrings(*l, "a source folder", &r.session.sourceFolders, &r);
    if (const json* l = list("watchExpanded")) ReadStrings(*l, "a Watch row", &r.session.watchExpanded, &r);
    if (const json* l = list("logicSignals")) ReadStrings(*l, "a Logic Analyzer signal", &r.session.logicSignals, &r);
    if (const json* l = list("windows")) ReadWindows(*l, &r);
    r.ok = true;
    return r;
}

std::string SessionText(const ProgramSession& s) {
    json j = json::object();
    j[kFormatKey] = kFormatVersion;
    j["program"] = s.program;
    json code = json::array();
    for (const SessionCodeBreakpoint& b : s.breakpoints) {
        json e = json::object();
        if (!b.file.empty()) {
            e["file"] = b.file;
            e["line"] = b.line;
        } else if (!b.function.empty()) {
            e["function"] = b.function;
        } else {
            e["address"] = HexText(unsigned(b.address) & 0xFFFF, 4);
        }
        if (!b.enabled) e["enabled"] = false;
        code.push_back(e);
    }
    j["breakpoints"] = code;
    json data = json::array();
    for (const SessionDataBreakpoint& b : s.dataBreakpoints) {
        json e = json::object();
        if (!b.variable.empty()) {
            e["variable"] = b.variable;
        } else {
            e["memory"] = b.memory;
            e["address"] = HexText(b.address, b.memory == "xram" ? 4 : 2);
        }
        e["stop"] = b.stop;
        if (b.stop == "equals") e["value"] = HexText(b.value, 2);
        if (!b.enabled) e["enabled"] = false;
        data.push_back(e);
    }
    j["dataBreakpoints"] = data;
    j["sourceFolders"] = s.sourceFolders;
    j["watchExpanded"] = s.watchExpanded;
    j["logicSignals"] = s.logicSignals;
    json windows = json::array();
    for (const SessionWindow& w : s.windows)
        windows.push_back({{"window", w.window}, {"x", w.x}, {"y", w.y}, {"width", w.width},
                           {"height", w.height}, {"state", w.state}});
    j["windows"] = windows;
    // Names the user typed may hold any bytes: invalid UTF-8 is replaced rather than refused.
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string SessionPathBeside(const std::string& programPath) {
    fs::path p(programPath);
    p.replace_extension(".corvamat-session");
    return p.string();
}

std::string SessionPathInConfig(const std::string& programPath, const std::string& configFolder) {
    if (configFolder.empty()) return {};
    // FNV-1a of the full path: two programs of one name in different folders get their own files.
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : programPath) h = (h ^ c) * 1099511628211ull;
    char hash[20];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(h));
    fs::path p = fs::path(configFolder) / "sessions" /
                 (fs::path(programPath).stem().string() + "-" + hash + ".corvamat-session");
    return p.string();
}

std::string DefaultConfigFolder() {
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/') return std::string(x) + "/corvamat";
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/corvamat";
    return {};
}

std::string FindSessionFile(const std::string& programPath, const std::string& configFolder) {
    std::error_code ec;
    const std::string beside = SessionPathBeside(programPath);
    if (fs::exists(beside, ec)) return beside;
    const std::string config = SessionPathInConfig(programPath, configFolder);
    if (!config.empty() && fs::exists(config, ec)) return config;
    return {};
}

std::string SessionWritePath(const std::string& programPath, const std::string& configFolder) {
    const std::string beside = SessionPathBeside(programPath);
    std::error_code ec;
    // Tried, not guessed from permission bits: a read-only mount refuses even the superuser. A
    // session path that is no regular file (a FIFO would wait for a reader) is never used.
    const auto status = fs::status(beside, ec);
    if (!fs::exists(status) || fs::is_regular_file(status)) {
        WholeFileWriter probe;
        std::string error;
        if (probe.Open(beside, &error)) return beside;
    }
    return SessionPathInConfig(programPath, configFolder);
}

SessionReadResult LoadSessionFile(const std::string& path, bool* missing) {
    if (missing) *missing = false;
    SessionReadResult r;
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        if (missing) *missing = true;
        r.ok = true;
        return r;
    }
    if (!fs::is_regular_file(path, ec)) {
        r.error = "it is not a regular file";
        return r;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        r.error = "it cannot be read";
        return r;
    }
    std::string text;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        text.append(buf, size_t(in.gcount()));
        if (text.size() > kMaxSessionFileSize) break;
    }
    return ReadSessionText(text);
}

bool SaveSessionFile(const std::string& path, const ProgramSession& session, std::string* error) {
    std::error_code ec;
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty() && !fs::exists(folder, ec) && !fs::create_directories(folder, ec)) {
        if (error) *error = ec.message();
        return false;
    }
    return WriteFileSafely(path, SessionText(session), error);
}
