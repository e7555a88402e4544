// Resolving code and data targets by name or address, with errors as values.
#include "Targets.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool IsDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A C identifier, possibly qualified by its file ("a.c:tick") and its function ("tick.n"): a
// text that can only be meant as a name.
bool LooksLikeName(std::string_view s) {
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == ':';
    });
}

std::string Quoted(std::string_view s) {
    std::string q(1, '"');
    q.append(s);
    q += '"';
    return q;
}

const char* const kNeedsSymbols = "names need the program's symbols (its .cdb, .map or .noi)";

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::optional<WatchSpace> SpaceNamed(std::string_view s) {
    const std::string name = Lower(s);
    if (name == "iram") return WatchSpace::Iram;
    if (name == "sfr") return WatchSpace::Sfr;
    if (name == "bit") return WatchSpace::Bit;
    if (name == "xram") return WatchSpace::Xram;
    return std::nullopt;
}

std::string BaseName(std::string_view path) {
    auto slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

Expected<CodeTarget> FileLine(std::string_view file, std::string_view lineText, const SymbolTable* symbols) {
    using R = Expected<CodeTarget>;
    const std::string where = std::string(file) + ":" + std::string(lineText);
    if (lineText.size() > 10 || std::stoull(std::string(lineText)) > UINT32_MAX)
        return R::Failure("line number " + std::string(lineText) + " is out of range");
    const uint32_t line = uint32_t(std::stoul(std::string(lineText)));
    if (line == 0) return R::Failure("line numbers start at 1");
    if (!symbols) return R::Failure(kNeedsSymbols);
    const std::vector<std::string> files = symbols->SourceFiles();
    const std::string want = BaseName(file);
    auto named = [&](const auto& f) { return BaseName(f) == want; };
    const bool generated = std::any_of(symbols->asmLines.begin(), symbols->asmLines.end(),
                                       [&](const LineRecord& r) { return named(r.file); });
    if (std::none_of(files.begin(), files.end(), named) && !generated) {
        if (files.empty()) return R::Failure("the symbols have no source files, only labels");
        std::string have;
        for (const auto& f : files) have += (have.empty() ? "" : ", ") + f;
        return R::Failure("the symbols have no file " + want + " (they have " + have + ")");
    }
    CodeTarget t;
    auto address = symbols->AddressOfLine(file, line, &t.line);
    if (!address) return R::Failure(want + " has no code at or after line " + std::to_string(line));
    t.address = *address;
    t.file = want;
    if (t.line != line) t.note = where + " has no code; the breakpoint is on line " + std::to_string(t.line);
    return t;
}

}  // namespace

std::optional<uint32_t> ParseAddressText(std::string_view s) {
    std::string_view digits = s;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.remove_prefix(2);
    else if (digits.size() > 1 && (digits.back() == 'h' || digits.back() == 'H'))
        digits.remove_suffix(1);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), IsHexDigit)) return std::nullopt;
    while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
    if (digits.size() > 8) return UINT32_MAX;
    return uint32_t(std::stoul(std::string(digits), nullptr, 16));
}

Expected<CodeTarget> ResolveCodeTarget(std::string_view text, const SymbolTable* symbols) {
    using R = Expected<CodeTarget>;
    if (text.empty()) return R::Failure("no address or name given");
    const auto colon = text.rfind(':');
    if (colon != std::string_view::npos && colon > 0 && IsDigits(text.substr(colon + 1)))
        return FileLine(text.substr(0, colon), text.substr(colon + 1), symbols);
    if (symbols && LooksLikeName(text)) {
        std::string error;
        if (const Function* f = symbols->FunctionNamed(text, &error)) {
            CodeTarget t;
            t.address = f->start;
            return t;
        }
        if (error.find("ambiguous") != std::string::npos) return R::Failure(error);
        for (const auto& l : symbols->labels)
            if (l.code && (l.name == text || (l.name.size() == text.size() + 1 && l.name[0] == '_' &&
                                              std::string_view(l.name).substr(1) == text))) {
                CodeTarget t;
                t.address = l.address;
                return t;
            }
    }
    if (auto a = ParseAddressText(text)) {
        if (*a > 0xFFFF) return R::Failure("address " + std::string(text) + " is out of range (0-FFFF)");
        CodeTarget t;
        t.address = uint16_t(*a);
        return t;
    }
    if (LooksLikeName(text)) return R::Failure(symbols ? "no function or label " + std::string(text) : kNeedsSymbols);
    return R::Failure(Quoted(text) + " is no address (0x1F, 1Fh or 1F), function or FILE:LINE");
}

Expected<std::vector<DataBreakpoint>> ResolveDataTarget(const DataTarget& d, const SymbolTable* symbols) {
    using R = Expected<std::vector<DataBreakpoint>>;
    if (d.target.empty()) return R::Failure("no address or variable given");
    std::vector<DataBreakpoint> out;
    auto value = [&](bool bit) -> std::optional<uint8_t> {
        auto v = ParseAddressText(d.value);
        if (!v || *v > (bit ? 1u : 0xFFu)) return std::nullopt;
        return uint8_t(*v);
    };
    const char* badValue = "the value is a hexadecimal byte (0x2A, 2Ah or 2A)";
    if (d.match == WatchMatch::Equals && d.value.empty()) return R::Failure("no value after '='");

    if (!d.space && symbols && LooksLikeName(d.target)) {
        std::string error;
        if (symbols->FindVariable(d.target, &error)) {
            auto w = ResolveWatchName(*symbols, d.target, &error);
            if (!w) return R::Failure(error);
            const WatchSpace space = w->space == "sfr" ? WatchSpace::Sfr
                                     : w->space == "bit" ? WatchSpace::Bit
                                     : w->space == "xram" ? WatchSpace::Xram
                                                          : WatchSpace::Iram;
            DataBreakpoint b;
            b.space = space;
            b.match = d.match;
            if (d.match == WatchMatch::Equals) {
                auto v = value(space == WatchSpace::Bit);
                if (!v) return R::Failure(space == WatchSpace::Bit ? "a bit's value is 0 or 1" : badValue);
                b.value = *v;
            }
            const uint32_t bytes = d.match == WatchMatch::Equals ? 1 : w->size;
            for (uint32_t i = 0; i < bytes; ++i) {
                b.address = uint16_t(w->address + i);
                out.push_back(b);
            }
            return out;
        }
        if (error.find("ambiguous") != std::string::npos) return R::Failure(error);
    }

    const WatchSpace space = d.space.value_or(WatchSpace::Iram);
    auto a = ParseAddressText(d.target);
    if (!a) {
        if (!d.space && LooksLikeName(d.target))
            return R::Failure(symbols ? "no variable " + d.target : std::string(kNeedsSymbols));
        return R::Failure(Quoted(d.target) + " is no address (0x30, 30h or 30)");
    }
    const uint32_t limit = space == WatchSpace::Xram ? 0xFFFF : 0xFF;
    if (*a > limit)
        return R::Failure("address " + d.target + " is out of range (0-" + (limit == 0xFF ? "FF" : "FFFF") + ")");
    if (space == WatchSpace::Sfr && *a < 0x80) return R::Failure("SFR addresses are 80-FF");
    DataBreakpoint b;
    b.space = space;
    b.address = uint16_t(*a);
    b.match = d.match;
    if (d.match == WatchMatch::Equals) {
        auto v = value(space == WatchSpace::Bit);
        if (!v) return R::Failure(space == WatchSpace::Bit ? "a bit's value is 0 or 1" : badValue);
        b.value = *v;
    }
    out.push_back(b);
    return out;
}

namespace {

// ADDR[:SPACE][=VALUE|:changed] or NAME[=VALUE|:changed] into its fields; "" or what is wrong.
std::string SplitDataText(std::string_view text, const SymbolTable* symbols, DataTarget* d) {
    std::string_view t = text;
    constexpr std::string_view changed = ":changed";
    if (t.size() > changed.size() && Lower(t.substr(t.size() - changed.size())) == changed) {
        d->match = WatchMatch::Changes;
        t.remove_suffix(changed.size());
    } else if (auto eq = t.rfind('='); eq != std::string_view::npos) {
        d->match = WatchMatch::Equals;
        d->value = std::string(t.substr(eq + 1));
        t = t.substr(0, eq);
    }
    // ADDR:SPACE; a variable's name may hold a ':' of its own ("a.c:fs").
    std::string error;
    const bool variable = symbols && LooksLikeName(t) && symbols->FindVariable(t, &error);
    if (auto colon = t.rfind(':'); !variable && colon != std::string_view::npos) {
        if (auto space = SpaceNamed(t.substr(colon + 1))) {
            d->space = space;
            t = t.substr(0, colon);
        } else if (ParseAddressText(t.substr(0, colon))) {
            return "unknown space '" + std::string(t.substr(colon + 1)) + "' (iram, sfr, bit or xram)";
        }
    }
    d->target = std::string(t);
    return "";
}

}  // namespace

Expected<std::vector<DataBreakpoint>> ResolveDataTarget(std::string_view text, const SymbolTable* symbols) {
    DataTarget d;
    if (std::string error = SplitDataText(text, symbols, &d); !error.empty())
        return Expected<std::vector<DataBreakpoint>>::Failure(error);
    return ResolveDataTarget(d, symbols);
}

std::string CodeTargetFormError(std::string_view text) {
    const auto colon = text.rfind(':');
    const bool fileLine = colon != std::string_view::npos && colon > 0 && IsDigits(text.substr(colon + 1));
    if (!fileLine && LooksLikeName(text)) return "";
    const std::string error = ResolveCodeTarget(text, nullptr).error();
    return error == kNeedsSymbols ? "" : error;
}

std::string DataTargetFormError(std::string_view text) {
    DataTarget d;
    if (std::string error = SplitDataText(text, nullptr, &d); !error.empty()) return error;
    if (d.match == WatchMatch::Equals && d.value.empty()) return "no value after '='";
    if (!d.space && LooksLikeName(d.target)) return "";
    const std::string error = ResolveDataTarget(d, nullptr).error();
    return error == kNeedsSymbols ? "" : error;
}
