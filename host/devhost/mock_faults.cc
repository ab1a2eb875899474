#include "host/devhost/mock_faults.h"

#include <algorithm>
#include <iterator>

namespace Halden::devhost {
namespace {

constexpr std::pair<const char*, MockFault::Answer> kAnswers[] = {
    {"status", MockFault::Answer::kStatus},
    {"not-json", MockFault::Answer::kNotJson},
    {"close", MockFault::Answer::kClose},
    {"hang", MockFault::Answer::kHang},
    {"refuse-token", MockFault::Answer::kRefuseToken}};

bool ReadFault(const BindingProperty& value, MockFault& fault, std::string& error) {
  if (value.GetKind() != BindingPropertyKind::Structure) {
    error = "is not an object";
    return false;
  }
  for (const auto& [name, member] : value.Members()) {
    if (name != "delay" && name != "answer" && name != "status" && name != "body") {
      error = "has an unknown member '" + name + "'; it takes delay, answer, status and body";
      return false;
    }
  }
  const BindingProperty& delay = value.Find("delay");
  if (!delay.IsEmpty()) {
    if (delay.GetKind() != BindingPropertyKind::Unsigned ||
        delay.GetUnsigned() > static_cast<uint64_t>(kMaxDelay.count())) {
      error = "has a delay that is not a number of milliseconds up to " +
              std::to_string(kMaxDelay.count());
      return false;
    }
    fault.delay = std::chrono::milliseconds(delay.GetUnsigned());
  }
  const BindingProperty& answer = value.Find("answer");
  if (!answer.IsEmpty()) {
    const auto found =
        std::find_if(std::begin(kAnswers), std::end(kAnswers), [&](const auto& kind) {
          return answer.GetKind() == BindingPropertyKind::String &&
                 answer.GetString() == kind.first;
        });
    if (found == std::end(kAnswers)) {
      error = "has an answer that is none of status, not-json, close, hang and refuse-token";
      return false;
    }
    fault.answer = found->second;
  }
  const BindingProperty& status = value.Find("status");
  const BindingProperty& body = value.Find("body");
  if (fault.answer == MockFault::Answer::kStatus) {
    if (status.GetKind() != BindingPropertyKind::Unsigned || status.GetUnsigned() < 100 ||
        status.GetUnsigned() > 599) {
      error = "answers a status without one from 100 to 599";
      return false;
    }
    if (!body.IsEmpty() && body.GetKind() != BindingPropertyKind::String) {
      error = "has a body that is not a text";
      return false;
    }
    fault.status = static_cast<int>(status.GetUnsigned());
    fault.body = body.ToText();
  } else if (!status.IsEmpty() || !body.IsEmpty()) {
    error = "has a status or body but does not answer \"status\"";
    return false;
  }
  return true;
}

}  // namespace

bool ApplyMockFaults(const BindingProperty& document, std::map<std::string, MockFault>& faults,
                     std::string& error) {
  if (document.GetKind() != BindingPropertyKind::Structure) {
    error = "Expected an object of faults by endpoint";
    return false;
  }
  std::map<std::string, MockFault> applied = faults;
  for (const auto& [endpoint, value] : document.Members()) {
    if (std::find(std::begin(kFaultEndpoints), std::end(kFaultEndpoints), endpoint) ==
        std::end(kFaultEndpoints)) {
      error = "No endpoint '" + endpoint +
              "' takes faults; these do: GET /v1/account/status, PUT /v1/account/email, "
              "POST /v1/account/email/verification";
      return false;
    }
    if (value.IsEmpty() ||
        (value.GetKind() == BindingPropertyKind::Structure && value.Size() == 0)) {
      applied.erase(endpoint);
      continue;
    }
    MockFault fault;
    if (!ReadFault(value, fault, error)) {
      error = "The fault of " + endpoint + " " + error;
      return false;
    }
    applied[endpoint] = fault;
  }
  faults = std::move(applied);
  return true;
}

BindingProperty MockFaultsJson(const std::map<std::string, MockFault>& faults) {
  BindingProperty document;
  document.MakeStructure();
  for (const auto& [endpoint, fault] : faults) {
    BindingProperty& value = document.Member(endpoint);
    value.MakeStructure();
    if (fault.delay.count() > 0) value.Member("delay").SetUnsigned(fault.delay.count());
    for (const auto& [name, answer] : kAnswers) {
      if (answer == fault.answer) value.Member("answer").SetString(name);
    }
    if (fault.answer == MockFault::Answer::kStatus) {
      value.Member("status").SetUnsigned(fault.status);
      value.Member("body").SetString(fault.body);
    }
  }
  return document;
}

}  // namespace Halden::devhost
