// Temporary files for loader and export tests, removed when the test ends.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

class TempDir {
public:
    TempDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("corvamat-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string Write(const std::string& name, const std::string& bytes) const {
        auto p = (path_ / name).string();
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::string Read(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
    static inline int counter_ = 0;
};
