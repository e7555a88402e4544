// Debug Adapter Protocol framing: messages of "Content-Length: N\r\n\r\n" followed by N bytes of
// JSON, read from a byte stream that arrives in any pieces, and written the same way.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

// Collects the bytes of standard input and cuts them into messages. A header without a usable
// Content-Length, a body that is not JSON or not an object, and a body larger than the limit are
// reported one by one as malformed, and reading goes on after them: one bad message never ends
// the session.
class DapFrameReader {
public:
    // Bodies larger than this are refused (the bytes are skipped, not kept).
    static constexpr size_t kMaxBody = 16u << 20;

    void Feed(const char* data, size_t size);

    enum class Status { None, Message, Malformed };
    struct Frame {
        Status status = Status::None;
        nlohmann::json message;  // an object, for Status::Message
        std::string error;       // for Status::Malformed
    };
    // The next complete message, or Status::None when more bytes are needed.
    Frame Next();

private:
    std::string buffer_;
    size_t pos_ = 0;         // start of the unread bytes in buffer_
    size_t skip_ = 0;        // bytes of a refused body still to be dropped
    long long length_ = -1;  // Content-Length of the body being read, -1 while in a header

    void Compact();
};

// The framed text of a message. Texts that are not valid UTF-8 never throw: invalid bytes are
// replaced.
std::string FrameMessage(const nlohmann::json& message);
