#include "host/devhost/request_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace Halden::devhost {
namespace {

constexpr FramingLimits kLimits = {64, 4, 200, 16};

struct Read {
  int status = 0;  // 0: complete
  std::string reason;
  FramedRequest request;
  std::string left;
  bool continued = false;
};

// Reads `input` given all at once, or one byte at a time as a slow client sends it.
Read Frame(const std::string& input, bool byByte) {
  RequestFramer framer(kLimits);
  Read read;
  std::string pending;
  for (std::size_t at = 0; at < input.size();) {
    const std::size_t count = byByte ? 1 : input.size();
    pending.append(input, at, count);
    at += count;
    const RequestFramer::Outcome outcome = framer.Read(pending);
    read.continued |= framer.TakeContinue();
    if (outcome == RequestFramer::Outcome::kRefused) {
      read.status = framer.Status();
      read.reason = framer.Reason();
      return read;
    }
    if (outcome == RequestFramer::Outcome::kComplete) {
      read.request = framer.Take();
      read.left = pending + input.substr(at);
      return read;
    }
  }
  read.status = -1;  // still waiting
  return read;
}

TEST(RequestFramer, FramesOrRefusesWhateverWayTheBytesCome) {
  const std::string post = "POST /m HTTP/1.1\r\n", get = "GET / HTTP/1.1\r\n\r\n";
  const std::string length = post + "Content-Length: ";
  const std::string chunked = post + "Transfer-Encoding: chunked\r\n\r\n";
  const std::string v55(55, 'v');
  // A head of 200 bytes, the most it may have.
  const std::string fullHead = post + "X: " + v55 + "\r\nY: " + v55 + "\r\nZ: " + v55 + "\r\n\r\n";
  // More than a head may hold, of the next request.
  const std::string next(201, 'x');
  const std::string fourLines = post + "A: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n\r\n";
  struct Case {
    std::string input;
    int status;
    std::string head = "";  // complete: the head the library reads; refused: the reason
    const char* body = "";
    std::string left = "";
    bool continued = false;  // 100 Continue answered
  } cases[] = {
      {"GET / HTTP/1.1\r\nHost: h\r\nX-9: a\r\n\r\n", 0,
       "GET / HTTP/1.1\r\nHost: h\r\nX-9: a\r\n\r\n"},
      // The library reads one '?' in a target; the request keeps its own.
      {"GET /a?b=?&c=d? HTTP/1.1\r\n\r\n", 0, "GET /a?b=%3F&c=d%3F HTTP/1.1\r\n\r\n"},
      // An empty line before a request, and the next request after it.
      {"\r\n" + get + "GET /b HTTP/1.1\r\n\r\n", 0, get, "", "GET /b HTTP/1.1\r\n\r\n"},
      {length + "3 \r\n\r\nabcGET", 0, length + "3 \r\n\r\n", "abc", "GET"},
      {chunked + "3\r\nabc\r\n2;ext=1\r\nde\r\n0\r\nTrailer: t\r\n\r\nX", 0, length + "5\r\n\r\n",
       "abcde", "X"},
      {length + "000000000000000001\r\n\r\nz", 0, length + "000000000000000001\r\n\r\n", "z"},
      {length + "0000000000000000001\r\n\r\nz", 400},
      {post + "Expect: 100-Continue\r\nContent-Length: 1\r\n\r\nz", 0, length + "1\r\n\r\n", "z",
       "", true},
      // No body awaited, no 100 Continue.
      {"GET / HTTP/1.1\r\nExpect: 100-continue\r\n\r\n", 0, get},
      // The body's limit, however the body comes.
      {length + "17\r\n\r\n", 413, "The request body exceeds the limit of 16 bytes"},
      {chunked + "10\r\n" + std::string(16, 'b') + "\r\n0\r\n\r\n", 0, length + "16\r\n\r\n",
       "bbbbbbbbbbbbbbbb"},
      {chunked + "6\r\nabcdef\r\nB\r\n", 413},
      {chunked + "fffffffffffffffffffff\r\n", 413},
      {post + "Content-Encoding: gzip\r\nContent-Length: 2\r\n\r\n", 415},
      {post + "Content-Encoding: gzip\r\nContent-Length: 17\r\n\r\n", 413},
      {post + "Transfer-Encoding: gzip, chunked\r\n\r\n", 501},
      {post + "Transfer-Encoding: br\r\n\r\n", 501,
       "Transfer-Encoding 'br' is not supported: send the body with Content-Length, or chunked"},
      // The head's limits: line length, line count, size.
      {"GET /" + std::string(70, 'a') + " HTTP/1.1\r\n", 414},
      {post + "X: " + std::string(70, 'a'), 431},
      {post + "A: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\nE: 5\r\nContent-Length: +1\r\n\r\n", 431,
       "The request has more than 4 header lines"},
      {fullHead, 0, fullHead},
      {fourLines, 0, fourLines},
      {post + "Q" + fullHead.substr(post.size()), 431},
      // The first refusal holds, whatever follows it.
      {post + "X: " + v55 + "\r\nY: " + v55 + "\r\nZ: " + v55 + "QQQ\r\nbad\r\n\r\n", 431,
       "The request head is longer than 200 bytes"},
      // Trailers count by their own bytes: 200 pass (the limit), 201 do not.
      {chunked + "0\r\nT: " + std::string(193, 't') + "\r\n\r\n" + next, 0, length + "0\r\n\r\n",
       "", next},
      {chunked + "0\r\nT: " + std::string(61, 't') + "\r\nU: " + std::string(61, 'u') +
           "\r\nV: " + std::string(62, 'v') + "\r\n\r\n",
       431},
      // Lines that two readers could take apart differently.
      {length + "1\r\nTransfer-Encoding: chunked\r\n\r\n", 400},
      {length + "1\r\nContent-Length: 1\r\n\r\n", 400},
      {length + "+1\r\n\r\n", 400},
      {post + "X: a\nContent-Length: 1\r\n\r\n", 400},
      {post + "Content-Length : 1\r\n\r\n", 400},
      {post + "X: a\r\n continued\r\nX a\r\n\r\n", 400, "A header line is folded onto the next"},
      {post + "X a\r\nContent-Length: 17\r\n\r\n", 400, "A header line is not 'name: value'"},
      {post + "X: a\x7f\r\nContent-Length: x\r\n\r\n", 400,
       "The value of the header X holds a control character"},
      // Refused at the request line, whatever comes after it.
      {std::string("GET /a\0b", 8) + " HTTP/1.1\r\nContent-Length: 11\r\n\r\n", 400,
       "The request line holds a control character"},
      {chunked + "x\r\n", 400},
      {chunked + ";x\r\n", 400, "A chunk's size is not a hexadecimal number"},
      {chunked + std::string(64, '0'), -1},  // still waiting for its end
      {chunked + std::string(70, '0'), 400, "A chunk's size line does not end"},
      {chunked + "1\r\nab\r\n", 400},
      {chunked + "1\r\nab\r", 400},
  };
  for (const Case& c : cases) {
    for (const bool byByte : {false, true}) {
      const Read read = Frame(c.input, byByte);
      SCOPED_TRACE(c.input + (byByte ? " (byte by byte)" : ""));
      EXPECT_EQ(std::tie(read.status, read.continued), std::tie(c.status, c.continued))
          << read.reason;
      if (c.status != 0) {
        EXPECT_TRUE(c.head.empty() || read.reason == c.head) << read.reason;
      } else {
        EXPECT_EQ(std::tie(read.request.head, read.request.body, read.left),
                  std::tie(c.head, c.body, c.left));
      }
    }
  }
  EXPECT_EQ(Frame("GET /a?b=?&c=d? HTTP/1.1\r\n\r\n", false).request.target, "/a?b=?&c=d?");
}

}  // namespace
}  // namespace Halden::devhost
