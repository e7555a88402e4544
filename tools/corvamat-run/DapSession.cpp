// The debugging session behind the Debug Adapter Protocol server: load, breakpoints, runs in
// slices, steps, and the values, memory and code a stop shows.
#include "DapSession.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "Code.h"
#include "Disassembler.h"
#include "HexText.h"
#include "History.h"
#include "Inputs.h"
#include "ProgramSymbols.h"
#include "RunThreads.h"
#include "Session.h"
#include "Settings.h"
#include "SourceSteps.h"
#include "Symbols.h"

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(" \t\r\n") + 1 - a);
}

// A number as a debugger user types it: decimal, "0x2A", "2Ah" or "$2A".
std::optional<int64_t> ParseNumber(const std::string& text) {
    std::string s = Trim(text);
    bool negative = false;
    if (!s.empty() && s[0] == '-') {
        negative = true;
        s = s.substr(1);
    }
    if (s.empty()) return std::nullopt;
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s = s.substr(2);
        base = 16;
    } else if (s.size() > 1 && s[0] == '$') {
        s = s.substr(1);
        base = 16;
    } else if (s.size() > 1 && (s.back() == 'h' || s.back() == 'H')) {
        s.pop_back();
        base = 16;
    }
    if (s.empty() || s.size() > 10) return std::nullopt;
    int64_t v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) d = std::tolower(c) - 'a' + 10;
        else return std::nullopt;
        v = v * base + d;
    }
    return negative ? -v : v;
}

const char* const kRegisterNames[] = {"R0", "R1", "R2", "R3", "R4", "R5", "R6", "R7"};

ShownValue DirectValue(const std::string& name, uint16_t address, const std::string& type) {
    ShownValue v;
    v.name = name;
    v.value = HexText(InternalRam[address], 2);
    v.type = type;
    v.evaluateName = name;
    v.target = ShownValue::Target::Direct;
    v.address = address;
    v.memoryReference = address >= 0x80 ? MemoryReference(MemorySpace::Sfr, address)
                                         : MemoryReference(MemorySpace::Iram, address);
    return v;
}

ShownValue BitValue(const std::string& name, uint8_t bit) {
    ShownValue v;
    v.name = name;
    v.value = std::to_string(ReadBit(bit));
    v.type = "bit";
    v.evaluateName = name;
    v.target = ShownValue::Target::Bit;
    v.address = bit;
    return v;
}

// A decoded value with its members and elements (a large array lists its first 1024).
ShownValue FromDecoded(const DecodedValue& d, const std::string& evaluateName) {
    ShownValue v;
    v.name = d.name;
    v.value = d.text;
    v.type = d.type;
    v.evaluateName = evaluateName;
    int n = 0;
    for (const DecodedValue& c : d.children) {
        if (++n > 1024) break;
        const bool element = !c.name.empty() && c.name[0] == '[';
        v.children.push_back(FromDecoded(c, evaluateName + (element ? "" : ".") + c.name));
    }
    return v;
}

std::string MemoryReferenceOf(const ValueLocation& l) {
    switch (l.kind) {
        case ValueLocation::Data:
        case ValueLocation::Idata: return MemoryReference(MemorySpace::Iram, l.address & 0xFF);
        case ValueLocation::Xdata: return MemoryReference(MemorySpace::Xram, l.address & 0xFFFF);
        case ValueLocation::Code: return MemoryReference(MemorySpace::Code, l.address & 0xFFFF);
        default: return "";
    }
}

// A change from outside the program, as a user's edit: through the input queue, so that it takes
// effect between two instructions and history records it.
void Submit(InputKind kind, uint32_t address, uint8_t value = 0) { SubmitInput(MakeInput(kind, uint16_t(address), value)); }

}  // namespace

// ---- Memory references --------------------------------------------------------------------------

std::string MemoryReference(MemorySpace space, uint32_t address) {
    const char* name = space == MemorySpace::Code ? "code" : space == MemorySpace::Iram ? "iram"
                       : space == MemorySpace::Sfr ? "sfr" : "xram";
    char b[24];
    std::snprintf(b, sizeof b, space == MemorySpace::Iram || space == MemorySpace::Sfr ? "%s:0x%02X" : "%s:0x%04X",
                  name, address);
    return b;
}

uint32_t MemorySize(MemorySpace space) {
    return space == MemorySpace::Iram || space == MemorySpace::Sfr ? 0x100 : 0x10000;
}

std::optional<MemoryAddress> ParseMemoryReference(const std::string& text, int64_t offset, std::string* error) {
    MemoryAddress m;
    std::string s = Trim(text), number = s;
    if (const size_t colon = s.find(':'); colon != std::string::npos) {
        const std::string space = Lower(s.substr(0, colon));
        number = s.substr(colon + 1);
        if (space == "code") m.space = MemorySpace::Code;
        else if (space == "iram") m.space = MemorySpace::Iram;
        else if (space == "sfr") m.space = MemorySpace::Sfr;
        else if (space == "xram") m.space = MemorySpace::Xram;
        else {
            *error = "unknown memory '" + space + "' (code, iram, sfr or xram)";
            return std::nullopt;
        }
    }
    const auto v = ParseNumber(number);
    if (!v || *v < 0) {
        *error = "'" + text + "' is not a memory reference (e.g. code:0x0040, iram:0x30, xram:0x0100)";
        return std::nullopt;
    }
    const int64_t a = *v + offset;
    const int64_t low = m.space == MemorySpace::Sfr ? 0x80 : 0;
    if (a < low || a >= int64_t(MemorySize(m.space))) {
        *error = "address " + std::to_string(a) + " lies outside that memory";
        return std::nullopt;
    }
    m.address = uint32_t(a);
    return m;
}

// ---- Session ------------------------------------------------------------------------------------

class DapSession::Sink : public SerialOutputHook {
public:
    explicit Sink(std::string* out) : out_(out) {}
    void ByteSent(uint8_t v) override { out_->push_back(char(v)); }

private:
    std::string* out_;
};

DapSession::DapSession() : sink_(new Sink(&output_)) {}

DapSession::~DapSession() {
    if (InstalledSerialOutputHook() == sink_) InstallSerialOutputHook(nullptr);
    delete sink_;
}

const SymbolTable* DapSession::Symbols() const { return ActiveProgramSymbols(); }

std::vector<std::string> DapSession::TakeNotes() {
    std::vector<std::string> n;
    n.swap(notes_);
    return n;
}

std::string DapSession::Launch(const LaunchOptions& o) {
    if (launched_) return "the program is already launched";
    std::error_code ec;
    if (!o.cwd.empty()) {
        fs::current_path(o.cwd, ec);
        if (ec) return "cannot change to the folder " + o.cwd + ": " + ec.message();
    }
    if (o.program.empty()) return "no program given: set \"program\" to a .hex, .ihx or .bin file";
    // The same settings, load and input as corvamat-run's options give.
    SettingsChoice choice;
    choice.iniFile = o.ini;
    if (!o.cpu.empty()) {
        if (o.cpu != "8051" && o.cpu != "8052") return "\"cpu\" takes 8051 or 8052";
        choice.processor = o.cpu == "8052" ? 1 : 0;
    }
    if (o.frequency) {
        if (*o.frequency < 1000000 || *o.frequency > 80000000) return "\"frequency\" takes 1000000 to 80000000 Hz";
        choice.frequency = int32_t(*o.frequency);
    }
    if (o.binOffset) {
        if (*o.binOffset < 0 || *o.binOffset > 0xFFFF) return "\"binOffset\" takes an address 0-FFFF (0-65535)";
        choice.binOffset = uint16_t(*o.binOffset);
    }
    std::vector<uint8_t> input;
    if (!o.serialIn.empty()) {
        auto read = ReadSerialInput(o.serialIn);
        if (!read) return read.failure().message;
        input = std::move(*read);
    }
    if (Status s = ApplySettings(choice)) return s->message;
    // History from the load on (LoadProgram starts it again), for stepBack and reverseContinue.
    if (HistoryBudget() != run_.historyMB << 20) SetHistoryBudget(run_.historyMB << 20);
    Messages messages;
    Status loaded = LoadProgram(o.program, o.symbols, &messages);
    if (loaded) return loaded->message;
    notes_ = messages.notes;
    notes_.insert(notes_.end(), messages.warnings.begin(), messages.warnings.end());
    // The load cleared the breakpoints and the serial line; the input waits on the line.
    serialIn_ = std::move(input);
    SerialLineSend(serialIn_.data(), serialIn_.size());
    launchState_ = std::make_unique<MachineState>(SaveMachine());
    launchInstructions_ = Machine.instructions;
    stopOnEntry_ = o.stopOnEntry;
    sourceDirs_.clear();
    if (const SymbolTable* t = ActiveProgramSymbols())
        sourceDirs_.push_back(fs::absolute(fs::path(t->source).parent_path(), ec).string());
    sourceDirs_.push_back(fs::absolute(fs::path(o.program).parent_path(), ec).string());
    sourceDirs_.push_back(fs::current_path(ec).string());
    launched_ = true;
    return "";
}

std::string DapSession::FindSourceFile(const std::string& name) const {
    std::error_code ec;
    if (fs::path(name).is_absolute()) return name;
    for (const std::string& d : sourceDirs_) {
        const fs::path p = fs::path(d) / name;
        if (fs::is_regular_file(p, ec)) return p.lexically_normal().string();
    }
    return name;
}

std::optional<SourceLocation> DapSession::SourceOf(uint16_t address) const {
    const SymbolTable* t = Symbols();
    if (!t) return std::nullopt;
    const LineRecord* r = t->LineAt(address);
    if (!r) return std::nullopt;
    return SourceLocation{FindSourceFile(r->file), r->line};
}

// ---- Breakpoints --------------------------------------------------------------------------------

void DapSession::SetCodeBreakpoints(const std::string& group, const std::vector<CodeBreak>& list) {
    codeBreakpoints_[group] = list;
    // The addresses some group names, each with the label it was first set by.
    std::map<uint16_t, std::string> wanted;
    for (const auto& [g, breaks] : codeBreakpoints_)
        for (const CodeBreak& b : breaks) wanted.emplace(b.address, b.label);
    for (const Breakpoint& b : ListBreakpoints(Breakpoint::Kind::Code))
        if (!wanted.count(b.address)) RemoveBreakpoint(b.id);
    for (const auto& [address, label] : wanted)
        if (!CodeBreakpointAt(address)) AddCodeBreakpoint(address, label);
}

std::vector<int> DapSession::SetDataBreakpoints(const std::vector<DataBreakpoint>& list,
                                                const std::vector<std::string>& labels) {
    for (int id : dataIds_) RemoveBreakpoint(id);
    dataIds_.clear();
    for (size_t i = 0; i < list.size(); ++i)
        dataIds_.push_back(AddDataBreakpoint(list[i], i < labels.size() ? labels[i] : std::string()));
    ForgetWatchHit();
    // Set during a run: the next slice watches them, with the run's own stop kept.
    if (running_) ArmDebugStops(oneShot_.get());
    return dataIds_;
}

// ---- Running ------------------------------------------------------------------------------------

void DapSession::Arm(const OneShotStop* stop) {
    if (stop) oneShot_ = std::make_unique<OneShotStop>(*stop);
    else oneShot_.reset();
    ArmDebugStops(oneShot_.get());
}

void DapSession::Start(Resume how) {
    if (ended_) return;
    finishLineAfterReturn_ = false;
    // Without symbols, or where no C line covers the program counter's function, steps go by
    // instruction.
    const bool lines = Symbols() && !Symbols()->lines.empty();
    if (!lines && how == Resume::LineOver) how = Resume::InstructionOver;
    if (!lines && how == Resume::LineIn) how = Resume::Instruction;
    switch (how) {
        case Resume::Continue: Arm(nullptr); break;
        case Resume::LineOver: {
            const OneShotStop stop = SourceLineStop(*Symbols(), true);
            Arm(&stop);
            break;
        }
        case Resume::LineIn: {
            const OneShotStop stop = SourceLineStop(*Symbols(), false);
            Arm(&stop);
            break;
        }
        case Resume::Out: {
            finishLineAfterReturn_ = lines;
            const OneShotStop stop = StepOutStop();
            Arm(&stop);
            break;
        }
        case Resume::Instruction: {
            OneShotStop stop;
            stop.anyAddress = true;
            Arm(&stop);
            break;
        }
        case Resume::InstructionOver: {
            const OneShotStop stop = StepOverStop();
            Arm(&stop);
            break;
        }
    }
    running_ = true;
}

std::optional<RunEnd> DapSession::RunSlice(uint64_t cycles) {
    if (!running_) return std::nullopt;
    run_.maxCycles = cycles;
    run_.serialOutput = sink_;
    const RunOutcome outcome = RunProgram(run_);
    RunEnd end;
    switch (outcome.reason) {
        case StopReason::MaxCycles:
        case StopReason::MaxInstructions:  // no instruction limit is set here
            return std::nullopt;
        case StopReason::End:
        case StopReason::Idle:
            end.kind = RunEnd::Exited;
            end.text = outcome.reason == StopReason::Idle ? "the program waits in a jump to itself"
                                                      : "the program ran past its last address";
            ended_ = true;
            break;
        case StopReason::Breakpoint:
            end.kind = RunEnd::Breakpoint;
            end.breakpoint = StoppingBreakpoint();
            break;
        case StopReason::Watch: {
            const WatchHitInfo hit = LastWatchHit();
            end.kind = RunEnd::DataBreakpoint;
            end.breakpoint = hit.id;
            if (const auto b = FindBreakpoint(hit.id))
                end.text = WatchPlaceText(b->data) + " written as " + HexText(hit.value, 2) +
                           " by the instruction at " + HexText(hit.writer, 4);
            break;
        }
        case StopReason::Stopped:
            // SIGINT or SIGTERM: the run stops as a pause would.
            end.kind = RunEnd::Pause;
            break;
        case StopReason::Reached:
            if (finishLineAfterReturn_) {
                // A Step Out by line finishes the caller's line it returned into.
                finishLineAfterReturn_ = false;
                if (const auto stop = Symbols() ? FinishLineStop(*Symbols()) : std::nullopt) {
                    Arm(&*stop);
                    return std::nullopt;
                }
            }
            end.kind = RunEnd::Step;
            break;
    }
    running_ = false;
    end.pc = ProgramCounter;
    return end;
}

RunEnd DapSession::Pause() {
    running_ = false;
    finishLineAfterReturn_ = false;
    RunEnd end;
    end.kind = RunEnd::Pause;
    end.pc = ProgramCounter;
    return end;
}

RunEnd DapSession::StepBack(bool instruction) {
    const SymbolTable* t = Symbols();
    RunEnd end;
    end.kind = RunEnd::Step;
    if (instruction || !t || t->lines.empty()) {
        if (HistoryStepBack(1) == 0) end.description = "the oldest instant history keeps";
    } else {
        const OneShotStop stop = PreviousLineStop(*t);
        HistoryStops stops;
        stops.oneShot = &stop;
        if (HistoryReverseContinue(stops).kind != HistoryHit::Kind::Reached)
            end.description = "the oldest instant history keeps";
    }
    HistoryNoteStop();
    end.pc = ProgramCounter;
    return end;
}

RunEnd DapSession::ReverseContinue() {
    const HistoryHit hit = HistoryReverseContinue(BreakpointHistoryStops());
    HistoryNoteStop();
    RunEnd end;
    end.pc = ProgramCounter;
    end.breakpoint = hit.breakpointId;
    switch (hit.kind) {
        case HistoryHit::Kind::Breakpoint: end.kind = RunEnd::Breakpoint; break;
        case HistoryHit::Kind::Watch:
            end.kind = RunEnd::DataBreakpoint;
            if (const auto b = FindBreakpoint(hit.breakpointId))
                end.text = WatchPlaceText(b->data) + " written as " + HexText(hit.value, 2) +
                           " by the instruction at " + HexText(hit.pc, 4);
            break;
        default:
            // No breakpoint before: the oldest instant history keeps, the program's entry unless
            // the budget let the start go.
            if (Machine.instructions == launchInstructions_) {
                end.kind = RunEnd::Entry;
                end.description = "back at the program's entry";
            } else {
                end.kind = RunEnd::Step;
                end.description = "the oldest instant history keeps";
            }
            break;
    }
    return end;
}

void DapSession::QueueSerialInput(const std::string& bytes) {
    SerialLineSend(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string DapSession::TakeOutput() {
    std::string out;
    out.swap(output_);
    return out;
}

bool DapSession::SetProgramCounter(uint16_t address, std::string* error) {
    if (running_) {
        *error = "the program is running";
        return false;
    }
    Submit(InputKind::SetPc, address);
    return true;
}

void DapSession::ResetToLaunch() {
    if (!launched_) return;
    if (!ListBreakpoints().empty()) RemoveAllBreakpoints();  // which clears all 64K table entries
    codeBreakpoints_.clear();
    dataIds_.clear();
    oneShot_.reset();
    ArmDebugStops(nullptr);
    RestoreMachine(*launchState_);
    HistoryRestart();
    SerialLineClear();
    SerialLineSend(serialIn_.data(), serialIn_.size());
    running_ = ended_ = finishLineAfterReturn_ = false;
    output_.clear();
}

// ---- Stack and values ---------------------------------------------------------------------------

std::vector<StackFrameInfo> DapSession::StackFrames() const {
    const SymbolTable* t = Symbols();
    const std::vector<CallFrame> calls = CallStackSnapshot();
    auto frame = [&](uint16_t pc, std::optional<uint16_t> routine) {
        StackFrameInfo f;
        f.pc = pc;
        f.function = t ? t->FunctionAt(pc) : nullptr;
        f.source = SourceOf(pc);
        if (f.function) f.name = f.function->name;
        else if (t && routine && !t->CodeLabelAt(*routine).empty()) f.name = t->CodeLabelAt(*routine);
        else f.name = HexText(pc, 4);
        return f;
    };
    std::vector<StackFrameInfo> out;
    out.push_back(frame(ProgramCounter, calls.empty() ? std::nullopt : std::optional<uint16_t>(calls.back().target)));
    out.back().top = true;
    // Each call's frame shows the call instruction (or the interrupted one) in its caller.
    for (size_t i = calls.size(); i-- > 0;)
        out.push_back(frame(calls[i].site, i > 0 ? std::optional<uint16_t>(calls[i - 1].target) : std::nullopt));
    return out;
}

ShownValue DapSession::ShowSymbol(const std::string& name, const Symbol& s) const {
    MachineMemory memory;
    const DecodedValue d = DecodeSymbol(s, *Symbols(), memory);
    ShownValue v = FromDecoded(d, name);
    v.name = name;
    if (v.type.empty()) v.type = s.type.Text();
    v.symbol = &s;
    if (d.available) {
        v.memoryReference = MemoryReferenceOf(LocateSymbol(s, *Symbols(), memory));
        // A value without members or elements: its encoder takes a number or says why not.
        if (v.children.empty() && s.space != Space::Code && s.space != Space::CodeStatic)
            v.target = ShownValue::Target::Symbol;
    }
    return v;
}

std::vector<ShownValue> DapSession::Locals(const StackFrameInfo& frame) const {
    std::vector<ShownValue> out;
    const SymbolTable* t = Symbols();
    if (!t || !frame.function) return out;
    for (const Symbol* s : t->LocalsOf(*frame.function)) {
        // Registers and the stack frame hold an outer frame's values no more.
        if (!frame.top && (s->space == Space::Register || s->onStack)) continue;
        // Evaluated and watched by its unique name ("tick.n", "a.c:tick.n"), shown by its own.
        ShownValue v = ShowSymbol(t->UniqueName(*frame.function) + "." + s->name, *s);
        v.name = s->name;
        out.push_back(std::move(v));
    }
    return out;
}

std::vector<ShownValue> DapSession::Globals() const {
    std::vector<ShownValue> out;
    if (const SymbolTable* t = Symbols())
        for (const auto& [name, s] : t->StaticVariables()) out.push_back(ShowSymbol(name, *s));
    return out;
}

std::vector<ShownValue> DapSession::Registers() const {
    std::vector<ShownValue> out;
    out.push_back(DirectValue("A", Sfr::ACC, "register"));
    out.push_back(DirectValue("B", Sfr::B, "register"));
    ShownValue psw = DirectValue("PSW", Sfr::PSW, "register");
    static const char* const flags[] = {"CY", "AC", "F0", "RS1", "RS0", "OV", "", "P"};
    for (int i = 0; i < 8; ++i)
        if (*flags[i]) psw.children.push_back(BitValue(flags[i], uint8_t(0xD7 - i)));
    out.push_back(psw);
    out.push_back(DirectValue("SP", Sfr::SP, "register"));
    ShownValue dptr;
    dptr.name = dptr.evaluateName = "DPTR";
    dptr.value = HexText(unsigned(InternalRam[Sfr::DPH]) << 8 | InternalRam[Sfr::DPL], 4);
    dptr.type = "register";
    dptr.target = ShownValue::Target::Dptr;
    out.push_back(dptr);
    const uint8_t bank = InternalRam[Sfr::PSW] & 0x18;
    for (int r = 0; r < 8; ++r) out.push_back(DirectValue(kRegisterNames[r], uint16_t(bank + r), "register"));
    ShownValue pc;
    pc.name = pc.evaluateName = "PC";
    pc.value = HexText(ProgramCounter, 4);
    pc.type = "register";
    pc.target = ShownValue::Target::Pc;
    pc.memoryReference = MemoryReference(MemorySpace::Code, ProgramCounter);
    out.push_back(pc);
    return out;
}

std::vector<ShownValue> DapSession::SpecialFunctionRegisters() const {
    std::vector<ShownValue> out;
    for (unsigned a = 0x80; a < 0x100; ++a)
        if (!SfrNames[a].empty()) out.push_back(DirectValue(std::string(SfrNames[a]), uint16_t(a), "sfr"));
    return out;
}

std::optional<ShownValue> DapSession::Evaluate(const std::string& expression, std::string* error) const {
    const std::string e = Trim(expression);
    if (e.empty()) {
        *error = "nothing to evaluate";
        return std::nullopt;
    }
    // A memory cell: iram[0x30], xram[0x100], code[0x40], sfr[0x90].
    if (const size_t open = e.find('['); open != std::string::npos && e.back() == ']') {
        const std::string space = Lower(Trim(e.substr(0, open)));
        if (space == "iram" || space == "xram" || space == "code" || space == "sfr") {
            auto at = ParseMemoryReference(space + ":" + e.substr(open + 1, e.size() - open - 2), 0, error);
            if (!at) return std::nullopt;
            const std::vector<uint8_t> b = ReadMemory(*at, 1);
            ShownValue v;
            v.name = v.evaluateName = e;
            v.value = b.empty() ? "?" : HexText(b[0], 2);
            v.type = "byte";
            v.memoryReference = MemoryReference(at->space, at->address);
            static const ShownValue::Target targets[] = {ShownValue::Target::Code, ShownValue::Target::Indirect,
                                                          ShownValue::Target::Direct, ShownValue::Target::External};
            v.target = targets[int(at->space)];
            v.address = uint16_t(at->address);
            return v;
        }
    }
    // A variable, or a member or element of one: the longest leading name the symbols know, by
    // its unique name ("total", "a.c:tick.n") or as C sees it from the program counter (a local).
    std::string ambiguous;
    if (const SymbolTable* t = Symbols()) {
        for (size_t end = e.size(); end > 0; --end) {
            if (end < e.size() && e[end] != '.' && e[end] != '[') continue;
            const std::string name = e.substr(0, end);
            std::string why;
            const bool qualified = name.find_first_of(".:") != std::string::npos;
            const Symbol* s = qualified ? t->FindVariable(name, &why) : t->FindSymbol(name, uint16_t(ProgramCounter));
            if (!s) s = qualified ? t->FindSymbol(name, uint16_t(ProgramCounter)) : t->FindVariable(name, &why);
            if (!s && ambiguous.empty() && why.find("ambiguous") != std::string::npos) ambiguous = why;
            // SFRs and their bits declared in a header show as the registers they are.
            if (!s || s->IsFunction() || s->space == Space::Sfr || s->space == Space::Sbit) continue;
            ShownValue v = ShowSymbol(name, *s);
            std::string rest = e.substr(end);
            while (!rest.empty()) {
                std::string part;
                if (rest[0] == '.') {
                    const size_t next = rest.find_first_of(".[", 1);
                    part = rest.substr(1, next == std::string::npos ? std::string::npos : next - 1);
                    rest = next == std::string::npos ? "" : rest.substr(next);
                } else {
                    const size_t close = rest.find(']');
                    if (close == std::string::npos) break;
                    const auto index = ParseNumber(rest.substr(1, close - 1));
                    part = index ? "[" + std::to_string(*index) + "]" : rest.substr(0, close + 1);
                    rest = rest.substr(close + 1);
                }
                const ShownValue* child = nullptr;
                for (const ShownValue& c : v.children)
                    if (c.name == part) child = &c;
                if (!child) {
                    *error = name + " has no member or element " + part;
                    return std::nullopt;
                }
                ShownValue c = *child;
                v = c;
            }
            v.name = e;
            return v;
        }
    }
    // Registers, SFRs and named bits.
    const std::string upper = [&] {
        std::string u = e;
        for (char& c : u) c = char(std::toupper(static_cast<unsigned char>(c)));
        return u;
    }();
    for (ShownValue& r : Registers())
        if (r.name == upper || (upper == "ACC" && r.name == "A")) return r;
    for (unsigned a = 0x80; a < 0x100; ++a)
        if (SfrNames[a] == upper) return DirectValue(upper, uint16_t(a), "sfr");
    for (unsigned b = 0x80; b < 0x100; ++b)
        if (BitNames[b] == upper) return BitValue(upper, uint8_t(b));
    *error = !ambiguous.empty() ? ambiguous
                                : "'" + e + "' is no variable, register, SFR or memory cell (iram[0x30], xram[0x100], code[0x40])";
    return std::nullopt;
}

std::optional<ShownValue> DapSession::SetValue(const ShownValue& target, const std::string& text, std::string* error) {
    const auto number = ParseNumber(text);
    auto byte = [&](int64_t limit) -> std::optional<int64_t> {
        if (!number || *number < 0 || *number > limit) {
            *error = "'" + Trim(text) + "' is not a number 0-" + std::to_string(limit) + " (decimal, 0x2A or 2Ah)";
            return std::nullopt;
        }
        return number;
    };
    switch (target.target) {
        case ShownValue::Target::None:
            *error = target.name + " cannot be changed here";
            return std::nullopt;
        case ShownValue::Target::Direct:
        case ShownValue::Target::Indirect:
        case ShownValue::Target::External:
        case ShownValue::Target::Code: {
            auto v = byte(255);
            if (!v) return std::nullopt;
            static const InputKind kinds[] = {InputKind::DirectByte, InputKind::IndirectByte, InputKind::ExternalByte,
                                              InputKind::CodeByte};
            const int k = target.target == ShownValue::Target::Direct     ? 0
                          : target.target == ShownValue::Target::Indirect ? 1
                          : target.target == ShownValue::Target::External ? 2
                                                                          : 3;
            Submit(kinds[k], target.address, uint8_t(*v));
            break;
        }
        case ShownValue::Target::Bit: {
            auto v = byte(1);
            if (!v) return std::nullopt;
            Submit(InputKind::DirectBit, target.address, uint8_t(*v));
            break;
        }
        case ShownValue::Target::Dptr: {
            auto v = byte(0xFFFF);
            if (!v) return std::nullopt;
            Submit(InputKind::DirectByte, Sfr::DPH, uint8_t(*v >> 8));
            Submit(InputKind::DirectByte, Sfr::DPL, uint8_t(*v));
            break;
        }
        case ShownValue::Target::Pc: {
            auto v = byte(0xFFFF);
            if (!v) return std::nullopt;
            Submit(InputKind::SetPc, uint16_t(*v));
            break;
        }
        case ShownValue::Target::Symbol: {
            const Symbol& s = *target.symbol;
            MachineMemory memory;
            auto stores = EncodeVariableValue(s, *Symbols(), memory, Trim(text));
            if (!stores) {
                *error = stores.error();
                return std::nullopt;
            }
            SubmitVariableStores(*stores);
            ShownValue shown = ShowSymbol(target.evaluateName, s);
            shown.name = target.name;
            return shown;
        }
    }
    std::string ignored;
    auto shown = Evaluate(target.evaluateName, &ignored);
    if (shown) shown->name = target.name;
    return shown;
}

// ---- Memory and code ----------------------------------------------------------------------------

std::vector<uint8_t> DapSession::ReadMemory(const MemoryAddress& at, uint32_t count) const {
    std::vector<uint8_t> out;
    const uint32_t end = std::min<uint64_t>(uint64_t(at.address) + count, MemorySize(at.space));
    for (uint32_t a = at.address; a < end; ++a) {
        switch (at.space) {
            case MemorySpace::Code: out.push_back(CodeMemory[a]); break;
            case MemorySpace::Iram: out.push_back(InternalRam[IndirectIndex(uint8_t(a))]); break;
            case MemorySpace::Sfr: out.push_back(InternalRam[a]); break;
            case MemorySpace::Xram: out.push_back(ExternalRam[a]); break;
        }
    }
    return out;
}

uint32_t DapSession::WriteMemory(const MemoryAddress& at, const std::vector<uint8_t>& bytes) {
    uint32_t n = 0;
    for (uint32_t a = at.address; n < bytes.size() && a < MemorySize(at.space); ++a, ++n) {
        const uint8_t v = bytes[n];
        switch (at.space) {
            case MemorySpace::Code: Submit(InputKind::CodeByte, a, v); break;
            case MemorySpace::Iram: Submit(InputKind::IndirectByte, a, v); break;
            case MemorySpace::Sfr: Submit(InputKind::DirectByte, a, v); break;
            case MemorySpace::Xram: Submit(InputKind::ExternalByte, a, v); break;
        }
    }
    return n;
}

std::vector<DisassembledInstruction> DapSession::Disassemble(uint32_t address, int64_t offset, int64_t count) const {
    // The instructions as the listing aligns them from 0000h, on through the end of code memory.
    std::vector<uint32_t> starts;
    for (uint32_t a = 0; a < 0x10000; a += InstructionLength[CodeMemory[a]]) starts.push_back(a);
    const auto it = std::upper_bound(starts.begin(), starts.end(), address);
    const int64_t base = int64_t(it - starts.begin()) - 1;
    const ListingFormat format = CurrentListingFormat();
    const SymbolTable* t = Symbols();
    std::vector<DisassembledInstruction> out;
    count = std::clamp<int64_t>(count, 0, 0x10000);
    for (int64_t i = 0; i < count; ++i) {
        const int64_t index = base + offset + i;
        DisassembledInstruction d;
        if (index < 0 || index >= int64_t(starts.size())) {
            d.valid = false;
            d.address = index < 0 ? 0 : 0xFFFF;
            d.text = "??";
            out.push_back(d);
            continue;
        }
        const uint32_t a = starts[size_t(index)];
        const ListingRow row = DisassembleAt(a, format);
        d.address = a;
        d.text = row.Text;
        d.bytes = row.Bytes;
        if (t) {
            d.symbol = t->CodeLabelAt(uint16_t(a));
            if (const LineRecord* r = t->LineAt(uint16_t(a)))
                d.source = SourceLocation{FindSourceFile(r->file), r->line};
        }
        out.push_back(d);
    }
    return out;
}
