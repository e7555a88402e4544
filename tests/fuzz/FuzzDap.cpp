// libFuzzer target: the debug adapter's message reader and request handlers. When the first byte
// is odd (every message starts with 'C', 43h), a small program is launched and stopped at its
// entry before the fuzzed bytes arrive; otherwise they meet an adapter with no program, which
// costs a fraction of a launch.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "DapServer.h"

namespace {

std::string program;

// MOV SCON,#50h; LCALL 0010h; SJMP 0000h; at 0010h: MOV SBUF,A; INC A; RET.
const char* const kHex =
    ":0800000075985012001080F801\n"
    ":04001000F599042238\n"
    ":00000001FF\n";

std::string Request(int seq, const std::string& command, const std::string& arguments) {
    const std::string body = "{\"seq\":" + std::to_string(seq) + ",\"type\":\"request\",\"command\":\"" + command +
                             "\",\"arguments\":" + arguments + "}";
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char path[] = "/tmp/fuzz_dap_XXXXXX.hex";
    const int fd = mkstemps(path, 4);
    if (fd < 0) std::abort();
    std::FILE* f = fdopen(fd, "w");
    std::fputs(kHex, f);
    std::fclose(f);
    program = path;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DapServer server([](const std::string&) { return true; });
    server.SetSliceCycles(200);
    const std::string start = Request(1, "initialize", "{}") +
                              Request(2, "launch", "{\"program\":\"" + program + "\",\"stopOnEntry\":true}") +
                              Request(3, "configurationDone", "{}");
    if (size > 0 && (data[0] & 1)) server.Feed(start.data(), start.size());
    server.Feed(reinterpret_cast<const char*>(data), size);
    for (int i = 0; i < 4 && server.Running() && !server.Finished(); ++i) server.RunSlice();
    return 0;
}
