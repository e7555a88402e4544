// libFuzzer target: reading session files; what was read is written and read back unchanged.
#include <string>

#include "SessionFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const SessionReadResult r = ReadSessionText(std::string(reinterpret_cast<const char*>(data), size));
    if (!r.ok) {
        if (r.error.empty()) __builtin_trap();  // a refusal always says why
        return 0;
    }
    for (const SessionCodeBreakpoint& b : r.session.breakpoints)
        if ((b.file.empty() ? 0 : 1) + (b.function.empty() ? 0 : 1) + (b.address >= 0 ? 1 : 0) != 1) __builtin_trap();
    for (const SessionWindow& w : r.session.windows)
        if (w.width <= 0 || w.height <= 0) __builtin_trap();
    const SessionReadResult again = ReadSessionText(SessionText(r.session));
    if (!again.ok || !again.problems.empty() || !(again.session == r.session)) __builtin_trap();
    return 0;
}
