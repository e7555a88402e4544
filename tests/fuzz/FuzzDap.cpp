// libFuzzer target: the debug adapter's message reader and request handlers. When the first byte
// is odd (every message starts with 'C', 43h), the fuzzed bytes meet a small program launched and
// stopped at its entry: it is launched once per process, and each input starts from the launch as
// configurationDone left it (DapServer::RestartFromLaunch). Otherwise they meet an adapter
// with no program.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "DapServer.h"

namespace {

std::string program;
std::unique_ptr<DapServer> launched;

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

void Feed(DapServer& server, const std::string& bytes) { server.Feed(bytes.data(), bytes.size()); }

DapServer& Launched() {
    if (launched) {
        launched->RestartFromLaunch();
        return *launched;
    }
    launched = std::make_unique<DapServer>([](const std::string&) { return true; });
    launched->SetSliceCycles(200);
    Feed(*launched, Request(1, "initialize", "{}") +
                        Request(2, "launch", "{\"program\":\"" + program + "\",\"stopOnEntry\":true}") +
                        Request(3, "configurationDone", "{}"));
    return *launched;
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
    const char* bytes = reinterpret_cast<const char*>(data);
    if (size > 0 && (data[0] & 1)) {
        DapServer& server = Launched();
        server.Feed(bytes, size);
        for (int i = 0; i < 4 && server.Running() && !server.Finished(); ++i) server.RunSlice();
        return 0;
    }
    DapServer server([](const std::string&) { return true; });
    server.SetSliceCycles(200);
    server.Feed(bytes, size);
    // A launch tried here may have changed the settings or the loaded program that the launched
    // adapter relies on: it launches again for the next input.
    if (std::string_view(bytes, size).find("launch") != std::string_view::npos) launched.reset();
    return 0;
}
