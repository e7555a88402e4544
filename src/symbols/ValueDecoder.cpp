// Decoding and encoding variables' bytes by their C types.
#include "ValueDecoder.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "HexText.h"

namespace {

constexpr size_t kShownElements = 16;
constexpr uint32_t kLargestObject = 0x10000;  // no 8051 memory holds more  // array elements a one-line text lists before "..."

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", c);
            out += b;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

uint64_t LittleEndian(const uint8_t* p, size_t n) {
    uint64_t v = 0;
    for (size_t i = n; i-- > 0;) v = (v << 8) | p[i];
    return v;
}

int64_t SignExtend(uint64_t v, unsigned bits) {
    if (bits >= 64) return int64_t(v);
    uint64_t sign = uint64_t(1) << (bits - 1);
    v &= (sign << 1) - 1;
    return int64_t((v ^ sign) - sign);
}

// C's notation for a pointer's value, as the program's source would write it.
std::string Hex(unsigned v, int digits) { return "0x" + HexDigits(v, digits); }

DecodedValue Text(std::string text, bool number = false) {
    DecodedValue v;
    v.json = number ? text : JsonString(text);
    v.text = std::move(text);
    return v;
}

std::string Integer(int64_t signedValue, uint64_t unsignedValue, bool isSigned) {
    return isSigned ? std::to_string(signedValue) : std::to_string(unsignedValue);
}

class Decoder {
public:
    Decoder(const SymbolTable& t, const std::string& module, bool isSigned)
        : table_(t), module_(module), signed_(isSigned) {}

    DecodedValue At(const std::vector<TypeLink>& links, size_t i, const uint8_t* p, uint32_t size) {
        // A debug file that does not add up (a link missing, too few bytes for the kind, a
        // structure that contains itself) shows "?" rather than reading past the bytes.
        if (i >= links.size() || size < MinimumSize(links[i].kind) || depth_ > kMaxDepth) return Text("?");
        ++depth_;
        DecodedValue v = Kind(links, i, p, size);
        --depth_;
        return v;
    }

private:
    static constexpr int kMaxDepth = 16;

    static uint32_t MinimumSize(TypeLink::Kind k) {
        switch (k) {
            case TypeLink::GenericPointer: case TypeLink::CodePointer: case TypeLink::ExternalPointer:
            case TypeLink::Float:
                return k == TypeLink::GenericPointer ? 3 : k == TypeLink::Float ? 4 : 2;
            case TypeLink::Array: case TypeLink::Struct: case TypeLink::Function: case TypeLink::Void:
                return 0;
            default:
                return 1;
        }
    }

    DecodedValue Kind(const std::vector<TypeLink>& links, size_t i, const uint8_t* p, uint32_t size) {
        const TypeLink& l = links[i];
        switch (l.kind) {
            case TypeLink::Array: return Array(links, i, p, size);
            case TypeLink::Struct: return Struct(l.name, p, size);
            case TypeLink::GenericPointer: {
                static const char* spaces[] = {"xdata", "?", "data", "pdata", "code", "?", "?", "?"};
                unsigned a = unsigned(LittleEndian(p, 2));
                uint8_t tag = size >= 3 ? p[2] : 0;
                std::string space = (tag & 0x1F) ? "?" : spaces[tag >> 5];
                return Text(Hex(a, 4) + " (" + space + ")");
            }
            case TypeLink::CodePointer: return Text(Hex(unsigned(LittleEndian(p, 2)), 4) + " (code)");
            case TypeLink::ExternalPointer: return Text(Hex(unsigned(LittleEndian(p, 2)), 4) + " (xdata)");
            case TypeLink::DataPointer: return Text(Hex(p[0], 2) + " (data)");
            case TypeLink::IdataPointer: return Text(Hex(p[0], 2) + " (idata)");
            case TypeLink::PagedPointer: return Text(Hex(p[0], 2) + " (pdata)");
            case TypeLink::Char: {
                int64_t s = int8_t(p[0]);
                unsigned u = p[0];
                DecodedValue v = Text(Integer(s, u, signed_), true);
                if (u >= 0x20 && u < 0x7F) v.text += std::string(" '") + char(u) + "'";
                return v;
            }
            case TypeLink::Short: case TypeLink::Int: case TypeLink::Long: {
                size_t n = std::min<size_t>(size, 8);
                uint64_t u = LittleEndian(p, n);
                return Text(Integer(SignExtend(u, unsigned(n * 8)), u, signed_), true);
            }
            case TypeLink::Float: {
                float f = std::bit_cast<float>(uint32_t(LittleEndian(p, 4)));
                char b[32];
                std::snprintf(b, sizeof b, "%.7g", double(f));
                DecodedValue v = Text(b, std::isfinite(f));
                return v;
            }
            case TypeLink::Sbit: return Text(p[0] ? "1" : "0", true);
            // A bool holds 0 or 1; anything else is shown as the number it is.
            case TypeLink::Bool: return Text(p[0] > 1 ? std::to_string(p[0]) : p[0] ? "true" : "false", true);
            case TypeLink::BitField: {
                uint64_t u = LittleEndian(p, std::min<size_t>(size, 8)) >> l.bitOffset;
                u &= l.bitWidth >= 64 ? ~uint64_t(0) : (uint64_t(1) << l.bitWidth) - 1;
                return Text(Integer(SignExtend(u, l.bitWidth), u, signed_ && l.bitWidth > 1), true);
            }
            case TypeLink::Function: return Text("function");
            case TypeLink::Void: return Text("void");
        }
        return Text("?");
    }

    DecodedValue Array(const std::vector<TypeLink>& links, size_t i, const uint8_t* p, uint32_t size) {
        uint32_t n = links[i].count;
        uint32_t elem = n ? size / n : 0;
        DecodedValue v;
        bool chars = i + 2 == links.size() && links[i + 1].kind == TypeLink::Char;
        v.text += '{';
        v.json += '[';
        std::string str;
        bool terminated = false;
        for (uint32_t k = 0; k < n && elem; ++k) {
            DecodedValue c = At(links, i + 1, p + size_t(k) * elem, elem);
            c.name += '[';
            c.name += std::to_string(k);
            c.name += ']';
            if (k < kShownElements) v.text += (k ? ", " : "") + c.text;
            else if (k == kShownElements) v.text += ", ...";
            v.json += (k ? ", " : "") + c.json;
            if (chars && !terminated) {
                if (p[k] == 0) terminated = true;
                else str += char(p[k]);
            }
            v.children.push_back(std::move(c));
        }
        v.text += "}";
        v.json += "]";
        if (chars) {
            bool printable = !str.empty();
            for (char c : str) printable = printable && c >= 0x20 && c < 0x7F;
            if (printable) v.text = "\"" + str + "\"" + (terminated ? "" : "...");
            // A terminated string is what a script wants to compare: JSON gets it as a string.
            if (printable && terminated) v.json = JsonString(str);
        }
        return v;
    }

    DecodedValue Struct(const std::string& name, const uint8_t* p, uint32_t size) {
        const StructType* st = table_.FindStruct(name, module_);
        if (!st) return Text("struct " + name);
        DecodedValue v;
        v.text += '{';
        v.json += '{';
        bool first = true;
        for (const auto& m : st->members) {
            if (m.offset + m.type.size > size || m.type.links.empty()) continue;
            Decoder inner(table_, module_, m.type.isSigned);
            inner.depth_ = depth_;
            DecodedValue c = inner.At(m.type.links, 0, p + m.offset, m.type.size);
            c.name = m.name;
            c.type = m.type.Text();
            v.text += (first ? "" : ", ") + m.name + " = " + c.text;
            v.json += (first ? "" : ", ") + JsonString(m.name) + ": " + c.json;
            first = false;
            v.children.push_back(std::move(c));
        }
        v.text += "}";
        v.json += "}";
        return v;
    }

    const SymbolTable& table_;
    const std::string& module_;
    bool signed_;
    int depth_ = 0;
};

DecodedValue Unavailable(const std::string& why) {
    DecodedValue v = Text(why);
    v.json = "null";
    v.available = false;
    return v;
}

}  // namespace

ValueLocation LocateSymbol(const Symbol& s, const SymbolTable& table, TargetMemory& memory) {
    ValueLocation l;
    if (s.space == Space::Register) {
        for (const auto& r : s.registers) {
            if (r.size() != 2 || (r[0] != 'r' && r[0] != 'R') || r[1] < '0' || r[1] > '7') return l;
            l.registers.push_back(unsigned(r[1] - '0'));
        }
        if (!l.registers.empty()) l.kind = ValueLocation::Registers;
        return l;
    }
    if (s.onStack || s.space == Space::InternalStack) {
        // Reentrant functions address their frame from _bp.
        for (const auto& label : table.labels)
            if (label.name == "_bp" && !label.code) {
                l.kind = ValueLocation::Idata;
                l.address = uint8_t(memory.Data(uint8_t(label.address)) + s.stackOffset);
                return l;
            }
        return l;
    }
    if (!s.address) return l;
    l.address = *s.address;
    switch (s.space) {
        case Space::Data: case Space::Sfr: l.kind = ValueLocation::Data; break;
        case Space::Idata: l.kind = ValueLocation::Idata; break;
        case Space::External: l.kind = ValueLocation::Xdata; break;
        // MOVX @Ri reaches the page that P2 selects.
        case Space::Paged: l.kind = ValueLocation::Xdata; l.address = (memory.Data(0xA0) << 8u) | (l.address & 0xFF); break;
        case Space::Code: case Space::CodeStatic: l.kind = ValueLocation::Code; break;
        case Space::Bit: case Space::Sbit: l.kind = ValueLocation::Bit; break;
        default: break;
    }
    return l;
}

std::vector<uint8_t> ReadBytes(const ValueLocation& l, uint32_t size, TargetMemory& m) {
    std::vector<uint8_t> b(size, 0);
    for (uint32_t i = 0; i < size; ++i) {
        uint32_t a = l.address + i;
        switch (l.kind) {
            case ValueLocation::Data: b[i] = m.Data(uint8_t(a)); break;
            case ValueLocation::Idata: b[i] = m.Idata(uint8_t(a)); break;
            case ValueLocation::Xdata: b[i] = m.Xdata(uint16_t(a)); break;
            case ValueLocation::Code: b[i] = m.Code(uint16_t(a)); break;
            case ValueLocation::Bit: b[i] = i == 0 ? uint8_t(m.Bit(uint8_t(a))) : 0; break;
            case ValueLocation::Registers:
                b[i] = i < l.registers.size() ? m.Register(l.registers[i]) : 0;
                break;
            case ValueLocation::None: break;
        }
    }
    return b;
}

DecodedValue DecodeBytes(const CType& type, const std::vector<uint8_t>& bytes, const SymbolTable& table,
                         const std::string& module) {
    if (type.links.empty() || bytes.size() < type.size || type.size > kLargestObject) return Unavailable("?");
    Decoder d(table, module, type.isSigned);
    DecodedValue v = d.At(type.links, 0, bytes.data(), type.size);
    v.type = type.Text();
    return v;
}

DecodedValue DecodeSymbol(const Symbol& s, const SymbolTable& table, TargetMemory& memory) {
    ValueLocation l = LocateSymbol(s, table, memory);
    DecodedValue v;
    if (l.kind == ValueLocation::None) {
        v = Unavailable(s.space == Space::Register ? "<optimized out>" : "<no address>");
    } else if (s.type.size > kLargestObject) {
        v = Unavailable("?");
    } else if (l.kind == ValueLocation::Bit) {
        v = Text(memory.Bit(uint8_t(l.address)) ? "1" : "0", true);
    } else {
        v = DecodeBytes(s.type, ReadBytes(l, s.type.size, memory), table, s.module);
    }
    v.name = s.name;
    v.type = s.type.Text();
    return v;
}

std::optional<std::vector<uint8_t>> EncodeScalar(const CType& type, const std::string& text, std::string* error) {
    // A number has one to eight bytes; a debug file that says otherwise has no number here.
    if (type.links.size() != 1 || type.size < 1 || type.size > 8) {
        *error = "only numbers can be edited";
        return std::nullopt;
    }
    const TypeLink& l = type.links[0];
    std::vector<uint8_t> out(type.size, 0);
    if (l.kind == TypeLink::Float) {
        char* end = nullptr;
        errno = 0;
        float f = std::strtof(text.c_str(), &end);
        if (text.empty() || *end || errno) {
            *error = "\"" + text + "\" is not a number";
            return std::nullopt;
        }
        uint32_t u = std::bit_cast<uint32_t>(f);
        for (int i = 0; i < 4 && i < int(out.size()); ++i) out[size_t(i)] = uint8_t(u >> (8 * i));
        return out;
    }
    if (l.kind == TypeLink::Bool && (text == "true" || text == "false")) {
        out.assign(std::max<uint32_t>(1, type.size), 0);
        out[0] = text == "true";
        return out;
    }
    if (l.kind != TypeLink::Char && l.kind != TypeLink::Short && l.kind != TypeLink::Int &&
        l.kind != TypeLink::Long && l.kind != TypeLink::BitField && l.kind != TypeLink::Sbit &&
        l.kind != TypeLink::Bool) {
        *error = "only numbers can be edited";
        return std::nullopt;
    }
    int64_t v = 0;
    if (text.size() == 3 && text[0] == '\'' && text[2] == '\'') {
        v = static_cast<unsigned char>(text[1]);
    } else {
        char* end = nullptr;
        errno = 0;
        long long x = std::strtoll(text.c_str(), &end, 0);
        if (text.empty() || *end || errno) {
            *error = "\"" + text + "\" is not a number";
            return std::nullopt;
        }
        v = x;
    }
    unsigned bits = l.kind == TypeLink::BitField || l.kind == TypeLink::Sbit ? std::max<unsigned>(1, l.bitWidth)
                                                                          : unsigned(type.size * 8);
    if (l.kind == TypeLink::Sbit || l.kind == TypeLink::Bool) bits = 1;
    if (bits < 64) {
        int64_t lo = type.isSigned && bits > 1 ? -(int64_t(1) << (bits - 1)) : 0;
        int64_t hi = type.isSigned && bits > 1 ? (int64_t(1) << (bits - 1)) - 1 : (int64_t(1) << bits) - 1;
        if (v < lo || v > hi) {
            *error = text + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")";
            return std::nullopt;
        }
    }
    if (l.kind == TypeLink::BitField) {
        // The caller merges the field into the bytes it read: here the field's bits, shifted.
        uint64_t u = (uint64_t(v) & ((uint64_t(1) << bits) - 1)) << l.bitOffset;
        for (size_t i = 0; i < out.size(); ++i) out[i] = uint8_t(u >> (8 * i));
        return out;
    }
    for (size_t i = 0; i < out.size(); ++i) out[i] = uint8_t(uint64_t(v) >> (8 * i));
    return out;
}

Expected<std::vector<VariableStore>> EncodeVariableValue(const Symbol& s, const SymbolTable& table,
                                                       TargetMemory& memory, const std::string& text) {
    using Stores = Expected<std::vector<VariableStore>>;
    if (s.space == Space::Code || s.space == Space::CodeStatic)
        return Stores::Failure(s.name + " lies in code memory, which a program cannot write");
    std::string error;
    auto bytes = EncodeScalar(s.type, text, &error);
    if (!bytes) return Stores::Failure(error);
    const ValueLocation l = LocateSymbol(s, table, memory);
    if (l.kind == ValueLocation::None)
        return Stores::Failure(s.name + (s.space == Space::Register ? " is optimized out here" : " has no address"));
    const TypeLink& link = s.type.links[0];
    if (link.kind == TypeLink::BitField && l.kind != ValueLocation::Bit) {
        // Only the field's bits change; the rest of its bytes keep what they hold.
        const std::vector<uint8_t> old = ReadBytes(l, s.type.size, memory);
        const uint64_t mask = (link.bitWidth >= 64 ? ~uint64_t(0) : (uint64_t(1) << link.bitWidth) - 1) << link.bitOffset;
        for (size_t i = 0; i < old.size() && i < bytes->size(); ++i) {
            const uint8_t m = uint8_t(mask >> (8 * i));
            (*bytes)[i] = uint8_t((old[i] & ~m) | ((*bytes)[i] & m));
        }
    }
    std::vector<VariableStore> stores;
    if (l.kind == ValueLocation::Bit) {
        stores.push_back({VariableStore::Bit, uint16_t(l.address & 0xFF), uint8_t((*bytes)[0] & 1)});
        return stores;
    }
    const uint8_t bank = memory.Data(0xD0) & 0x18;
    for (size_t i = 0; i < bytes->size(); ++i) {
        const uint32_t a = l.address + uint32_t(i);
        switch (l.kind) {
            case ValueLocation::Data: stores.push_back({VariableStore::Direct, uint16_t(a & 0xFF), (*bytes)[i]}); break;
            case ValueLocation::Idata: stores.push_back({VariableStore::Indirect, uint16_t(a & 0xFF), (*bytes)[i]}); break;
            case ValueLocation::Xdata: stores.push_back({VariableStore::External, uint16_t(a), (*bytes)[i]}); break;
            case ValueLocation::Registers:
                if (i < l.registers.size())
                    stores.push_back({VariableStore::Direct, uint16_t(bank + l.registers[i]), (*bytes)[i]});
                break;
            default: break;
        }
    }
    return stores;
}
