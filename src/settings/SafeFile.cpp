// Whole-file writes: a temporary file renamed over a regular file; devices and FIFOs written directly.
#include "SafeFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Fail(std::string* error, int err) {
    if (error) *error = std::strerror(err ? err : EIO);
    return false;
}

// Writes all of `text` to `fd`, going on after partial writes and interruptions.
bool WriteAll(int fd, const std::string& text, int* err) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            *err = errno;
            return false;
        }
        p += n;
        left -= size_t(n);
    }
    return true;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

std::string TempName(const std::string& path) { return path + ".tmp~"; }

}  // namespace

WholeFileWriter::~WholeFileWriter() {
    if (ownsFd_ && fd_ >= 0) ::close(fd_);
}

bool WholeFileWriter::Open(const std::string& path, std::string* error) {
    path_.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Fail(error, EISDIR);
        struct stat link {};
        const bool symlink = ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
        // /dev/stdout and /proc/self/fd/N name a file descriptor the process shares: writing
        // through them appends to whatever the shell redirected there.
        const bool viaDescriptor = symlink && (StartsWith(path, "/dev/") || StartsWith(path, "/proc/"));
        if (!S_ISREG(st.st_mode) || viaDescriptor) {
            int flags = O_WRONLY | O_CLOEXEC | (S_ISREG(st.st_mode) ? O_APPEND : 0);
            int fd;
            do fd = ::open(path.c_str(), flags);
            while (fd < 0 && errno == EINTR);
            if (fd < 0) return Fail(error, errno);
            fd_ = fd;
            ownsFd_ = true;
            return true;
        }
        if (symlink) {
            std::error_code ec;
            std::filesystem::path target = std::filesystem::canonical(path, ec);
            if (ec) return Fail(error, ec.value());
            path_ = target.string();
        }
    }
    if (path_.empty()) path_ = path;
    // A file to replace: its temporary file must be creatable beside it.
    const std::string temp = TempName(path_);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        path_.clear();
        return Fail(error, err);
    }
    ::close(fd);
    ::unlink(temp.c_str());
    return true;
}

void WholeFileWriter::OpenStandardOutput() {
    path_.clear();
    fd_ = STDOUT_FILENO;
    ownsFd_ = false;
}

bool WholeFileWriter::Commit(const std::string& text, std::string* error) {
    int err = 0;
    if (fd_ >= 0) {
        bool ok = WriteAll(fd_, text, &err);
        if (ownsFd_) {
            if (::close(fd_) != 0 && ok) ok = false, err = errno;
            ownsFd_ = false;
        }
        fd_ = -1;
        return ok || Fail(error, err);
    }
    if (path_.empty()) return Fail(error, EBADF);
    const std::string temp = TempName(path_);
    mode_t mode = 0666;
    struct stat st {};
    const bool existed = ::stat(path_.c_str(), &st) == 0;
    if (existed) mode = st.st_mode & 07777;
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return Fail(error, errno);
    bool ok = WriteAll(fd, text, &err);
    if (ok && existed) (void)::fchmod(fd, mode);  // the umask may have narrowed it; best effort
    if (::close(fd) != 0 && ok) ok = false, err = errno;
    if (ok && std::rename(temp.c_str(), path_.c_str()) != 0) ok = false, err = errno;
    if (!ok) {
        ::unlink(temp.c_str());
        return Fail(error, err);
    }
    return true;
}

bool WriteFileSafely(const std::string& path, const std::string& text, std::string* error) {
    WholeFileWriter writer;
    return writer.Open(path, error) && writer.Commit(text, error);
}
