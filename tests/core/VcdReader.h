// A small VCD reader for tests: the timescale, the variables and every value change by name.
#pragma once

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace testing_vcd {

struct Var {
    int width = 0;
    std::vector<std::pair<uint64_t, uint64_t>> changes;  // (time, value), the initial one first
};

struct Vcd {
    std::string timescale;  // without blanks: "1ns"
    std::map<std::string, Var> vars;  // by name
    uint64_t endTime = 0;
    std::string error;  // what was malformed, empty when the file read well
};

inline Vcd ReadVcd(const std::string& text) {
    Vcd v;
    std::map<std::string, std::string> names;  // id -> name
    std::istringstream in(text);
    std::string word;
    uint64_t time = 0;
    auto untilEnd = [&] {
        std::string all, w;
        while (in >> w && w != "$end") all += (all.empty() ? "" : " ") + w;
        return all;
    };
    auto set = [&](const std::string& id, uint64_t value) {
        auto n = names.find(id);
        if (n == names.end()) {
            v.error = "unknown id " + id;
            return;
        }
        v.vars[n->second].changes.emplace_back(time, value);
    };
    while (in >> word) {
        if (word == "$timescale") {
            for (char c : untilEnd())
                if (c != ' ') v.timescale += c;
        } else if (word == "$var") {
            std::string type, width, id, name;
            in >> type >> width >> id >> name;
            std::string rest = untilEnd();
            if (!rest.empty()) name += " " + rest;  // a bit-range part such as "[7:0]"
            names[id] = name.substr(0, name.find(' '));
            v.vars[names[id]].width = std::stoi(width);
        } else if (word == "$dumpvars" || word == "$end" || word == "$upscope") {
            if (word == "$upscope") untilEnd();
        } else if (word[0] == '$') {
            untilEnd();
        } else if (word[0] == '#') {
            time = std::stoull(word.substr(1));
            v.endTime = time;
        } else if (word[0] == 'b' || word[0] == 'B') {
            std::string id;
            in >> id;
            uint64_t value = 0;
            for (char c : word.substr(1)) value = value << 1 | (c == '1');
            set(id, value);
        } else if (word[0] == '0' || word[0] == '1' || word[0] == 'x' || word[0] == 'z') {
            set(word.substr(1), word[0] == '1');
        } else {
            v.error = "unexpected " + word;
        }
    }
    return v;
}

}  // namespace testing_vcd
