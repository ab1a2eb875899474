#include "host/devhost/request_framer.h"

#include <algorithm>
#include <string_view>

#include "util/ascii_case.h"

namespace Halden::devhost {
namespace {

bool IsControl(char c) { return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f; }

// The characters of a header name (a token).
bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = LowerAscii(c);
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

}  // namespace

RequestFramer::Outcome RequestFramer::Read(std::string& input) {
  // The input gives up what was read once, not once a line or chunk: a
  // client's many small pieces would each move the rest of it.
  std::string_view unread = input;
  const Outcome outcome = ReadStages(unread);
  input.erase(0, input.size() - unread.size());
  return outcome;
}

RequestFramer::Outcome RequestFramer::ReadStages(std::string_view& input) {
  while (status == 0) {
    const Stage before = stage;
    switch (stage) {
      case Stage::kHead:
        ReadHead(input);
        break;
      case Stage::kBody:
      case Stage::kChunkData:
        ReadBody(input);
        break;
      case Stage::kChunkSize:
        ReadChunkSize(input);
        break;
      case Stage::kChunkEnd:
        if (input.size() < 2) break;
        if (!input.starts_with("\r\n")) {
          Refuse(400, "A chunk of the body does not end where its size says");
          break;
        }
        input.remove_prefix(2);
        stage = Stage::kChunkSize;
        break;
      case Stage::kTrailers:
        ReadTrailers(input);
        break;
      case Stage::kDone:
        return Outcome::kComplete;
    }
    if (stage == before && status == 0) return Outcome::kNeedMore;
  }
  return Outcome::kRefused;
}

FramedRequest RequestFramer::Take() {
  if (!transferEncoding.empty()) {
    const std::string length = std::to_string(request.body.size());
    request.head += "Content-Length: " + length + "\r\n";
    request.fields.emplace_back("content-length", length);
  }
  request.head += "\r\n";
  FramedRequest taken = std::move(request);
  *this = RequestFramer(limits);
  return taken;
}

bool RequestFramer::TakeContinue() {
  const bool wanted = wantsContinue;
  wantsContinue = false;
  return wanted;
}

void RequestFramer::ReadHead(std::string_view& input) {
  for (;;) {
    const std::size_t end = input.find("\r\n", lineStart);
    const std::size_t length = (end == std::string_view::npos ? input.size() : end + 2) - lineStart;
    if (length > limits.maxLine) {
      if (lines == 0) {
        Refuse(414, "The request line is longer than " + std::to_string(limits.maxLine) + " bytes");
      } else {
        Refuse(431, "A header line is longer than " + std::to_string(limits.maxLine) + " bytes");
      }
      return;
    }
    if (lineStart + length > limits.maxHead) {
      Refuse(431, "The request head is longer than " + std::to_string(limits.maxHead) + " bytes");
      return;
    }
    if (end == std::string_view::npos) return;
    if (end == lineStart && lines == 0) {
      // An empty line before a request is tolerated.
      input.remove_prefix(2);
      continue;
    }
    if (end == lineStart) break;
    if (++lines > limits.maxHeaderLines + 1) {
      Refuse(431, "The request has more than " + std::to_string(limits.maxHeaderLines) +
                      " header lines");
      return;
    }
    lineStart = end + 2;
  }
  const std::string head(input.substr(0, lineStart));
  input.remove_prefix(lineStart + 2);
  lineStart = 0;
  ParseHead(head);
}

void RequestFramer::ParseHead(const std::string& head) {
  std::string_view rest = head;
  const std::string_view requestLine = rest.substr(0, rest.find("\r\n"));
  rest.remove_prefix(requestLine.size() + 2);
  for (const char c : requestLine) {
    if (IsControl(c) || c == '\t') {
      Refuse(400, "The request line holds a control character");
      return;
    }
  }
  method = requestLine.substr(0, requestLine.find(' '));
  const std::string_view afterMethod =
      requestLine.substr(std::min(requestLine.size(), method.size() + 1));
  target = afterMethod.substr(0, afterMethod.find(' '));
  request.target = target;
  const std::size_t query = requestLine.find('?');
  request.head.assign(requestLine.substr(0, query));
  for (std::size_t at = query; at < requestLine.size(); ++at) {
    const bool later = requestLine[at] == '?' && at != query;
    request.head += later ? std::string_view("%3F") : requestLine.substr(at, 1);
  }
  request.head += "\r\n";

  while (!rest.empty()) {
    const std::string_view line = rest.substr(0, rest.find("\r\n"));
    rest.remove_prefix(line.size() + 2);
    if (!ParseHeader(line)) return;
  }
  if (!transferEncoding.empty()) {
    if (contentLength) {
      Refuse(400, "The request has both Content-Length and Transfer-Encoding");
      return;
    }
    if (LowerAscii(transferEncoding) != "chunked") {
      Refuse(501, "Transfer-Encoding '" + transferEncoding +
                      "' is not supported: send the body with Content-Length, or chunked");
      return;
    }
    stage = Stage::kChunkSize;
  } else if (contentLength && *contentLength > limits.maxBody) {
    Refuse(413, BodyLimitText());
    return;
  } else {
    remaining = contentLength.value_or(0);
    stage = remaining > 0 ? Stage::kBody : Stage::kDone;
  }
  if (stage != Stage::kDone && !contentEncoding.empty() &&
      LowerAscii(contentEncoding) != "identity") {
    Refuse(415, "Content-Encoding '" + contentEncoding +
                    "' is not accepted: send the body as it is, unencoded");
    return;
  }
  wantsContinue = expectsContinue && stage != Stage::kDone;
}

bool RequestFramer::ParseHeader(std::string_view line) {
  if (line.front() == ' ' || line.front() == '\t') {
    Refuse(400, "A header line is folded onto the next");
    return false;
  }
  const std::size_t colon = line.find(':');
  const std::string_view name = line.substr(0, colon);
  bool readable = colon != std::string_view::npos && colon > 0;
  for (std::size_t i = 0; readable && i < name.size(); ++i) readable = IsNameCharacter(name[i]);
  if (!readable) {
    Refuse(400, "A header line is not 'name: value'");
    return false;
  }
  const std::string_view value = Trim(line.substr(colon + 1));
  for (const char c : value) {
    if (IsControl(c)) {
      Refuse(400, "The value of the header " + std::string(name) + " holds a control character");
      return false;
    }
  }
  const std::string lower = LowerAscii(name);
  // Both ways a body's framing can be written are decided here, and each
  // list header may come in several lines.
  auto join = [&](std::string& list) { list += (list.empty() ? "" : ", ") + std::string(value); };
  if (lower == "transfer-encoding") {
    join(transferEncoding);
    return true;
  }
  if (lower == "expect" && LowerAscii(value) == "100-continue") {
    expectsContinue = true;
    return true;
  }
  if (lower == "content-encoding") join(contentEncoding);
  if (lower == "content-length") {
    uint64_t length = 0;
    bool digits = !contentLength && !value.empty() && value.size() <= 18;
    for (std::size_t i = 0; digits && i < value.size(); ++i) {
      digits = value[i] >= '0' && value[i] <= '9';
      length = length * 10 + static_cast<uint64_t>(value[i] - '0');
    }
    if (!digits) {
      Refuse(400, contentLength ? "The request has two Content-Length headers"
                                : "Content-Length is not a number of bytes");
      return false;
    }
    contentLength = length;
  }
  request.head.append(line);
  request.head += "\r\n";
  request.fields.emplace_back(lower, value);
  return true;
}

void RequestFramer::ReadBody(std::string_view& input) {
  const std::size_t taken = static_cast<std::size_t>(std::min<uint64_t>(remaining, input.size()));
  request.body.append(input.substr(0, taken));
  input.remove_prefix(taken);
  remaining -= taken;
  if (remaining == 0) stage = stage == Stage::kBody ? Stage::kDone : Stage::kChunkEnd;
}

void RequestFramer::ReadChunkSize(std::string_view& input) {
  const std::size_t end = input.find("\r\n");
  if (end == std::string_view::npos) {
    if (input.size() > limits.maxLine) Refuse(400, "A chunk's size line does not end");
    return;
  }
  uint64_t size = 0;
  std::size_t i = 0;
  for (; i < end && HexDigit(input[i]) >= 0; ++i) {
    size = size * 16 + static_cast<uint64_t>(HexDigit(input[i]));
    if (size > limits.maxBody - request.body.size()) {
      Refuse(413, BodyLimitText());
      return;
    }
  }
  // Extensions after ";" are allowed and ignored.
  const std::string_view after = Trim(input.substr(i, end - i));
  if (i == 0 || !(after.empty() || after.front() == ';')) {
    Refuse(400, "A chunk's size is not a hexadecimal number");
    return;
  }
  input.remove_prefix(end + 2);
  remaining = size;
  stage = size > 0 ? Stage::kChunkData : Stage::kTrailers;
}

void RequestFramer::ReadTrailers(std::string_view& input) {
  for (;;) {
    const std::size_t end = input.find("\r\n");
    const std::size_t length = end == std::string_view::npos ? input.size() : end + 2;
    if (trailerBytes + length > limits.maxHead) {
      Refuse(431, "The trailers of the body are longer than " + std::to_string(limits.maxHead) +
                      " bytes");
      return;
    }
    if (end == std::string_view::npos) return;
    input.remove_prefix(end + 2);
    if (end == 0) break;
    trailerBytes += length;
  }
  stage = Stage::kDone;
}

std::string RequestFramer::BodyLimitText() const {
  return "The request body exceeds the limit of " + std::to_string(limits.maxBody) + " bytes";
}

void RequestFramer::Refuse(int refusal, std::string why) {
  status = refusal;
  reason = std::move(why);
}

}  // namespace Halden::devhost
