// The Debug Adapter Protocol server of `corvamat-run --dap`: one handler per request over the
// debugging session, and the single-threaded loop that reads requests between slices of the run.
//
// Layers: DapFraming cuts the byte stream into messages; DapServer dispatches each request to its
// handler, which validates its arguments and returns a body or an error message (an error
// becomes a response with success false; nothing a handler meets ends the loop); DapSession is
// the machine side. Events (stopped, output, terminated, ...) are queued by the handlers and the
// run, and written after the response that caused them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "DapFraming.h"
#include "DapSession.h"

class DapServer {
public:
    // `write` sends framed bytes to the client and returns false once it cannot.
    explicit DapServer(std::function<bool(const std::string&)> write);

    // Bytes from the client: every complete message in them is handled.
    void Feed(const char* data, size_t size);
    // Handles one message (a request; anything else is answered or ignored as the protocol says).
    void HandleMessage(const nlohmann::json& message);
    // Runs one slice of a run in progress, reporting its output and its end.
    void RunSlice();
    bool Running() const { return session_.Running(); }
    // After disconnect, or once the client cannot be written to.
    bool Finished() const { return finished_ || writeFailed_; }

    // Machine cycles per slice: small enough that a pause is answered within a few milliseconds.
    uint64_t SliceCycles() const;
    // A fixed slice instead (the fuzz target's short runs).
    void SetSliceCycles(uint64_t cycles) { sliceCycles_ = cycles; }
    // Back to the launch as configurationDone left it, without reading the program's files again:
    // the machine as loaded and stopped at its entry, no breakpoints, no values shown, nothing
    // queued. The fuzz target's inputs each meet the same launch this way.
    void RestartFromLaunch();

    // The loop over two file descriptors (standard input and output); returns the exit status.
    static int Serve(int in, int out);

private:
    struct Reply {
        nlohmann::json body = nlohmann::json::object();
        std::string error;  // non-empty: success false with this message
    };
    using Handler = Reply (DapServer::*)(const nlohmann::json& arguments);
    static const std::map<std::string, Handler>& Handlers();

    Reply Initialize(const nlohmann::json& a);
    Reply Launch(const nlohmann::json& a);
    Reply ConfigurationDone(const nlohmann::json& a);
    Reply Threads(const nlohmann::json& a);
    Reply Disconnect(const nlohmann::json& a);
    Reply Terminate(const nlohmann::json& a);
    Reply SetBreakpoints(const nlohmann::json& a);
    Reply SetFunctionBreakpoints(const nlohmann::json& a);
    Reply SetInstructionBreakpoints(const nlohmann::json& a);
    Reply SetExceptionBreakpoints(const nlohmann::json& a);
    Reply DataBreakpointInfo(const nlohmann::json& a);
    Reply SetDataBreakpoints(const nlohmann::json& a);
    Reply Continue(const nlohmann::json& a);
    Reply Next(const nlohmann::json& a);
    Reply StepIn(const nlohmann::json& a);
    Reply StepOut(const nlohmann::json& a);
    Reply Pause(const nlohmann::json& a);
    Reply StepBack(const nlohmann::json& a);
    Reply ReverseContinue(const nlohmann::json& a);
    Reply StackTrace(const nlohmann::json& a);
    Reply Scopes(const nlohmann::json& a);
    Reply Variables(const nlohmann::json& a);
    Reply SetVariable(const nlohmann::json& a);
    Reply Evaluate(const nlohmann::json& a);
    Reply ReadMemory(const nlohmann::json& a);
    Reply WriteMemory(const nlohmann::json& a);
    Reply Disassemble(const nlohmann::json& a);
    Reply GotoTargets(const nlohmann::json& a);
    Reply Goto(const nlohmann::json& a);

    void Send(nlohmann::json message);
    void Event(const std::string& name, nlohmann::json body = nlohmann::json::object());
    void Respond(const nlohmann::json& request, const Reply& reply);
    void FlushOutput();
    void Stopped(const RunEnd& end);
    Reply Resume(DapSession::Resume how);
    std::string NeedsStop() const;

    // Values shown since the last stop: a variablesReference is an index + 1 into containers_.
    int AddContainer(std::vector<ShownValue> values);
    nlohmann::json VariableJson(const ShownValue& v);
    std::vector<StackFrameInfo> frames_;

    std::function<bool(const std::string&)> write_;
    DapFrameReader reader_;
    DapSession session_;
    std::vector<std::vector<ShownValue>> containers_;
    std::vector<nlohmann::json> events_;  // queued until the response that caused them is out
    int64_t seq_ = 1;
    uint64_t sliceCycles_ = 0;
    int nextBreakpointId_ = 1;
    // Code breakpoints by group (a source path, "functions", "instructions"): address and id.
    std::map<std::string, std::vector<std::pair<uint16_t, int>>> codeIds_;
    // The core's id of each data breakpoint and the protocol's breakpoint it belongs to (a
    // variable's bytes are one breakpoint of the protocol).
    std::vector<std::pair<int, int>> dataIds_;
    bool finished_ = false, writeFailed_ = false, configured_ = false, terminated_ = false;
};
