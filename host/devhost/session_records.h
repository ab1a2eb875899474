// The records of a session at the plugin's boundary, as `zvm-devhost
// --record FILE` writes them and `zvm-devhost --replay FILE` reads them: one
// JSON object a line, each with its "step" (from 1), its "time" (seconds
// since the recording began) and its "kind". What the plugin does carries
// "during": the step of the host's action it did it in.
//
// The host's actions, which a replay plays again:
//   initialize  the library loaded, registered and initialized
//   call        {"method", "path", "headers": [[name, value], ...],
//               "contentType", "body"}: a call of the plugin's API table
//   deliver     {"name", "eventKind", "payload": <JSON>}: an event delivered
//   shutdown    the plugin shut down (and its library unloaded)
// What the plugin does, which a replay compares with what it did:
//   initialized {"ok", "plugin": "<name> <version>", "subscriptions":
//               [[name, kind], ...]}: Initialize's result
//   response    {"found", "status", "error", "errorText", "contentType",
//               "headers", "json": <JSON>, "body": <streamed bytes>}: a
//               call's answer
//   read        {"method", "url", "parameters": <JSON>, "answer": {"status",
//               "json": <JSON> | "error" | "body": <streamed bytes>}}: a
//               request to the host's local API, with the host's answer
//   external    {"method", "url", "headers", "body", "timeout", "further",
//               "answer": {"transport", "status", "headers", "body"}}: an
//               external request, with the host's answer
//   send        {"name", "eventKind", "payload": <JSON>}: an event sent
//   log         {"level", "text"}: a line logged
// A body that is not UTF-8 is written "bodyHex" instead of "body".
#pragma once

#include <string>
#include <vector>

#include "binding/property.h"
#include "host/host_records.h"

namespace Halden::devhost {

BindingProperty CallRecord(const host::CallRequest& request);
BindingProperty ResponseRecord(const host::CallResponse& response);
BindingProperty DeliverRecord(const std::string& name, uint32_t kind,
                              const BindingProperty& payload);
BindingProperty ReadRecord(const host::RecordedRequest& request,
                           const host::ResourceAnswer& answer);
BindingProperty ExternalRecord(const host::ExternalCall& call, const host::ExternalAnswer& answer);
BindingProperty SentRecord(const host::SentEvent& event);
BindingProperty LogRecord(const host::LoggedLine& line);
// Just {"kind": `kind`}: initialize and shutdown.
BindingProperty ActionRecord(const char* kind);
// Initialize's result: whether it succeeded, the plugin's name and version,
// and the subscriptions it made.
BindingProperty InitializedRecord(bool ok, const PluginRegistration& plugin,
                                  const std::vector<host::HostSubscription>& subscriptions);

// What a replay plays from the records above.
host::CallRequest CallFromRecord(const BindingProperty& record);
host::ResourceAnswer ReadAnswerFromRecord(const BindingProperty& record);
host::ExternalAnswer ExternalAnswerFromRecord(const BindingProperty& record);

}  // namespace Halden::devhost
