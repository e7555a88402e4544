// The symbol table of an SDCC program: modules, functions, variables, structures and line records,
// read from the .cdb debug file (or the global labels of a .map/.noi), with the lookups a debugger
// needs (address -> function, line -> address, name -> variable).
//
// SDCC's names follow its own scheme: a global is "G$name$level_sub$block", a file-static
// "F<module>$name$...", a local "L<module>.<function>$name$...". The linker records ("L:") give
// each of those keys an address; the line records "C$file$line$..." and "A$module$line" map C
// and assembler lines to code addresses, and "G$f$0$0"/"XG$f$0$0" mark a function's first and
// last C-level addresses.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One link of a type chain, outermost first: "DA4d,SI:S" is an array of 4 of int.
struct TypeLink {
    enum Kind : uint8_t {
        Array, Function,
        GenericPointer, CodePointer, ExternalPointer, DataPointer, IdataPointer, PagedPointer,
        Char, Short, Int, Long, Float, Void, Struct, Sbit, BitField,
        Bool  // _Bool: one byte, 0 or 1
    };
    Kind kind = Void;
    uint32_t count = 0;     // array elements
    std::string name;       // structure name
    uint8_t bitOffset = 0;  // bit fields and bit variables
    uint8_t bitWidth = 0;
};

struct CType {
    uint32_t size = 0;  // bytes of the whole object
    std::vector<TypeLink> links;
    bool isSigned = false;

    bool IsFunction() const { return !links.empty() && links[0].kind == TypeLink::Function; }
    // C-like spelling: "int", "unsigned char[4]", "struct point", "char __xdata *", "bool";
    // a structure without a tag is "struct {…}".
    std::string Text() const;
};

// Where a variable lives, as SDCC's one-letter address space.
enum class Space : char {
    ExternalStack = 'A', InternalStack = 'B', Code = 'C', CodeStatic = 'D', Data = 'E',
    External = 'F', Idata = 'G', Bit = 'H', Sfr = 'I', Sbit = 'J', Paged = 'P',
    Register = 'R', None = 'Z'
};
// "data", "xdata", "code", ... for a space.
std::string_view SpaceName(Space s);

enum class Scope : uint8_t { Global, File, Local };

struct Symbol {
    std::string name;
    std::string module;    // file statics and locals: the module that declares them
    std::string function;  // locals, parameters and function statics: the function
    Scope scope = Scope::Global;
    int level = 0, block = 0;
    CType type;
    Space space = Space::None;
    bool onStack = false;
    int stackOffset = 0;                 // from the frame pointer _bp
    std::vector<std::string> registers;  // "r6","r7": least significant byte first
    std::optional<uint32_t> address;     // from the linker records
    std::string key;                     // the key of its linker record
    int cdbLine = 0;

    bool IsFunction() const { return type.IsFunction(); }
    // Compiler temporaries and generated objects (spill locations, string literals, initialisers).
    bool IsGenerated() const;
    // A global or static object in memory (the list a dump or watch window shows).
    bool IsStaticVariable() const;
};

struct Function {
    std::string name, module;
    Scope scope = Scope::Global;
    CType type;
    bool isInterrupt = false;
    int interruptNumber = 0, bank = 0;
    bool hasRange = false;
    uint16_t start = 0;  // first instruction
    uint16_t end = 0;    // the epilogue (SDCC's "XG" record)
    uint16_t last = 0;   // the last instruction, the return included
    int cdbLine = 0;
};

struct StructMember {
    uint32_t offset = 0;
    std::string name;
    CType type;
};

struct StructType {
    std::string name, module;
    std::vector<StructMember> members;
};

struct LineRecord {
    std::string file;  // "main.c"; for assembler lines the module's .asm file
    uint32_t line = 0;
    uint16_t address = 0;
    int cdbLine = 0;
    std::string module;  // assembler lines: the module
};

// A global label of the .map/.noi: code, internal data, a bit or external data.
struct Label {
    std::string name;
    uint16_t address = 0;
    bool code = true;
    bool external = false;
    bool bit = false;
};

class SymbolTable {
public:
    std::string source;                // the file the table was read from
    std::vector<std::string> modules;  // in the order of the file
    // Modules assembled with debug records (sdas8051 -y): their assembler lines are source lines.
    std::vector<std::string> assemblerModules;
    // What the reader skipped or could not use, one note per file ("prog.cdb:13: ...").
    std::vector<std::string> notes;
    std::vector<Function> functions;   // ascending by start address once finished
    std::vector<Symbol> symbols;
    std::vector<StructType> structs;
    // Source lines, ascending by address: C lines, and the lines of assembler modules (which
    // name the module's source file, "blink.asm").
    std::vector<LineRecord> lines;
    std::vector<LineRecord> asmLines;  // every assembler line record, ascending by address
    std::vector<Label> labels;         // from a .map/.noi (a .cdb gives none)

    bool Empty() const { return functions.empty() && symbols.empty() && labels.empty() && lines.empty(); }

    // The function whose code holds `pc`.
    const Function* FunctionAt(uint16_t pc) const;
    // The first function of that name (with or without the leading '_').
    const Function* FindFunction(std::string_view name) const;
    // A function by its unique name: "main", "_main", or "a.c:tick" where two modules have a
    // static function "tick". nullptr with *error set when there is none or the name is ambiguous.
    const Function* FunctionNamed(std::string_view name, std::string* error) const;
    // The name that tells a function apart in the program: "tick", or "a.c:tick" when another
    // module has a function of that name.
    std::string UniqueName(const Function& f) const;
    // The source file a module's qualified names use: "a.c" (its C file), "blink.asm".
    std::string ModuleFile(std::string_view module) const;
    // The files of the source lines, in the order of their first line record.
    std::vector<std::string> SourceFiles() const;
    // A name for a code address: a function's or a code label's, "" when none starts there.
    std::string CodeLabelAt(uint16_t address) const;
    // A name for a direct internal-RAM address below 80h: "_result" or "(_origin+2)", "" if none.
    std::string DataNameAt(uint8_t address) const;
    // A name for a bit address, "" if none.
    std::string BitNameAt(uint8_t address) const;

    // The C line record that covers `pc` (the last one at or below it in the same function).
    const LineRecord* LineAt(uint16_t pc) const;
    // The first address of FILE:LINE (FILE compared by its last path component): a source file,
    // or an assembler file SDCC generated for a C module. When that line has no code, the next
    // line of the file that has; *actualLine tells which.
    std::optional<uint16_t> AddressOfLine(std::string_view file, uint32_t line,
                                          uint32_t* actualLine = nullptr) const;

    // Where a step by source line from `pc` stops: the first address of every line record of a
    // line other than the one that covers `pc` (every line record when none covers it).
    std::vector<uint16_t> OtherLineStarts(uint16_t pc) const;

    // A variable by name, as C sees it from `pc`: the function's locals first, then the
    // module's statics, then globals. "function.name" names a local or function static,
    // "module.c:name" and "module.c:function.name" a static of that module.
    const Symbol* FindSymbol(std::string_view name, std::optional<uint16_t> pc = {}) const;
    // Locals and parameters of a function (spill locations left out).
    std::vector<const Symbol*> LocalsOf(const Function& f) const;
    // Globals and statics, each with a name that is unique in the program: "result", "hidden" (a
    // file static whose name is unique), "helper.c:hidden" (a file static whose name is not),
    // "square.calls" (a function static), "a.c:tick.n" (one of two such statics). In the order
    // of the debug file.
    std::vector<std::pair<std::string, const Symbol*>> StaticVariables() const;
    // A global or static variable by the name StaticVariables gives it; a qualified name is
    // taken also where it is not needed ("a.c:fs", "a:fs"), and "function.name" also names a
    // local that has no fixed place (so that *error can say why it cannot be used). nullptr with
    // *error set ("no variable x", "n is ambiguous: a.c:tick.n, b.c:tick.n").
    const Symbol* FindVariable(std::string_view name, std::string* error) const;

    const StructType* FindStruct(std::string_view name, std::string_view module) const;

    // Every name the listing can show: kind 'C' code, 'D' direct data address, 'B' bit.
    struct NamedAddress {
        std::string name;
        uint16_t address;
        char kind;
    };
    std::vector<NamedAddress> ListingNames() const;

    // Sorts the records, merges repeated declarations of one global (an extern in another module)
    // into the one with an address, makes the assembler modules' lines source lines, works out
    // the function ranges and the listing's names; the readers call it, and it may be called
    // again after addresses were added.
    void Finish();

private:
    std::map<std::string, std::string> moduleFiles_;  // module -> ModuleFile
    std::map<uint16_t, std::string> codeNames_;
    std::map<uint8_t, std::pair<std::string, uint32_t>> dataNames_;  // start -> name, size
    std::map<uint8_t, std::string> bitNames_;
};

struct ReadResult {
    bool ok = false;
    std::string error;  // "main.cdb:12: ..." naming the file and line
};

// The whole of a symbol file; false with a message naming the file and the system's reason.
bool ReadSymbolFile(const std::string& path, std::string* text, ReadResult* failure);

// Reads SDCC's .cdb debug file.
ReadResult ReadCdbText(std::string_view text, const std::string& fileName, SymbolTable* out);
ReadResult ReadCdbFile(const std::string& path, SymbolTable* out);
// Reads the global labels of an sdld .map file or a NoICE .noi file.
ReadResult ReadMapText(std::string_view text, const std::string& fileName, SymbolTable* out);
ReadResult ReadNoiText(std::string_view text, const std::string& fileName, SymbolTable* out);
ReadResult ReadLabelFile(const std::string& path, SymbolTable* out);
// The modules an sdld .map names (its "Global Defined In Module" column and linked files).
std::vector<std::string> MapModules(std::string_view mapText);

// Whether the table fits the loaded program: no line record past `programEnd`, and, when
// `programModules` is given (from the .map beside the program), every module of the table among
// them. Returns "" or one message naming the file and line of the first misfit.
std::string CheckSymbolsMatch(const SymbolTable& table, int32_t programEnd,
                              const std::vector<std::string>* programModules);

// The symbols beside a program: PROGRAM.cdb, or else PROGRAM.map / PROGRAM.noi. Returns false with
// *error set when a file is there but cannot be used; false with an empty error when there is none.
bool LoadSymbolsBeside(const std::string& programPath, int32_t programEnd, SymbolTable* out,
                       std::string* error);
// A chosen .cdb/.map/.noi, checked against the program in the same way. The program's modules
// come from the .map beside `programPath` when there is one, else from the .map beside the file.
bool LoadSymbolsFile(const std::string& path, int32_t programEnd, SymbolTable* out,
                     std::string* error, const std::string& programPath = "");

// Name -> address and memory space for watching a variable: space "iram" (internal RAM, upper
// 128 bytes included), "sfr", "bit" or "xram". Code constants, registers and stack variables have
// none: *error says why.
struct WatchAddress {
    uint32_t address = 0;
    std::string space;
    uint32_t size = 1;
};
std::optional<WatchAddress> ResolveWatchName(const SymbolTable& table, std::string_view name,
                                             std::string* error);
