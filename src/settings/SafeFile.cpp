// Safe replacement of a file: write a temporary file beside it, then rename it over the old one.
#include "SafeFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

bool WriteFileSafely(const std::string& path, const std::string& text, std::string* error) {
    namespace fs = std::filesystem;
    std::string temp = path + ".tmp~";
    {
        std::FILE* f = std::fopen(temp.c_str(), "wb");
        if (!f) {
            if (error) *error = std::strerror(errno);
            return false;
        }
        bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        int saved = errno;
        ok = (std::fflush(f) == 0) && ok;
        if (std::fclose(f) != 0) ok = false;
        if (!ok) {
            if (error) *error = std::strerror(saved ? saved : EIO);
            std::remove(temp.c_str());
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
        if (error) *error = ec.message();
        std::remove(temp.c_str());
        return false;
    }
    return true;
}
