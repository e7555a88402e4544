// The Debug Adapter Protocol server: the request handlers, the events and the loop that runs the
// simulation in slices between requests.
#include "DapServer.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "Code.h"
#include "Settings.h"
#include "Symbols.h"
#include "Targets.h"

using nlohmann::json;

namespace {

constexpr int kThreadId = 1;

// A request's argument of the wrong type or missing: the handler's error message.
struct ArgumentError {
    std::string message;
};

const json& Field(const json& a, const char* name) {
    static const json null;
    auto it = a.find(name);
    return it == a.end() ? null : *it;
}

std::optional<std::string> OptString(const json& a, const char* name) {
    const json& v = Field(a, name);
    if (v.is_null()) return std::nullopt;
    if (!v.is_string()) throw ArgumentError{"\"" + std::string(name) + "\" must be a string"};
    return v.get<std::string>();
}

std::string NeedString(const json& a, const char* name) {
    auto v = OptString(a, name);
    if (!v) throw ArgumentError{"\"" + std::string(name) + "\" is missing"};
    return *v;
}

std::optional<int64_t> OptInt(const json& a, const char* name) {
    const json& v = Field(a, name);
    if (v.is_null()) return std::nullopt;
    if (!v.is_number_integer()) throw ArgumentError{"\"" + std::string(name) + "\" must be an integer"};
    return v.get<int64_t>();
}

int64_t NeedInt(const json& a, const char* name) {
    auto v = OptInt(a, name);
    if (!v) throw ArgumentError{"\"" + std::string(name) + "\" is missing"};
    return *v;
}

bool OptBool(const json& a, const char* name) {
    const json& v = Field(a, name);
    if (v.is_null()) return false;
    if (!v.is_boolean()) throw ArgumentError{"\"" + std::string(name) + "\" must be true or false"};
    return v.get<bool>();
}

const json& OptArray(const json& a, const char* name) {
    static const json empty = json::array();
    const json& v = Field(a, name);
    if (v.is_null()) return empty;
    if (!v.is_array()) throw ArgumentError{"\"" + std::string(name) + "\" must be an array"};
    return v;
}

const json& OptObject(const json& a, const char* name) {
    static const json empty = json::object();
    const json& v = Field(a, name);
    if (v.is_null()) return empty;
    if (!v.is_object()) throw ArgumentError{"\"" + std::string(name) + "\" must be an object"};
    return v;
}

// A number given as a JSON number or as text ("11059200", "0x8000").
std::optional<int64_t> OptNumber(const json& a, const char* name) {
    const json& v = Field(a, name);
    if (v.is_null()) return std::nullopt;
    if (v.is_number_integer()) return v.get<int64_t>();
    if (v.is_string()) {
        const std::string s = v.get<std::string>();
        int64_t n = 0;
        if (ParseSettingNumber(s, &n)) return n;
    }
    throw ArgumentError{"\"" + std::string(name) + "\" must be a number"};
}

std::string Hex(uint32_t v, int digits) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%0*X", digits, v);
    return b;
}

// The bytes the program sent as text: each byte one character (ISO 8859-1), so that nothing is
// lost or replaced on the way to the editor.
std::string Latin1ToUtf8(const std::string& bytes) {
    std::string s;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            s.push_back(char(c));
        } else {
            s.push_back(char(0xC0 | (c >> 6)));
            s.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return s;
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(const std::vector<uint8_t>& b) {
    std::string s;
    for (size_t i = 0; i < b.size(); i += 3) {
        const uint32_t n = uint32_t(b[i]) << 16 | (i + 1 < b.size() ? uint32_t(b[i + 1]) << 8 : 0) |
                           (i + 2 < b.size() ? b[i + 2] : 0);
        s.push_back(kBase64[n >> 18 & 63]);
        s.push_back(kBase64[n >> 12 & 63]);
        s.push_back(i + 1 < b.size() ? kBase64[n >> 6 & 63] : '=');
        s.push_back(i + 2 < b.size() ? kBase64[n & 63] : '=');
    }
    return s;
}

std::optional<std::vector<uint8_t>> FromBase64(const std::string& s) {
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    int bits = 0;
    for (char c : s) {
        if (c == '=' || c == '\r' || c == '\n') continue;
        const char* p = std::strchr(kBase64, c);
        if (!p || !c) return std::nullopt;
        acc = acc << 6 | uint32_t(p - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(uint8_t(acc >> bits));
        }
    }
    return out;
}

json SourceJson(const SourceLocation& s) {
    const size_t slash = s.path.find_last_of('/');
    return json{{"name", slash == std::string::npos ? s.path : s.path.substr(slash + 1)}, {"path", s.path}};
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A data breakpoint's place as dataBreakpointInfo names it: "iram:0x30", "sfr:0xD0", "bit:0x0B",
// "xram:0x0100", or "var:NAME" for a variable of the program by its unique name; resolved with
// the condition as the runner's --watch resolves its targets.
Expected<std::vector<DataBreakpoint>> ResolveDataId(const std::string& id, const SymbolTable* symbols,
                                                    WatchMatch match = WatchMatch::AnyWrite, uint8_t value = 0) {
    DataTarget d;
    const size_t colon = id.find(':');
    if (colon == std::string::npos) return Expected<std::vector<DataBreakpoint>>::Failure("'" + id + "' names no data breakpoint");
    const std::string space = id.substr(0, colon);
    d.target = id.substr(colon + 1);
    if (space == "iram") d.space = WatchSpace::Iram;
    else if (space == "sfr") d.space = WatchSpace::Sfr;
    else if (space == "bit") d.space = WatchSpace::Bit;
    else if (space == "xram") d.space = WatchSpace::Xram;
    else if (space != "var")
        return Expected<std::vector<DataBreakpoint>>::Failure("unknown memory '" + space + "' (iram, sfr, bit, xram or var)");
    d.match = match;
    if (match == WatchMatch::Equals) d.value = Hex(value, 2);
    return ResolveDataTarget(d, symbols);
}

}  // namespace

DapServer::DapServer(std::function<bool(const std::string&)> write) : write_(std::move(write)) {}

void DapServer::RestartFromLaunch() {
    session_.ResetToLaunch();
    reader_ = DapFrameReader();
    frames_.clear();
    containers_.clear();
    events_.clear();
    seq_ = 1;
    nextBreakpointId_ = 1;
    codeIds_.clear();
    dataIds_.clear();
    finished_ = writeFailed_ = terminated_ = false;
    configured_ = session_.Launched();
}

uint64_t DapServer::SliceCycles() const {
    if (sliceCycles_) return sliceCycles_;
    // Paced runs sleep within a slice: keep one slice to a few milliseconds of controller time.
    if (Settings.RealTime) return std::max<uint64_t>(1, uint64_t(Settings.Frequency) / 12 / 250);
    return 50000;
}

const std::map<std::string, DapServer::Handler>& DapServer::Handlers() {
    static const std::map<std::string, Handler> table = {
        {"initialize", &DapServer::Initialize},
        {"launch", &DapServer::Launch},
        {"configurationDone", &DapServer::ConfigurationDone},
        {"threads", &DapServer::Threads},
        {"disconnect", &DapServer::Disconnect},
        {"terminate", &DapServer::Terminate},
        {"setBreakpoints", &DapServer::SetBreakpoints},
        {"setFunctionBreakpoints", &DapServer::SetFunctionBreakpoints},
        {"setInstructionBreakpoints", &DapServer::SetInstructionBreakpoints},
        {"setExceptionBreakpoints", &DapServer::SetExceptionBreakpoints},
        {"dataBreakpointInfo", &DapServer::DataBreakpointInfo},
        {"setDataBreakpoints", &DapServer::SetDataBreakpoints},
        {"continue", &DapServer::Continue},
        {"next", &DapServer::Next},
        {"stepIn", &DapServer::StepIn},
        {"stepOut", &DapServer::StepOut},
        {"stepBack", &DapServer::StepBack},
        {"reverseContinue", &DapServer::ReverseContinue},
        {"pause", &DapServer::Pause},
        {"stackTrace", &DapServer::StackTrace},
        {"scopes", &DapServer::Scopes},
        {"variables", &DapServer::Variables},
        {"setVariable", &DapServer::SetVariable},
        {"evaluate", &DapServer::Evaluate},
        {"readMemory", &DapServer::ReadMemory},
        {"writeMemory", &DapServer::WriteMemory},
        {"disassemble", &DapServer::Disassemble},
        {"gotoTargets", &DapServer::GotoTargets},
        {"goto", &DapServer::Goto},
    };
    return table;
}

// ---- Messages -----------------------------------------------------------------------------------

void DapServer::Send(json message) {
    if (writeFailed_) return;
    message["seq"] = seq_++;
    if (!write_(FrameMessage(message))) writeFailed_ = true;
}

void DapServer::Event(const std::string& name, json body) {
    events_.push_back(json{{"type", "event"}, {"event", name}, {"body", std::move(body)}});
}

void DapServer::Respond(const json& request, const Reply& reply) {
    json r{{"type", "response"},
           {"request_seq", request.contains("seq") && request["seq"].is_number_integer() ? request["seq"] : json(0)},
           {"command", request.contains("command") && request["command"].is_string() ? request["command"] : json("")},
           {"success", reply.error.empty()}};
    if (reply.error.empty()) {
        r["body"] = reply.body;
    } else {
        r["message"] = reply.error;
        r["body"] = json{{"error", {{"id", 1}, {"format", reply.error}, {"showUser", false}}}};
    }
    Send(std::move(r));
    for (json& e : events_) Send(std::move(e));
    events_.clear();
}

void DapServer::Feed(const char* data, size_t size) {
    reader_.Feed(data, size);
    for (;;) {
        DapFrameReader::Frame f = reader_.Next();
        if (f.status == DapFrameReader::Status::None) break;
        if (f.status == DapFrameReader::Status::Malformed) {
            // No request to answer by its number: the error goes back as a response to none.
            Respond(json::object(), Reply{json::object(), "malformed message: " + f.error});
            continue;
        }
        HandleMessage(f.message);
        if (Finished()) break;
    }
}

void DapServer::HandleMessage(const json& message) {
    const json& type = Field(message, "type");
    if (type == "response" || type == "event") return;  // we send no reverse requests
    Reply reply;
    const json& command = Field(message, "command");
    if (type != "request" || !command.is_string() || !Field(message, "seq").is_number_integer()) {
        reply.error = "malformed request: \"type\" must be \"request\", with \"seq\" and \"command\"";
    } else if (auto h = Handlers().find(command.get<std::string>()); h == Handlers().end()) {
        reply.error = "unknown request '" + command.get<std::string>() + "'";
    } else {
        try {
            const json& arguments = Field(message, "arguments");
            if (!arguments.is_null() && !arguments.is_object()) throw ArgumentError{"\"arguments\" must be an object"};
            reply = (this->*(h->second))(arguments.is_null() ? json::object() : arguments);
        } catch (const ArgumentError& e) {
            reply.error = e.message;
        } catch (const json::exception& e) {
            reply.error = std::string("bad arguments: ") + e.what();
        } catch (const std::exception& e) {
            reply.error = e.what();
        }
    }
    Respond(message, reply);
    FlushOutput();
}

void DapServer::FlushOutput() {
    const std::string out = session_.TakeOutput();
    if (!out.empty()) {
        Event("output", json{{"category", "stdout"}, {"output", Latin1ToUtf8(out)}});
    }
    for (json& e : events_) Send(std::move(e));
    events_.clear();
}

void DapServer::Stopped(const RunEnd& end) {
    containers_.clear();
    frames_.clear();
    if (end.kind == RunEnd::Exited) {
        FlushOutput();
        Event("exited", json{{"exitCode", 0}});
        Event("terminated");
        terminated_ = true;
        return;
    }
    static const char* const reasons[] = {"entry", "breakpoint", "step", "data breakpoint", "pause", "goto"};
    json body{{"reason", reasons[end.kind]}, {"threadId", kThreadId}, {"allThreadsStopped", true}};
    if (!end.text.empty()) body["text"] = end.text;
    if (!end.description.empty()) body["description"] = end.description;
    // The protocol's breakpoints behind the core's one that stopped the run.
    json ids = json::array();
    if (end.kind == RunEnd::Breakpoint) {
        if (const auto b = FindBreakpoint(end.breakpoint))
            for (const auto& [group, list] : codeIds_)
                for (const auto& [address, id] : list)
                    if (address == b->address) ids.push_back(id);
    } else if (end.kind == RunEnd::DataBreakpoint) {
        for (const auto& [core, id] : dataIds_)
            if (core == end.breakpoint) ids.push_back(id);
    }
    if (!ids.empty()) body["hitBreakpointIds"] = ids;
    Event("stopped", body);
}

void DapServer::RunSlice() {
    if (!session_.Running()) return;
    const std::optional<RunEnd> end = session_.RunSlice(SliceCycles());
    FlushOutput();
    if (end) {
        Stopped(*end);
        FlushOutput();
    }
}

std::string DapServer::NeedsStop() const {
    if (!session_.Launched()) return "no program is launched";
    if (session_.Ended()) return "the program has ended";
    if (session_.Running()) return "the program is running: pause it first";
    return "";
}

// ---- Session requests ---------------------------------------------------------------------------

DapServer::Reply DapServer::Initialize(const json&) {
    Reply r;
    r.body = json{{"supportsConfigurationDoneRequest", true},
                  {"supportsFunctionBreakpoints", true},
                  {"supportsInstructionBreakpoints", true},
                  {"supportsDataBreakpoints", true},
                  {"supportsSetVariable", true},
                  {"supportsReadMemoryRequest", true},
                  {"supportsWriteMemoryRequest", true},
                  {"supportsDisassembleRequest", true},
                  {"supportsSteppingGranularity", true},
                  {"supportsTerminateRequest", true},
                  {"supportsGotoTargetsRequest", true},
                  {"supportsEvaluateForHovers", true},
                  {"supportsConditionalBreakpoints", false},
                  {"supportsStepBack", true}};
    return r;
}

DapServer::Reply DapServer::Launch(const json& a) {
    LaunchOptions o;
    o.program = NeedString(a, "program");
    o.symbols = OptString(a, "symbols").value_or("");
    o.ini = OptString(a, "ini").value_or("");
    o.serialIn = OptString(a, "serialIn").value_or("");
    o.cwd = OptString(a, "cwd").value_or("");
    o.stopOnEntry = OptBool(a, "stopOnEntry");
    if (const json& cpu = Field(a, "cpu"); cpu.is_number_integer()) o.cpu = std::to_string(cpu.get<int64_t>());
    else o.cpu = OptString(a, "cpu").value_or("");
    o.frequency = OptNumber(a, "frequency");
    if (const json& b = Field(a, "binOffset"); b.is_string()) {
        // Written as the runner's --bin-offset: hexadecimal digits, or with 0x.
        std::string s = b.get<std::string>();
        if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = s.substr(2);
        char* end = nullptr;
        const long v = s.empty() || s.size() > 4 ? -1 : std::strtol(s.c_str(), &end, 16);
        if (v < 0 || (end && *end)) throw ArgumentError{"\"binOffset\" must be an address 0-FFFF"};
        o.binOffset = v;
    } else {
        o.binOffset = OptInt(a, "binOffset");
    }
    Reply r;
    r.error = session_.Launch(o);
    if (!r.error.empty()) return r;
    for (const std::string& note : session_.TakeNotes())
        Event("output", json{{"category", "console"}, {"output", "corvamat-run: " + note + "\n"}});
    Event("initialized");
    return r;
}

DapServer::Reply DapServer::ConfigurationDone(const json&) {
    Reply r;
    if (!session_.Launched()) {
        r.error = "no program is launched";
        return r;
    }
    if (configured_) return r;
    configured_ = true;
    if (session_.StopOnEntry()) {
        RunEnd entry;
        entry.kind = RunEnd::Entry;
        Stopped(entry);
    } else {
        session_.Start(DapSession::Resume::Continue);
    }
    return r;
}

DapServer::Reply DapServer::Threads(const json&) {
    Reply r;
    r.body = json{{"threads", json::array({json{{"id", kThreadId}, {"name", "8051"}}})}};
    return r;
}

DapServer::Reply DapServer::Disconnect(const json&) {
    finished_ = true;
    return Reply{};
}

DapServer::Reply DapServer::Terminate(const json&) {
    if (session_.Running()) session_.Pause();
    if (!terminated_) {
        Event("terminated");
        terminated_ = true;
    }
    return Reply{};
}

// ---- Breakpoints --------------------------------------------------------------------------------

DapServer::Reply DapServer::SetBreakpoints(const json& a) {
    const json& source = OptObject(a, "source");
    std::string path = OptString(source, "path").value_or("");
    if (path.empty()) path = OptString(source, "name").value_or("");
    if (path.empty()) throw ArgumentError{"\"source\" needs a \"path\""};
    std::vector<int64_t> lines;
    for (const json& b : OptArray(a, "breakpoints")) lines.push_back(NeedInt(b, "line"));
    if (Field(a, "breakpoints").is_null())
        for (const json& l : OptArray(a, "lines")) {
            if (!l.is_number_integer()) throw ArgumentError{"\"lines\" must hold line numbers"};
            lines.push_back(l.get<int64_t>());
        }
    Reply r;
    json list = json::array();
    std::vector<DapSession::CodeBreak> breaks;
    std::vector<std::pair<uint16_t, int>> ids;
    for (int64_t line : lines) {
        json b{{"id", nextBreakpointId_++}, {"source", SourceJson({path, 0})}};
        std::string error;
        // FILE:LINE as --break takes it: the line's first instruction, or the next line's with code.
        const std::string where = BaseName(path) + ":" + std::to_string(line);
        std::optional<CodeTarget> at;
        if (!session_.Launched()) error = "no program is launched";
        else if (line < 1) error = "line numbers start at 1";
        else if (auto t = ResolveCodeTarget(where, session_.Symbols())) at = *t;
        else error = t.error();
        if (at) {
            b["verified"] = true;
            b["line"] = at->line;
            b["instructionReference"] = Hex(at->address, 4);
            if (!at->note.empty()) b["message"] = at->note;
            breaks.push_back({at->address, BaseName(path) + ":" + std::to_string(at->line)});
            ids.emplace_back(at->address, b["id"].get<int>());
        } else {
            b["verified"] = false;
            b["line"] = line;
            b["message"] = error;
        }
        list.push_back(b);
    }
    const std::string group = "source:" + path;
    session_.SetCodeBreakpoints(group, breaks);
    codeIds_[group] = ids;
    r.body = json{{"breakpoints", list}};
    return r;
}

DapServer::Reply DapServer::SetFunctionBreakpoints(const json& a) {
    Reply r;
    json list = json::array();
    std::vector<DapSession::CodeBreak> breaks;
    std::vector<std::pair<uint16_t, int>> ids;
    for (const json& fb : OptArray(a, "breakpoints")) {
        const std::string name = NeedString(fb, "name");
        json b{{"id", nextBreakpointId_++}};
        std::string error = session_.Launched() ? "" : "no program is launched";
        // A function by its unique name, a label, an address, or FILE:LINE, as --break takes them.
        std::optional<uint16_t> at;
        if (error.empty()) {
            if (auto t = ResolveCodeTarget(name, session_.Symbols())) at = t->address;
            else error = t.error();
        }
        b["verified"] = at.has_value();
        if (at) {
            b["instructionReference"] = Hex(*at, 4);
            if (auto s = session_.SourceOf(*at)) {
                b["source"] = SourceJson(*s);
                b["line"] = s->line;
            }
            breaks.push_back({*at, name});
            ids.emplace_back(*at, b["id"].get<int>());
        } else {
            b["message"] = error;
        }
        list.push_back(b);
    }
    session_.SetCodeBreakpoints("functions", breaks);
    codeIds_["functions"] = ids;
    r.body = json{{"breakpoints", list}};
    return r;
}

DapServer::Reply DapServer::SetInstructionBreakpoints(const json& a) {
    Reply r;
    json list = json::array();
    std::vector<DapSession::CodeBreak> breaks;
    std::vector<std::pair<uint16_t, int>> ids;
    for (const json& ib : OptArray(a, "breakpoints")) {
        const std::string reference = NeedString(ib, "instructionReference");
        const int64_t offset = OptInt(ib, "offset").value_or(0);
        json b{{"id", nextBreakpointId_++}};
        std::string error;
        auto at = ParseMemoryReference(reference, offset, &error);
        if (at && at->space != MemorySpace::Code) {
            error = "an instruction breakpoint lies in code memory";
            at.reset();
        }
        b["verified"] = at.has_value();
        if (at) {
            b["instructionReference"] = Hex(at->address, 4);
            breaks.push_back({uint16_t(at->address), Hex(at->address, 4)});
            ids.emplace_back(uint16_t(at->address), b["id"].get<int>());
        } else {
            b["message"] = error;
        }
        list.push_back(b);
    }
    session_.SetCodeBreakpoints("instructions", breaks);
    codeIds_["instructions"] = ids;
    r.body = json{{"breakpoints", list}};
    return r;
}

DapServer::Reply DapServer::SetExceptionBreakpoints(const json&) {
    Reply r;
    r.body = json{{"breakpoints", json::array()}};
    return r;
}

DapServer::Reply DapServer::DataBreakpointInfo(const json& a) {
    const std::string name = NeedString(a, "name");
    const std::optional<int64_t> ref = OptInt(a, "variablesReference");
    Reply r;
    auto none = [&](const std::string& why) {
        r.body = json{{"dataId", nullptr}, {"description", why}};
        return r;
    };
    if (!session_.Launched()) return none("no program is launched");
    std::string dataId, description;
    if (ref && *ref > 0) {
        // A variable or register listed in a scope or structure.
        if (size_t(*ref) > containers_.size()) return none("the variables have changed since");
        const ShownValue* v = nullptr;
        for (const ShownValue& c : containers_[size_t(*ref) - 1])
            if (c.name == name) v = &c;
        if (!v) return none(name + " is not listed there");
        if (v->target == ShownValue::Target::Direct) {
            char id[24];
            std::snprintf(id, sizeof id, v->address >= 0x80 ? "sfr:0x%02X" : "iram:0x%02X", unsigned(v->address));
            dataId = id;
        } else if (v->target == ShownValue::Target::Bit) {
            char id[24];
            std::snprintf(id, sizeof id, "bit:0x%02X", unsigned(v->address));
            dataId = id;
        } else if (v->symbol) {
            dataId = "var:" + v->evaluateName;
        }
    } else if (const std::string space = name.substr(0, name.find(':'));
               space == "iram" || space == "sfr" || space == "bit" || space == "xram" || space == "var") {
        dataId = name;  // iram:0x30, sfr:0x90, bit:0x0B, xram:0x0100
    } else {
        // A variable, also by its unique name (module.c:function.name).
        dataId = "var:" + name;
    }
    if (dataId.empty()) return none(name + " cannot be watched");
    if (auto resolved = ResolveDataId(dataId, session_.Symbols()); !resolved) return none(resolved.error());
    r.body = json{{"dataId", dataId},
                  {"description", dataId.rfind("var:", 0) == 0 ? dataId.substr(4) : dataId},
                  {"accessTypes", json::array({"write"})},
                  {"canPersist", true}};
    return r;
}

DapServer::Reply DapServer::SetDataBreakpoints(const json& a) {
    Reply r;
    json list = json::array();
    std::vector<DataBreakpoint> armed;
    std::vector<std::string> labels;
    std::vector<int> ids;
    for (const json& db : OptArray(a, "breakpoints")) {
        const std::string dataId = NeedString(db, "dataId");
        const std::string condition = OptString(db, "condition").value_or("");
        json b{{"id", nextBreakpointId_++}};
        std::string error;
        // The condition: "== 42" (or "42", "0x2A") stops at a write of that value to the least
        // significant byte; "changed" at a write that changes it.
        WatchMatch match = WatchMatch::AnyWrite;
        uint8_t value = 0;
        std::string c = condition;
        c.erase(0, c.find_first_not_of(" \t"));
        if (c.rfind("==", 0) == 0) c = c.substr(2);
        c.erase(0, c.find_first_not_of(" \t"));
        c.erase(c.find_last_not_of(" \t") + 1);
        if (c == "changed" || c == "changes") {
            match = WatchMatch::Changes;
        } else if (!c.empty()) {
            char* end = nullptr;
            const bool hex = c.size() > 2 && c[0] == '0' && (c[1] == 'x' || c[1] == 'X');
            errno = 0;
            const long v = std::strtol(hex ? c.c_str() + 2 : c.c_str(), &end, hex ? 16 : 10);
            if (!end || *end || errno || v < -128 || v > 255)
                error = "the condition '" + condition + "' is no byte value (== 42, == 0x2A) or \"changed\"";
            match = WatchMatch::Equals;
            value = uint8_t(v);
        }
        std::optional<std::vector<DataBreakpoint>> resolved;
        if (error.empty() && !session_.Launched()) error = "no program is launched";
        if (error.empty()) {
            if (auto d = ResolveDataId(dataId, session_.Symbols(), match, value)) resolved = *d;
            else error = d.error();
        }
        b["verified"] = resolved.has_value();
        if (resolved) {
            const std::string label = dataId.rfind("var:", 0) == 0 ? dataId.substr(4) : dataId;
            for (const DataBreakpoint& d : *resolved) {
                armed.push_back(d);
                labels.push_back(label);
                ids.push_back(b["id"].get<int>());
            }
        } else {
            b["message"] = error;
        }
        list.push_back(b);
    }
    const std::vector<int> core = session_.SetDataBreakpoints(armed, labels);
    dataIds_.clear();
    for (size_t i = 0; i < core.size() && i < ids.size(); ++i) dataIds_.emplace_back(core[i], ids[i]);
    r.body = json{{"breakpoints", list}};
    return r;
}

// ---- Running ------------------------------------------------------------------------------------

DapServer::Reply DapServer::Resume(DapSession::Resume how) {
    Reply r;
    r.error = NeedsStop();
    if (!r.error.empty()) return r;
    containers_.clear();
    frames_.clear();
    session_.Start(how);
    return r;
}

DapServer::Reply DapServer::Continue(const json&) {
    Reply r = Resume(DapSession::Resume::Continue);
    if (r.error.empty()) r.body = json{{"allThreadsContinued", true}};
    return r;
}

DapServer::Reply DapServer::Next(const json& a) {
    const bool instruction = OptString(a, "granularity").value_or("") == "instruction";
    return Resume(instruction ? DapSession::Resume::InstructionOver : DapSession::Resume::LineOver);
}

DapServer::Reply DapServer::StepIn(const json& a) {
    const bool instruction = OptString(a, "granularity").value_or("") == "instruction";
    return Resume(instruction ? DapSession::Resume::Instruction : DapSession::Resume::LineIn);
}

DapServer::Reply DapServer::StepOut(const json&) { return Resume(DapSession::Resume::Out); }

DapServer::Reply DapServer::Pause(const json&) {
    Reply r;
    if (session_.Running()) Stopped(session_.Pause());
    return r;
}

// Moves back in history: answered at once, the stop reported after the response.
DapServer::Reply DapServer::StepBack(const json& a) {
    Reply r;
    r.error = NeedsStop();
    if (!r.error.empty()) return r;
    Stopped(session_.StepBack(OptString(a, "granularity").value_or("") == "instruction"));
    return r;
}

DapServer::Reply DapServer::ReverseContinue(const json&) {
    Reply r;
    r.error = NeedsStop();
    if (!r.error.empty()) return r;
    Stopped(session_.ReverseContinue());
    return r;
}

// ---- A stop's state -----------------------------------------------------------------------------

DapServer::Reply DapServer::StackTrace(const json& a) {
    Reply r;
    r.error = NeedsStop();
    if (!r.error.empty()) return r;
    frames_ = session_.StackFrames();
    const int64_t start = std::max<int64_t>(0, OptInt(a, "startFrame").value_or(0));
    int64_t levels = OptInt(a, "levels").value_or(0);
    if (levels <= 0) levels = int64_t(frames_.size());
    json list = json::array();
    for (int64_t i = start; i < int64_t(frames_.size()) && i < start + levels; ++i) {
        const StackFrameInfo& f = frames_[size_t(i)];
        json j{{"id", i + 1}, {"name", f.name}, {"line", 0}, {"column", 0},
               {"instructionPointerReference", Hex(f.pc, 4)}};
        if (f.source) {
            j["source"] = SourceJson(*f.source);
            j["line"] = f.source->line;
            j["column"] = 1;
        } else {
            j["presentationHint"] = "subtle";
        }
        list.push_back(j);
    }
    r.body = json{{"stackFrames", list}, {"totalFrames", frames_.size()}};
    return r;
}

int DapServer::AddContainer(std::vector<ShownValue> values) {
    containers_.push_back(std::move(values));
    return int(containers_.size());
}

json DapServer::VariableJson(const ShownValue& v) {
    json j{{"name", v.name}, {"value", v.value}, {"type", v.type}, {"variablesReference", 0}};
    if (!v.evaluateName.empty()) j["evaluateName"] = v.evaluateName;
    if (!v.memoryReference.empty()) j["memoryReference"] = v.memoryReference;
    if (!v.children.empty()) {
        j["variablesReference"] = AddContainer(v.children);
        j["indexedVariables"] = v.children.front().name.rfind('[', 0) == 0 ? v.children.size() : 0;
        if (j["indexedVariables"] == 0) j.erase("indexedVariables");
    }
    if (v.target == ShownValue::Target::None) j["presentationHint"] = json{{"attributes", json::array({"readOnly"})}};
    return j;
}

DapServer::Reply DapServer::Scopes(const json& a) {
    Reply r;
    r.error = NeedsStop();
    if (!r.error.empty()) return r;
    const int64_t id = NeedInt(a, "frameId");
    if (frames_.empty()) frames_ = session_.StackFrames();
    if (id < 1 || id > int64_t(frames_.size())) {
        r.error = "no frame " + std::to_string(id);
        return r;
    }
    const StackFrameInfo& f = frames_[size_t(id) - 1];
    json scopes = json::array();
    auto add = [&](const char* name, const char* hint, std::vector<ShownValue> values, bool expensive) {
        json s{{"name", name}, {"expensive", expensive}, {"namedVariables", values.size()}};
        if (*hint) s["presentationHint"] = hint;
        s["variablesReference"] = AddContainer(std::move(values));
        scopes.push_back(s);
    };
    if (f.function) add("Locals", "locals", session_.Locals(f), false);
    if (session_.Symbols()) add("Globals", "", session_.Globals(), false);
    add("Registers", "registers", session_.Registers(), false);
    add("SFRs", "", session_.SpecialFunctionRegisters(), true);
    r.body = json{{"scopes", scopes}};
    return r;
}

DapServer::Reply DapServer::Variables(const json& a) {
    Reply r;
    const int64_t ref = NeedInt(a, "variablesReference");
    if (ref < 1 || ref > int64_t(containers_.size())) {
        r.error = "no variables " + std::to_string(ref) + " (they are gone once the program runs)";
        return r;
    }
    const int64_t start = std::max<int64_t>(0, OptInt(a, "start").value_or(0));
    int64_t count = OptInt(a, "count").value_or(0);
    json list = json::array();
    // Copied: VariableJson adds containers, which may move the vector.
    const std::vector<ShownValue> values = containers_[size_t(ref) - 1];
    if (count <= 0) count = int64_t(values.size());
    for (int64_t i = start; i < int64_t(values.size()) && i < start + count; ++i)
        list.push_back(VariableJson(values[size_t(i)]));
    r.body = json{{"variables", list}};
    return r;
}

DapServer::Reply DapServer::SetVariable(const json& a) {
    Reply r;
    r.error = NeedsStop();
    if (!r.error.empty()) return r;
    const int64_t ref = NeedInt(a, "variablesReference");
    const std::string name = NeedString(a, "name"), value = NeedString(a, "value");
    if (ref < 1 || ref > int64_t(containers_.size())) {
        r.error = "no variables " + std::to_string(ref);
        return r;
    }
    ShownValue* target = nullptr;
    for (ShownValue& v : containers_[size_t(ref) - 1])
        if (v.name == name) target = &v;
    if (!target) {
        r.error = "no variable " + name + " there";
        return r;
    }
    auto shown = session_.SetValue(*target, value, &r.error);
    if (!shown) return r;
    *target = *shown;
    r.body = VariableJson(*shown);
    r.body.erase("name");
    r.body.erase("evaluateName");
    return r;
}

DapServer::Reply DapServer::Evaluate(const json& a) {
    Reply r;
    const std::string expression = NeedString(a, "expression");
    const size_t first = expression.find_first_not_of(" \t");
    if (first != std::string::npos && expression[first] == '>') {
        // Text for the program's serial receiver, ended by a newline as a terminal would send it.
        if (!session_.Launched() || session_.Ended()) {
            r.error = session_.Launched() ? "the program has ended" : "no program is launched";
            return r;
        }
        const std::string text = expression.substr(first + 1) + "\n";
        session_.QueueSerialInput(text);
        r.body = json{{"result", "sent " + std::to_string(text.size()) + " bytes to the serial receiver"},
                      {"variablesReference", 0}};
        return r;
    }
    r.error = NeedsStop();
    if (!r.error.empty()) return r;
    auto v = session_.Evaluate(expression, &r.error);
    if (!v) return r;
    json j = VariableJson(*v);
    r.body = json{{"result", j["value"]}, {"type", j["type"]}, {"variablesReference", j["variablesReference"]}};
    if (j.contains("memoryReference")) r.body["memoryReference"] = j["memoryReference"];
    return r;
}

// ---- Memory and code ----------------------------------------------------------------------------

DapServer::Reply DapServer::ReadMemory(const json& a) {
    Reply r;
    r.error = NeedsStop();
    if (!r.error.empty()) return r;
    const int64_t count = NeedInt(a, "count");
    if (count < 0) throw ArgumentError{"\"count\" must not be negative"};
    auto at = ParseMemoryReference(NeedString(a, "memoryReference"), OptInt(a, "offset").value_or(0), &r.error);
    if (!at) return r;
    const std::vector<uint8_t> bytes = session_.ReadMemory(*at, uint32_t(std::min<int64_t>(count, 0x10000)));
    r.body = json{{"address", Hex(at->address, at->space == MemorySpace::Iram || at->space == MemorySpace::Sfr ? 2 : 4)},
                  {"data", Base64(bytes)}};
    if (int64_t(bytes.size()) < count) r.body["unreadableBytes"] = count - int64_t(bytes.size());
    return r;
}

DapServer::Reply DapServer::WriteMemory(const json& a) {
    Reply r;
    r.error = NeedsStop();
    if (!r.error.empty()) return r;
    auto at = ParseMemoryReference(NeedString(a, "memoryReference"), OptInt(a, "offset").value_or(0), &r.error);
    if (!at) return r;
    auto bytes = FromBase64(NeedString(a, "data"));
    if (!bytes) {
        r.error = "\"data\" is not base64";
        return r;
    }
    if (!OptBool(a, "allowPartial") && at->address + bytes->size() > MemorySize(at->space)) {
        r.error = "the bytes run past the end of that memory";
        return r;
    }
    const uint32_t n = session_.WriteMemory(*at, *bytes);
    r.body = json{{"offset", 0}, {"bytesWritten", n}};
    Event("memory", json{{"memoryReference", MemoryReference(at->space, at->address)}, {"offset", 0}, {"count", n}});
    containers_.clear();
    return r;
}

DapServer::Reply DapServer::Disassemble(const json& a) {
    Reply r;
    r.error = NeedsStop();
    if (!r.error.empty()) return r;
    const int64_t count = NeedInt(a, "instructionCount");
    auto at = ParseMemoryReference(NeedString(a, "memoryReference"), OptInt(a, "offset").value_or(0), &r.error);
    if (!at) return r;
    if (at->space != MemorySpace::Code) {
        r.error = "instructions are in code memory";
        return r;
    }
    const bool symbols = Field(a, "resolveSymbols").is_null() || OptBool(a, "resolveSymbols");
    json list = json::array();
    std::string lastPath;
    for (const DisassembledInstruction& d :
         session_.Disassemble(at->address, OptInt(a, "instructionOffset").value_or(0), count)) {
        json j{{"address", Hex(d.address, 4)}, {"instruction", d.text}};
        if (!d.valid) {
            j["presentationHint"] = "invalid";
        } else {
            j["instructionBytes"] = d.bytes;
            if (symbols && !d.symbol.empty()) j["symbol"] = d.symbol;
            if (d.source) {
                // The location is given where it changes, as the protocol allows.
                if (d.source->path != lastPath) j["location"] = SourceJson(*d.source);
                lastPath = d.source->path;
                j["line"] = d.source->line;
            }
        }
        list.push_back(j);
    }
    r.body = json{{"instructions", list}};
    return r;
}

DapServer::Reply DapServer::GotoTargets(const json& a) {
    Reply r;
    r.error = NeedsStop();
    if (!r.error.empty()) return r;
    const json& source = OptObject(a, "source");
    const std::string path = OptString(source, "path").value_or(OptString(source, "name").value_or(""));
    const int64_t line = NeedInt(a, "line");
    if (line < 1) {
        r.error = "line numbers start at 1";
        return r;
    }
    const auto at = ResolveCodeTarget(BaseName(path) + ":" + std::to_string(line), session_.Symbols());
    if (!at) {
        r.error = at.error();
        return r;
    }
    r.body = json{{"targets", json::array({json{{"id", int(at->address) + 1},
                                                {"label", "line " + std::to_string(at->line)},
                                                {"line", at->line},
                                                {"instructionPointerReference", Hex(at->address, 4)}}})}};
    return r;
}

DapServer::Reply DapServer::Goto(const json& a) {
    Reply r;
    r.error = NeedsStop();
    if (!r.error.empty()) return r;
    const int64_t target = NeedInt(a, "targetId");
    if (target < 1 || target > 0x10000) {
        r.error = "no goto target " + std::to_string(target);
        return r;
    }
    if (!session_.SetProgramCounter(uint16_t(target - 1), &r.error)) return r;
    RunEnd end;
    end.kind = RunEnd::Goto;
    end.pc = uint16_t(target - 1);
    Stopped(end);
    return r;
}

// ---- The loop -----------------------------------------------------------------------------------

int DapServer::Serve(int in, int out) {
    // A client that has gone away makes writes fail (EPIPE), which ends the loop; no signal.
    std::signal(SIGPIPE, SIG_IGN);
    DapServer server([out](const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(out, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += size_t(n);
        }
        return true;
    });
    char buffer[65536];
    while (!server.Finished()) {
        pollfd p{in, POLLIN, 0};
        // While the program runs, look for requests between slices without waiting.
        const int ready = ::poll(&p, 1, server.Running() ? 0 : -1);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            const ssize_t n = ::read(in, buffer, sizeof buffer);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0) break;  // the client closed its end: nobody is left to debug for
            server.Feed(buffer, size_t(n));
        }
        if (server.Running() && !server.Finished()) server.RunSlice();
    }
    return 0;
}
