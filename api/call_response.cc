#include "api/call_response.h"

#include <cstring>
#include <memory>
#include <new>

#include "binding/host_value_conversion.h"

namespace Halden {
namespace {

// Stand in for a message that could not be copied and for an empty text,
// which most content types are; never freed.
const char kOutOfMemory[] = "Out of memory";
const char kNoText[] = "";

char* CopyText(const std::string& text) {
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

const char* TextOrNone(const std::string& text) { return text.empty() ? kNoText : CopyText(text); }

// Packed fields are passed by value: a reference to one may be misaligned.
void FreeText(const char* text) {
  if (text != kOutOfMemory && text != kNoText) delete[] text;
}

// What the host's stream handle points at.
struct StreamBox {
  std::shared_ptr<ResponseStream> stream;
};

bool ZVM_CDECL ReadStream(void* handle, char* buffer, uint32_t* length, bool* moreData) {
  if (handle == nullptr || buffer == nullptr || length == nullptr || moreData == nullptr) {
    return false;
  }
  try {
    return static_cast<StreamBox*>(handle)->stream->Read(buffer, length, moreData);
  } catch (...) {
    return false;
  }
}

// The stream stays alive until the response is released.
void ZVM_CDECL CloseStream(void*) {}

}  // namespace

void WriteCallResponse(JsonApiResponse& response, ApiResponse& result,
                       const BindingRegistry* registry) {
  response.release = &ReleaseCallResponse;
  bool converted = true;
  if (result.IsError()) {
    response.errorText = CopyText(result.result.Error());
    response.errorFlag = 1;
  } else if (result.hostValue.Held()) {
    response.body = result.hostValue.Give();
  } else if (!PropertyToHostValue(result.result, response.body, registry)) {
    converted = false;
    response.errorText = CopyText("Response body nests too deeply to be sent");
    response.errorFlag = 1;
  }
  response.kind = result.kind;
  response.status = converted ? result.status : 400;
  response.contentType = TextOrNone(result.contentType);
  if (!result.headers.empty()) {
    auto* pairs = new HostHeaderPair[result.headers.size()]();
    response.headers = pairs;
    response.headerCount = static_cast<uint32_t>(result.headers.size());
    for (const auto& [name, value] : result.headers) {
      pairs->name = CopyText(name);
      pairs->value = CopyText(value);
      ++pairs;
    }
  }
  if (result.stream != nullptr) {
    response.streamHandle = new StreamBox{result.stream};
    response.streamRead = &ReadStream;
    response.streamClose = &CloseStream;
    response.expectedLength = result.stream->ExpectedLength();
  }
}

void WriteCallError(JsonApiResponse& response, uint32_t status,
                    const std::string& message) noexcept {
  ReleaseCallResponse(&response);
  response.release = &ReleaseCallResponse;
  response.status = status;
  response.errorFlag = 1;
  try {
    response.errorText = CopyText(message);
  } catch (...) {
    response.errorText = kOutOfMemory;
  }
}

void ZVM_CDECL ReleaseCallResponse(JsonApiResponse* response) {
  if (response == nullptr) return;
  ReleaseHostValue(response->body);
  FreeText(response->errorText);
  response->errorText = nullptr;
  FreeText(response->contentType);
  response->contentType = nullptr;
  if (response->headers != nullptr) {
    const HostHeaderPair* pairs = response->headers;
    for (uint32_t i = 0; i < response->headerCount; ++i) {
      FreeText(pairs[i].name);
      FreeText(pairs[i].value);
    }
    delete[] pairs;
  }
  response->headers = nullptr;
  response->headerCount = 0;
  delete static_cast<StreamBox*>(response->streamHandle);
  response->streamHandle = nullptr;
  response->streamRead = nullptr;
  response->streamClose = nullptr;
  response->expectedLength = 0;
}

}  // namespace Halden
