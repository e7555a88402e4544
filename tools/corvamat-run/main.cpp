// corvamat-run: loads an 8051/8052 program and runs it without windows, for scripts and CI.
// This file wires the options to the session and the outputs; only here is anything printed.
#include <iostream>
#include <string>
#include <vector>

#include "DapServer.h"
#include "Disassembler.h"
#include "Export.h"
#include "Options.h"
#include "Session.h"
#include "Writers.h"

namespace {

struct Printer {
    bool quiet = false;

    // Each line of `text` after "corvamat-run: ".
    void Line(const std::string& text) const {
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::cerr << "corvamat-run: " << text.substr(start, end - start) << "\n";
            start = end + 1;
        }
    }
    void Note(const std::string& text) const {
        if (!quiet) Line(text);
    }
    void Show(const Messages& m) const {
        for (const auto& n : m.notes) Note(n);
        for (const auto& w : m.warnings) Line(w);
    }
    int Fail(const Failure& f) const {
        Line(f.message);
        if (f.hint) std::cerr << "Try 'corvamat-run --help'.\n";
        return f.status;
    }
};

bool Recording(const Options& o) { return !o.coverage.empty() || !o.profile.empty(); }

// --listing and --export: the disassembly, then the end (after a run with --coverage or
// --profile, the listing with its counts).
int ListOrExport(const Options& o, const Printer& out) {
    WholeOutput exportFile;
    if (!o.exportFile.empty())
        if (Status s = exportFile.Open(o.exportFile)) return out.Fail(*s);
    BuildListing();
    if (o.listing)
        if (Status s = WriteStandardOutput(ListingText(Recording(o)))) return out.Fail(*s);
    if (!o.exportFile.empty()) {
        ExportOptions options = CurrentExportOptions();
        if (Status s = exportFile.Write(ExportText(Listing, options))) return out.Fail(*s);
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    Printer out;
    auto parsed = ParseOptions(argc, argv);
    if (!parsed) return out.Fail(parsed.failure());
    const Options& o = *parsed;
    out.quiet = o.quiet;
    if (o.help) {
        Status s = WriteStandardOutput(kHelpText);
        return s ? out.Fail(*s) : kExitOk;
    }
    if (o.dap) return DapServer::Serve(0, 1);
    if (Status s = ApplySettings(o.settings)) return out.Fail(*s);

    // With --coverage or --profile the listing comes after the run, with its counts.
    const bool listOnly = (o.listing && !Recording(o)) || !o.exportFile.empty();
    // Every file of the run is opened (or read) before the program is loaded.
    RunSetup setup;
    OutputStream serialOut, traceOut;
    WholeOutput dump, coverage, profile, vcd;
    if (!listOnly) {
        if (!o.coverage.empty())
            if (Status s = coverage.Open(o.coverage)) return out.Fail(*s);
        if (!o.profile.empty())
            if (Status s = profile.Open(o.profile)) return out.Fail(*s);
        if (!o.serialIn.empty()) {
            auto input = ReadSerialInput(o.serialIn);
            if (!input) return out.Fail(input.failure());
            setup.serialInput = std::move(*input);
        }
        if (!o.dump.empty())
            if (Status s = dump.Open(o.dump)) return out.Fail(*s);
        if (!o.vcd.empty())
            if (Status s = vcd.Open(o.vcd)) return out.Fail(*s);
        if (!o.trace.empty())
            if (Status s = traceOut.Open(o.trace)) return out.Fail(*s);
        if (Status s = serialOut.Open(o.serialOut.empty() ? "-" : o.serialOut)) return out.Fail(*s);
    }

    Messages messages;
    Status loaded = LoadProgram(o.program, o.symbols, &messages);
    out.Show(messages);
    if (loaded) return out.Fail(*loaded);
    if (listOnly) return ListOrExport(o, out);

    messages = Messages();
    Status armed = ArmStops(o.stops, &messages);
    out.Show(messages);
    if (armed) return out.Fail(*armed);
    if (!o.vcd.empty())
        if (Status s = ArmSignals(o.signals)) return out.Fail(*s);

    SerialWriter serial(serialOut);
    TraceWriter trace(traceOut, CurrentListingFormat());
    setup.maxCycles = o.stops.maxCycles;
    setup.realTime = o.realTime;
    setup.serialOutput = &serial;
    setup.trace = o.trace.empty() ? nullptr : &trace;
    setup.record = Recording(o);
    const bool coverageKnown = CoverageAvailable();
    if (!o.coverage.empty() && !coverageKnown)
        out.Line("--coverage needs the program's .cdb (beside the program or given with --symbols); no coverage is written");
    const RunOutcome outcome = RunProgram(setup);

    // The outputs are finished before anything else is said; a failed write ends with 74.
    int status = ExitStatusOf(outcome.reason);
    std::vector<Failure> failures;
    if (Status s = serialOut.Close()) failures.push_back(*s);
    if (Status s = traceOut.Close()) failures.push_back(*s);
    if (o.stats) std::cerr << StatsText(outcome);
    out.Note(StopLine(outcome));
    if (!o.dump.empty())
        if (Status s = dump.Write(DumpText(outcome))) failures.push_back(*s);
    if (!o.vcd.empty()) {
        uint64_t dropped = 0;
        if (Status s = vcd.Write(VcdText(&dropped))) failures.push_back(*s);
        if (dropped)
            out.Note("the VCD file holds the newest changes; " + std::to_string(dropped) +
                     " older ones were dropped");
    }
    // Coverage and profile however the run ended: a limit, a breakpoint, a watch, a signal.
    if (!o.coverage.empty() && coverageKnown)
        if (Status s = coverage.Write(CoverageFileText())) failures.push_back(*s);
    if (!o.profile.empty())
        if (Status s = profile.Write(ProfileFileText(o.program))) failures.push_back(*s);
    if (o.listing)
        if (int listed = ListOrExport(o, out); listed != kExitOk) status = listed;
    for (const Failure& f : failures) status = out.Fail(f);
    return status;
}
