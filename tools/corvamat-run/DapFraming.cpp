// Content-Length framing of Debug Adapter Protocol messages.
#include "DapFraming.h"

#include <algorithm>
#include <cctype>

void DapFrameReader::Feed(const char* data, size_t size) {
    if (skip_ > 0) {
        const size_t n = std::min(skip_, size);
        skip_ -= n;
        data += n;
        size -= n;
    }
    buffer_.append(data, size);
}

void DapFrameReader::Compact() {
    if (pos_ > 0 && (pos_ > 65536 || pos_ * 2 > buffer_.size())) {
        buffer_.erase(0, pos_);
        pos_ = 0;
    }
}

DapFrameReader::Frame DapFrameReader::Next() {
    Frame f;
    for (;;) {
        if (length_ < 0) {
            const size_t end = buffer_.find("\r\n\r\n", pos_);
            if (end == std::string::npos) {
                // A header never grows this long: drop what cannot become one, keep a tail that may.
                if (buffer_.size() - pos_ > 8192) {
                    pos_ = buffer_.size() - 3;
                    Compact();
                    f.status = Status::Malformed;
                    f.error = "a message header without its end (\\r\\n\\r\\n)";
                }
                return f;
            }
            const std::string header = buffer_.substr(pos_, end - pos_);
            pos_ = end + 4;
            Compact();
            long long length = -1;
            size_t lineStart = 0;
            while (lineStart <= header.size()) {
                size_t lineEnd = header.find("\r\n", lineStart);
                if (lineEnd == std::string::npos) lineEnd = header.size();
                const std::string line = header.substr(lineStart, lineEnd - lineStart);
                const size_t colon = line.find(':');
                if (colon != std::string::npos) {
                    std::string name = line.substr(0, colon);
                    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
                    if (name == "content-length") {
                        std::string value = line.substr(colon + 1);
                        value.erase(0, value.find_first_not_of(" \t"));
                        value.erase(value.find_last_not_of(" \t") + 1);
                        const bool digits = !value.empty() && value.size() <= 12 &&
                                            std::all_of(value.begin(), value.end(),
                                                        [](char c) { return c >= '0' && c <= '9'; });
                        length = digits ? std::stoll(value) : -2;
                    }
                }
                lineStart = lineEnd + 2;
            }
            if (length < 0) {
                f.status = Status::Malformed;
                f.error = length == -1 ? "a message header without Content-Length"
                                       : "a Content-Length that is not a number";
                return f;
            }
            if (size_t(length) > kMaxBody) {
                const size_t have = std::min(buffer_.size() - pos_, size_t(length));
                pos_ += have;
                skip_ = size_t(length) - have;
                Compact();
                f.status = Status::Malformed;
                f.error = "a message of " + std::to_string(length) + " bytes (at most " +
                          std::to_string(kMaxBody) + " are read)";
                return f;
            }
            length_ = length;
        }
        if (buffer_.size() - pos_ < size_t(length_)) return f;
        const std::string body = buffer_.substr(pos_, size_t(length_));
        pos_ += size_t(length_);
        length_ = -1;
        Compact();
        nlohmann::json j = nlohmann::json::parse(body, nullptr, false);
        if (j.is_discarded()) {
            f.status = Status::Malformed;
            f.error = "a message that is not JSON";
        } else if (!j.is_object()) {
            f.status = Status::Malformed;
            f.error = "a message that is not a JSON object";
        } else {
            f.status = Status::Message;
            f.message = std::move(j);
        }
        return f;
    }
}

std::string FrameMessage(const nlohmann::json& message) {
    const std::string body = message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
