// The adapter's message reader: messages in any pieces, and a bad message that never ends the
// reading.
#include <gtest/gtest.h>

#include <string>

#include "DapFraming.h"

namespace {

std::string Framed(const std::string& body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

TEST(DapFraming, MessagesInAnyPiecesAndBadOnesBetweenThem) {
    DapFrameReader r;
    // Byte by byte, then two in one piece.
    const std::string one = Framed(R"({"seq":1,"command":"a"})");
    for (char c : one) r.Feed(&c, 1);
    auto f = r.Next();
    ASSERT_EQ(f.status, DapFrameReader::Status::Message);
    EXPECT_EQ(f.message["command"], "a");
    EXPECT_EQ(r.Next().status, DapFrameReader::Status::None);

    const std::string stream = Framed(R"({"command":"b"})") + "X-Other: 1\r\ncontent-length:  15 \r\n\r\n" +
                               R"({"command":"c"})" + Framed("[1,2]") + Framed("{bad") +
                               "Content-Type: json\r\n\r\n" + "Content-Length: 16777217\r\n\r\n";
    r.Feed(stream.data(), stream.size());
    // The refused body's bytes are skipped as they come, never kept; the message after them is read.
    const std::string block(65536, 'x');
    for (int i = 0; i < 256; ++i) r.Feed(block.data(), block.size());
    const std::string last = "x" + Framed(R"({"command":"d"})");
    r.Feed(last.data(), last.size());
    std::vector<std::string> seen;
    for (f = r.Next(); f.status != DapFrameReader::Status::None; f = r.Next())
        seen.push_back(f.status == DapFrameReader::Status::Message ? f.message["command"].get<std::string>()
                                                                   : "error: " + f.error);
    EXPECT_EQ(seen, (std::vector<std::string>{"b", "c", "error: a message that is not a JSON object",
                                              "error: a message that is not JSON",
                                              "error: a message header without Content-Length",
                                              "error: a message of 16777217 bytes (at most 16777216 are read)",
                                              "d"}));
}
