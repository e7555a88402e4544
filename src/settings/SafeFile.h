// Writing a whole file at once: never half-written, and never replacing what is not a file.
#pragma once

#include <string>

// A file written whole, in two stages so that a caller can find out before a long piece of work
// whether the target can be written at all.
//
// - A regular file, or one that does not exist yet, is replaced: the text goes to a temporary
//   file beside it ("NAME.tmp~") that is then renamed over it, so a failed or interrupted write
//   leaves the old file as it was. The new file keeps the old one's permission bits.
// - A symbolic link to a regular file stays a link: the file it names is replaced.
// - A target that exists and is not a regular file (a device such as /dev/null, a FIFO, a
//   terminal, /dev/stdout) is opened at Open, kept open, and written directly at Commit; it is
//   never replaced. A FIFO's Open waits for its reader, as a shell redirection does.
//
// Errors are the system's reason ("No space left on device"), without the path.
class WholeFileWriter {
public:
    WholeFileWriter() = default;
    WholeFileWriter(const WholeFileWriter&) = delete;
    WholeFileWriter& operator=(const WholeFileWriter&) = delete;
    ~WholeFileWriter();

    // Checks that `path` can be written: creates and removes the temporary file of a file to
    // replace, opens a device or FIFO.
    bool Open(const std::string& path, std::string* error);
    // Writes to the process's standard output instead of a file (left open afterwards).
    void OpenStandardOutput();
    // Writes `text` (once, after a successful Open).
    bool Commit(const std::string& text, std::string* error);

private:
    std::string path_;   // the file to replace, symbolic links resolved
    int fd_ = -1;        // a target written directly
    bool ownsFd_ = false;
};

// Open and Commit in one: replaces `path` with `text` (or writes a device or FIFO directly).
// On failure a replaced file is untouched, the temporary file is removed and `error` (if given)
// says why.
bool WriteFileSafely(const std::string& path, const std::string& text, std::string* error);
