// The ways the mock email-verification service misbehaves on demand, per
// endpoint, as the configuration file (its "faults"), POST /_host/faults
// and the console set them:
//
//   {"GET /v1/account/status": {"delay": 1500},
//    "PUT /v1/account/email": {"answer": "status", "status": 503,
//                              "body": "Down for maintenance"},
//    "POST /v1/account/email/verification": {"answer": "close"}}
//
// "delay" (milliseconds, up to kMaxDelay) holds the answer back first;
// "answer" is one of
//   status        "status" (100 to 599) with "body" (a text, sent as JSON
//                 when it reads as JSON)
//   not-json      200 with an HTML page where JSON belongs
//   close         the connection closed before any answer
//   hang          no answer at all: the client gives up at its time-out
//   refuse-token  401, as for a token the service does not know
// and is left out for the usual answer. A null or an empty object clears
// the endpoint's fault.
#pragma once

#include <chrono>
#include <map>
#include <string>

#include "binding/property.h"

namespace Halden::devhost {

struct MockFault {
  enum class Answer { kUsual, kStatus, kNotJson, kClose, kHang, kRefuseToken };
  std::chrono::milliseconds delay{0};
  Answer answer = Answer::kUsual;
  int status = 0;
  std::string body;
};

inline constexpr std::chrono::milliseconds kMaxDelay{10 * 60 * 1000};

// The endpoints that take faults, as the keys above name them.
inline constexpr const char* kFaultEndpoints[] = {"GET /v1/account/status", "PUT /v1/account/email",
                                                  "POST /v1/account/email/verification"};

// Applies a document of faults to `faults`: sets the fault of each endpoint
// it names, and clears those it names with null or {}. False with `error`
// set, naming the endpoint and what is wrong, when any part of it does not
// read; `faults` is then left as it was.
bool ApplyMockFaults(const BindingProperty& document, std::map<std::string, MockFault>& faults,
                     std::string& error);

// The faults in the form above.
BindingProperty MockFaultsJson(const std::map<std::string, MockFault>& faults);

}  // namespace Halden::devhost
