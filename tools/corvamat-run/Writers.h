// corvamat-run's outputs: the streams written during a run (serial output, trace), the files
// written whole at its end (dump, export), and the texts they hold (the JSON dump, the listing).
//
// Every output is opened before the program runs, so a path that cannot be written stops
// before anything runs (a usage error); a write that fails later is an I/O error naming the
// file and the system's reason. "-" is standard output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "Disassembler.h"
#include "Result.h"
#include "SafeFile.h"
#include "Session.h"

// A stream written while the program runs (--serial-out, --trace).
class OutputStream {
public:
    OutputStream() = default;
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;
    ~OutputStream();

    Status Open(const std::string& path);
    std::FILE* File() const { return file_; }
    // Records why a write failed; the first failure is the one reported.
    void WriteFailed();
    // Flushes and closes (standard output is only flushed); reports any write that failed.
    Status Close();

private:
    std::string name_;
    std::FILE* file_ = nullptr;
    bool owned_ = false;
    int error_ = 0;
};

// The bytes the program transmits, as they are sent.
class SerialWriter : public SerialOutputHook {
public:
    explicit SerialWriter(OutputStream& out) : out_(out) {}
    void ByteSent(uint8_t value) override {
        if (std::fputc(value, out_.File()) == EOF) out_.WriteFailed();
    }

private:
    OutputStream& out_;
};

// One line per instruction: address, bytes, text, A, PSW, SP, DPTR and the machine cycles counted
// once it has run.
class TraceWriter : public InstructionSink {
public:
    TraceWriter(OutputStream& out, ListingFormat format) : out_(out), format_(std::move(format)) {}
    void Executed(uint16_t address, uint64_t cycles) override;

private:
    OutputStream& out_;
    ListingFormat format_;
};

// A file written whole once its text is known (--dump, --export): see WholeFileWriter.
class WholeOutput {
public:
    Status Open(const std::string& path);
    Status Write(const std::string& text);

private:
    std::string name_;
    WholeFileWriter writer_;
};

// The final state as JSON: stop, pc, cycles, instructions, sbuf_rx, watch_pc (after a watch
// stop), call_stack, iram and xram (hexadecimal digits), variables (with symbols).
std::string DumpText(const RunOutcome& outcome);
// The recorded signals as a VCD file (--vcd); `dropped` says how many of the oldest changes the
// bounded store had to drop.
std::string VcdText(uint64_t* dropped);
// The listing, one row a line: address, text, bytes and (with symbols) the label, tab-separated;
// with `counts` a last column with the recorder's starts of each row's instruction.
std::string ListingText(bool counts = false);
// Whether the program's symbols have line records, which coverage needs.
bool CoverageAvailable();
// The lcov tracefile of the recorder's counts ("" without line records).
std::string CoverageFileText();
// The callgrind profile of the recorder's counts; `program` names the run.
std::string ProfileFileText(const std::string& program);
// Writes `text` to standard output and flushes it.
Status WriteStandardOutput(const std::string& text);
