// corvamat-run's outputs: run-time streams, whole files, the JSON dump and the listing text.
#include "Writers.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>
#include <algorithm>
#include <sstream>
#include <vector>

#include "Analysis.h"
#include "Code.h"
#include "HexText.h"
#include "ProgramSymbols.h"
#include "Recorder.h"
#include "Settings.h"
#include "Signals.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kStandardOutput = "standard output";

Failure CannotWrite(int status, const std::string& name, const std::string& reason) {
    return Failure{status, "cannot write " + name + ": " + reason};
}

// ---- The dump's layout -------------------------------------------------------------------------

std::string Scalar(const Json& v) { return v.dump(-1, ' ', false, Json::error_handler_t::replace); }

// A value on one line, ", " between items and ": " after keys.
std::string OneLine(const Json& v) {
    if (!v.is_structured()) return Scalar(v);
    std::string s(1, v.is_object() ? '{' : '[');
    const char* sep = "";
    for (auto it = v.begin(); it != v.end(); ++it) {
        s += sep;
        if (v.is_object()) s += Scalar(Json(it.key())) + ": ";
        s += OneLine(*it);
        sep = ", ";
    }
    return s + (v.is_object() ? '}' : ']');
}

// An object whose members stand one a line; a member that is an object or array has its items
// one a line too, and anything deeper stays on one line (a variable, a call frame).
std::string Layout(const Json& v, const std::string& indent, int levels) {
    if (!v.is_structured() || v.empty() || levels == 0) return OneLine(v);
    std::string s = std::string(1, v.is_object() ? '{' : '[') + "\n";
    for (auto it = v.begin(); it != v.end(); ++it) {
        s += indent + "  ";
        if (v.is_object()) s += Scalar(Json(it.key())) + ": ";
        s += Layout(*it, indent + "  ", levels - 1);
        s += std::next(it) == v.end() ? "\n" : ",\n";
    }
    return s + indent + (v.is_object() ? '}' : ']');
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    std::string s;
    s.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) s += HexDigits(b, 2);
    return s;
}

}  // namespace

// ---- Streams -----------------------------------------------------------------------------------

OutputStream::~OutputStream() {
    if (owned_ && file_) std::fclose(file_);
}

Status OutputStream::Open(const std::string& path) {
    if (path == "-") {
        name_ = kStandardOutput;
        file_ = stdout;
        owned_ = false;
        return {};
    }
    name_ = path;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return CannotWrite(kExitUsage, path, std::strerror(EISDIR));
    // /dev/stdout and its kin share the shell's file: add to it rather than truncate it.
    const bool shared = path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0;
    file_ = std::fopen(path.c_str(), shared ? "ab" : "wb");
    if (!file_) return CannotWrite(kExitUsage, path, std::strerror(errno));
    owned_ = true;
    return {};
}

void OutputStream::WriteFailed() {
    if (!error_) error_ = errno ? errno : EIO;
}

Status OutputStream::Close() {
    if (!file_) return {};
    errno = 0;
    if (std::fflush(file_) != 0) WriteFailed();
    if (std::ferror(file_) && !error_) error_ = EIO;
    if (owned_) {
        errno = 0;
        if (std::fclose(file_) != 0) WriteFailed();
    }
    file_ = nullptr;
    if (error_) return CannotWrite(kExitIoError, name_, std::strerror(error_));
    return {};
}

void TraceWriter::Executed(uint16_t address, uint64_t cycles) {
    const ListingRow row = DisassembleAt(address, format_);
    if (std::fprintf(out_.File(), "%s  %-8s  %-24s A=%02X PSW=%02X SP=%02X DPTR=%02X%02X CYCLES=%llu\n",
                     row.Address.c_str(), row.Bytes.c_str(), row.Text.c_str(), InternalRam[Sfr::ACC],
                     InternalRam[Sfr::PSW], InternalRam[Sfr::SP], InternalRam[Sfr::DPH],
                     InternalRam[Sfr::DPL], (unsigned long long)cycles) < 0)
        out_.WriteFailed();
}

// ---- Whole files -------------------------------------------------------------------------------

Status WholeOutput::Open(const std::string& path) {
    std::string error;
    if (path == "-") {
        name_ = kStandardOutput;
        writer_.OpenStandardOutput();
        return {};
    }
    name_ = path;
    if (!writer_.Open(path, &error)) return CannotWrite(kExitUsage, path, error);
    return {};
}

Status WholeOutput::Write(const std::string& text) {
    std::string error;
    if (name_ == kStandardOutput) std::fflush(stdout);  // after what was printed before
    if (!writer_.Commit(text, &error)) return CannotWrite(kExitIoError, name_, error);
    return {};
}

Status WriteStandardOutput(const std::string& text) {
    errno = 0;
    bool ok = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    int err = errno;
    if (std::fflush(stdout) != 0 && ok) ok = false, err = errno;
    if (!ok) return CannotWrite(kExitIoError, kStandardOutput, std::strerror(err ? err : EIO));
    return {};
}

// ---- Texts -------------------------------------------------------------------------------------

std::string DumpText(const RunOutcome& outcome) {
    Json dump;
    dump["stop"] = StopName(outcome.reason);
    dump["pc"] = outcome.pc;
    dump["cycles"] = outcome.cycles;
    dump["instructions"] = outcome.instructions;
    dump["sbuf_rx"] = unsigned(SerialReceiveBuffer);
    if (outcome.watchWriter) dump["watch_pc"] = *outcome.watchWriter;
    Json frames = Json::array();
    for (const CallFrame& f : CallStackSnapshot()) {
        Json frame;
        frame["site"] = f.site;
        frame["target"] = f.target;
        frame["return"] = f.returnAddress;
        frame["sp"] = unsigned(f.sp);
        frame["interrupt"] = f.interrupt;
        frames.push_back(std::move(frame));
    }
    dump["call_stack"] = std::move(frames);
    std::vector<uint8_t> iram(kInternalRamSize), xram(0x10000);
    for (size_t i = 0; i < iram.size(); ++i) iram[i] = InternalRam[i];
    for (size_t i = 0; i < xram.size(); ++i) xram[i] = ExternalRam[i];
    dump["iram"] = HexBytes(iram);
    dump["xram"] = HexBytes(xram);
    if (const SymbolTable* symbols = ActiveProgramSymbols()) {
        MachineMemory memory;
        // The decoder writes each value as JSON text; read back, it joins the document.
        Json variables = Json::parse(VariablesJson(*symbols, memory, ""), nullptr, false);
        dump["variables"] = variables.is_discarded() ? Json() : std::move(variables);
    }
    return Layout(dump, "", 2) + "\n";
}

std::string ListingText(bool counts) {
    const bool labels = ActiveProgramSymbols() != nullptr;
    std::string text;
    for (const auto& r : Listing) {
        text += r.Address + '\t' + r.Text + '\t' + r.Bytes;
        if (labels) text += '\t' + r.Label;
        // The row's address is its first four characters (hexadecimal).
        if (counts) {
            unsigned a = 0;
            const bool isAddress = std::sscanf(r.Address.c_str(), "%4x", &a) == 1;
            text += '\t' + (isAddress ? std::to_string(Recorder.Starts(uint16_t(a))) : std::string());
        }
        text += '\n';
    }
    return text;
}

std::string VcdText(uint64_t* dropped) {
    SignalHistory history;
    history.Update(LogicSignals);
    *dropped = history.Dropped();
    std::ostringstream text;
    WriteVcd(history, uint32_t(std::max<int32_t>(Settings.Frequency, 0)), text);
    return text.str();
}

bool CoverageAvailable() {
    const SymbolTable* symbols = ActiveProgramSymbols();
    return symbols && !symbols->lines.empty();
}

std::string CoverageFileText() {
    const SymbolTable* symbols = ActiveProgramSymbols();
    if (!symbols || symbols->lines.empty()) return "";
    return LcovText(Recorder, *symbols, ProgramEnd);
}

std::string ProfileFileText(const std::string& program) {
    return CallgrindText(Recorder, ActiveProgramSymbols(), ProgramEnd, program);
}
