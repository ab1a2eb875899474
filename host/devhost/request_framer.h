// One request at a time out of the bytes a connection brings: its head (the
// request line and the header lines) and its body, framed by Content-Length
// or by chunked transfer coding. The servers read whole requests with it
// before a worker takes them, so that every request is held to the same
// limits whichever way its body comes, and the bytes after a request are
// the next one's.
//
// What is refused, with the status to answer:
//   400  a line that is not "name: value" (folded, bare CR or LF, control
//        characters, space before the colon), two Content-Length headers or
//        one that is not a number, Content-Length beside Transfer-Encoding,
//        a chunk that does not read
//   413  a body, chunked or not, longer than maxBody
//   414  a request line longer than maxLine
//   415  a body in a Content-Encoding other than identity: a small
//        compressed body can grow past any limit once inflated
//   431  a header line longer than maxLine, more than maxHeaderLines of
//        them, or a head (trailers included) longer than maxHead
//   501  a Transfer-Encoding other than chunked
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Halden::devhost {

struct FramingLimits {
  std::size_t maxLine;  // bytes of one line, its CRLF included
  std::size_t maxHeaderLines;
  std::size_t maxHead;  // bytes of the whole head
  std::size_t maxBody;  // bytes of the body as decoded
};

// A whole request as the HTTP library reads it: the head with its lines as
// they came but Transfer-Encoding and "Expect: 100-continue" left out (the
// body is decoded and the continue answered here), Content-Length giving a
// chunked body's decoded length, and each '?' after the target's first
// written %3F (the library refuses a second one, which a query may hold).
struct FramedRequest {
  std::string head;  // request line, header lines, empty line
  std::string body;
  std::string target;  // as it came
  // The head's header lines, in order: names in lower case, values as sent
  // but for the blanks around them.
  std::vector<std::pair<std::string, std::string>> fields;
};

class RequestFramer {
 public:
  enum class Outcome { kNeedMore, kComplete, kRefused };

  explicit RequestFramer(const FramingLimits& limits) : limits(limits) {}

  // Reads on through `input`, taking from its front what it has read.
  // kComplete: Take() hands the request over and the framer starts on the
  // next; kRefused: Status() and Reason() say why, and the connection can
  // carry nothing more.
  Outcome Read(std::string& input);
  FramedRequest Take();

  // Whether the head has been read and the body is being read; the head
  // itself stays in the input until it is whole.
  bool PastHead() const { return stage != Stage::kHead; }
  // Bytes of the body decoded so far.
  std::size_t BodySize() const { return request.body.size(); }
  // True once, when the head asked for "100 Continue" and its body is
  // awaited: the server answers it then.
  bool TakeContinue();
  // The request line's method and target, once the line has come.
  const std::string& Method() const { return method; }
  const std::string& Target() const { return target; }
  int Status() const { return status; }
  const std::string& Reason() const { return reason; }

 private:
  enum class Stage { kHead, kBody, kChunkSize, kChunkData, kChunkEnd, kTrailers, kDone };

  // Reads the stages in turn from the front of `input`, taking what each
  // has read off the view.
  Outcome ReadStages(std::string_view& input);
  // Each reads what it can of its stage and moves to the next, or refuses.
  void ReadHead(std::string_view& input);
  // Takes the bytes of the body, or of a chunk, that have come, up to
  // `remaining`.
  void ReadBody(std::string_view& input);
  void ReadChunkSize(std::string_view& input);
  void ReadTrailers(std::string_view& input);
  void ParseHead(const std::string& head);
  // Keeps the line in the head unless the framing is decided by it; false
  // when refused.
  bool ParseHeader(std::string_view line);
  std::string BodyLimitText() const;
  void Refuse(int refusal, std::string why);

  FramingLimits limits;
  Stage stage = Stage::kHead;
  // Where the line being read begins in the input, and how many lines of
  // the head have come.
  std::size_t lineStart = 0;
  std::size_t lines = 0;
  std::size_t trailerBytes = 0;
  // Bytes of the body, or of the chunk, still to come.
  uint64_t remaining = 0;
  std::optional<uint64_t> contentLength;
  // The header values as one list each; a chunked body has its
  // Transfer-Encoding.
  std::string transferEncoding;
  std::string contentEncoding;
  bool expectsContinue = false;
  bool wantsContinue = false;
  std::string method;
  std::string target;
  FramedRequest request;
  int status = 0;
  std::string reason;
};

}  // namespace Halden::devhost
