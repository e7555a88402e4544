// Intel HEX and binary readers, the relocation of binary images and the choice by extension.
#include "ProgramFiles.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "Code.h"
#include "Debugger.h"
#include "HexText.h"
#include "Settings.h"

std::string ProgramFileName;
int32_t LoadedProgramEnd = 0;
LoadSummary LastLoadSummary;

namespace {

void ClearProgram() {
    CodeMemory.fill(0);
    NoteCodeChanged();
    RemoveCodeBreakpoints();
    InterruptLevelStack.Fill(0);
}

// A load given up: nothing of the file stays in memory.
bool Abandon(LoadReporter& reporter, const std::string& message) {
    ClearProgram();
    ProgramEnd = 0;
    reporter.ShowError(message);
    return false;
}

std::string IoMessage(const std::string& path, int err) {
    return "Cannot read \"" + path + "\": " + std::strerror(err) + ".";
}

std::string AtLine(const std::string& message, int lineNo) {
    return message + " (line " + std::to_string(lineNo) + ")";
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a program file for reading; on failure `err` holds the reason. A folder opens on some
// systems and fails only at the first read with a vague error, so it is refused here.
File OpenProgram(const std::string& path, int* err) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        *err = EISDIR;
        return nullptr;
    }
    errno = 0;
    File f(std::fopen(path.c_str(), "rb"));
    *err = errno ? errno : EIO;
    return f;
}

// The errno of a failed read, or EIO when the library left none.
int ReadError() { return errno ? errno : EIO; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The field of `width` characters at column `col` (1-based) as a number; false when it is cut
// short or holds a character that is not a hexadecimal digit. `text` receives the field as it
// stands in the line.
bool Field(const std::string& line, size_t col, size_t width, unsigned* value, std::string* text) {
    *text = col - 1 < line.size() ? line.substr(col - 1, width) : std::string();
    if (text->size() != width) return false;
    unsigned v = 0;
    for (char c : *text) {
        int d = HexDigit(c);
        if (d < 0) return false;
        v = v * 16 + unsigned(d);
    }
    *value = v;
    return true;
}

std::string NotAnInteger(const std::string& field) {
    return "'$" + field + "' is not a valid integer value";
}

// Reads the next line: up to LF, a CR and anything after it up to the LF dropped. Returns false
// at the physical end of the file or at a 1Ah where a line would begin.
bool ReadLine(std::FILE* f, std::string* line, bool* ioError) {
    line->clear();
    int c = std::fgetc(f);
    if (c == EOF || c == 0x1A) {
        *ioError = std::ferror(f) != 0;
        return false;
    }
    bool skipping = false;
    for (; c != EOF && c != '\n'; c = std::fgetc(f)) {
        if (c == '\r') skipping = true;
        if (!skipping) line->push_back(char(c));
    }
    *ioError = std::ferror(f) != 0;
    return true;
}

}  // namespace

bool LoadHexFile(const std::string& path, LoadReporter& reporter) {
    ClearProgram();
    ProgramEnd = 0;
    LastLoadSummary = LoadSummary();
    int err = 0;
    File f = OpenProgram(path, &err);
    if (!f) return Abandon(reporter, IoMessage(path, err));

    int32_t end = 0;
    uint32_t dropped = 0;
    std::string line, text;
    bool ioError = false;
    int lineNo = 1;
    errno = 0;
    for (; ReadLine(f.get(), &line, &ioError); ++lineNo) {
        if (ioError) break;
        if (line.empty() || line[0] != ':') {
            return Abandon(reporter,
                           "Invalid file format (line " + std::to_string(lineNo) + ").");
        }
        unsigned count, address, type, checksum;
        if (!Field(line, 8, 2, &type, &text) || !Field(line, 4, 4, &address, &text) ||
            !Field(line, 2, 2, &count, &text))
            return Abandon(reporter, AtLine(NotAnInteger(text), lineNo));
        unsigned sum = count + (address >> 8) + (address & 0xFF) + type;
        uint8_t data[256];
        for (unsigned i = 0; i < count; ++i) {
            unsigned byte;
            if (!Field(line, 10 + 2 * i, 2, &byte, &text))
                return Abandon(reporter, AtLine(NotAnInteger(text), lineNo));
            data[i] = uint8_t(byte);
            sum += byte;
        }
        if (!Field(line, 10 + 2 * count, 2, &checksum, &text))
            return Abandon(reporter, AtLine(NotAnInteger(text), lineNo));
        if (((sum + checksum) & 0xFF) != 0 && !Settings.IgnoreChecksum) {
            std::string question = "Checksum error in line " + std::to_string(lineNo) + " ($" +
                                   text + " / $" + HexDigits(0x100 - (sum & 0xFF), 2) + "). Continue?";
            if (!reporter.AskYesNo(question)) {
                ClearProgram();
                ProgramEnd = 0;
                return false;
            }
        }
        if (type == 0 && count != 0) {
            // Bytes that would lie beyond FFFFh are dropped.
            for (unsigned i = 0; i < count; ++i) {
                if (address + i <= 0xFFFF) CodeMemory[address + i] = data[i];
                else ++dropped;
            }
            int32_t last = int32_t(std::min(address + count - 1, 0xFFFFu));
            if (last > end) end = last;
        }
    }
    if (ioError) return Abandon(reporter, AtLine(IoMessage(path, ReadError()), lineNo));
    LastLoadSummary.DroppedBytes = dropped;
    ProgramEnd = end;
    LoadedProgramEnd = end;
    if (!Settings.DelNops) ProgramEnd = 0xFFFF;
    return true;
}

uint32_t RelocateCode(uint16_t offset, uint32_t last) {
    uint32_t changed = 0;
    for (uint32_t a = 0; a < 0xFFFF && a <= last; a += AsmTable[CodeMemory[a]].Length) {
        uint8_t op = CodeMemory[a];
        if (a + AsmTable[op].Length - 1 > 0xFFFF) break;  // operands would lie past code memory
        if ((op & 0x0F) == 0x01) {
            unsigned field = (op >> 5) * 256u + CodeMemory[a + 1];
            unsigned moved = (field - offset) & 0x7FF;
            changed += moved != field;
            CodeMemory[a] = uint8_t((op & 0x1F) | ((moved >> 8) << 5));
            CodeMemory[a + 1] = uint8_t(moved);
        } else if (op == 0x02 || op == 0x12) {
            unsigned target = CodeMemory[a + 1] * 256u + CodeMemory[a + 2];
            unsigned moved = (target - offset) & 0xFFFF;
            changed += moved != target;
            CodeMemory[a + 1] = uint8_t(moved >> 8);
            CodeMemory[a + 2] = uint8_t(moved);
        }
    }
    return changed;
}

bool LoadBinaryFile(const std::string& path, LoadReporter& reporter) {
    ClearProgram();
    ProgramEnd = 0;
    LastLoadSummary = LoadSummary();
    int err = 0;
    File f = OpenProgram(path, &err);
    if (!f) return Abandon(reporter, IoMessage(path, err));
    errno = 0;
    size_t n = std::fread(CodeMemory.data(), 1, CodeMemory.size(), f.get());
    // Whatever lies past 64 KB is not loaded, only counted.
    uint32_t dropped = 0;
    char rest[4096];
    while (n == CodeMemory.size() && !std::ferror(f.get()) && !std::feof(f.get()))
        dropped += uint32_t(std::fread(rest, 1, sizeof rest, f.get()));
    if (std::ferror(f.get())) return Abandon(reporter, IoMessage(path, ReadError()));
    ProgramEnd = int32_t(n) - 1;
    LoadedProgramEnd = ProgramEnd;
    LastLoadSummary.DroppedBytes = dropped;
    if (Settings.BinOffset != 0) {
        LastLoadSummary.Relocated = true;
        LastLoadSummary.Offset = Settings.BinOffset;
        LastLoadSummary.MovedTargets = RelocateCode(Settings.BinOffset, uint32_t(std::max<int32_t>(ProgramEnd, 0)));
    }
    return true;
}

bool LoadProgramFile(const std::string& path, LoadReporter& reporter) {
    auto dot = path.find_last_of("./");
    std::string ext = dot != std::string::npos && path[dot] == '.' ? path.substr(dot) : "";
    for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".HEX" || ext == ".IHX") return LoadHexFile(path, reporter);
    if (ext == ".BIN") return LoadBinaryFile(path, reporter);
    // Neither reader applies: nothing is loaded, and the user learns why.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        reporter.ShowError(path + ": " + std::strerror(EISDIR) + ".");
    else
        reporter.ShowError(path + ": not a .hex, .ihx or .bin file.");
    return false;
}
