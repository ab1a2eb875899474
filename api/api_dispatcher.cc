#include "api/api_dispatcher.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "api/api_response.h"
#include "api/call_binding.h"
#include "api/call_response.h"
#include "api/method.h"
#include "binding/host_value_conversion.h"
#include "binding/message_pack_reader.h"
#include "formats/content_type.h"
#include "formats/json_host_tree.h"
#include "formats/json_to_property.h"
#include "formats/yaml_to_property.h"
#include "util/ascii_case.h"
#include "util/format.h"

namespace Halden {
namespace {

const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

// The body as the function's body parameter receives it, in the `format`
// of the call's content type. Texts are read within the body's bytes and end
// at a NUL among them.
BindingResult ReadBody(const ApiCallRecord& call, BodyFormat format, InputQuoting quoting) {
  const char* bytes = reinterpret_cast<const char*>(call.body);
  const std::size_t length = call.bodyLength;
  BindingResult body;
  switch (format) {
    case BodyFormat::MessagePack: {
      uint32_t position = 0;
      body = ReadMessagePack(call.body, call.bodyLength, position);
      if (body.Ok() && position != call.bodyLength) {
        body.SetError("Extra MessgePack data found in body");
      }
      return body;
    }
    case BodyFormat::Json:
      return JsonToProperty(std::string(bytes, length).c_str());
    case BodyFormat::Yaml:
      return YamlToProperty(bytes, strnlen(bytes, length), quoting);
    default:
      body.SetError("Unsupported body content type");
      return body;
  }
}

// Parameters located in the headers (or anywhere) whose lower-cased name
// is the name of a header, with the header's value. Header names are taken
// as the host gives them; a later pair of one name replaces an earlier one.
std::map<std::string, std::string> HeaderArguments(const ApiCallRecord& call,
                                                   const BindingFunctionDescriptor& function,
                                                   const std::vector<uint32_t>& locations) {
  std::map<std::string, std::string> arguments;
  if (call.headers == nullptr || call.headerCount == 0) return arguments;
  std::map<std::string, std::string, std::less<>> headers;
  for (uint32_t h = 0; h < call.headerCount; ++h) {
    if (call.headers[h].name == nullptr) continue;
    headers[call.headers[h].name] = TextOrEmpty(call.headers[h].value);
  }
  for (std::size_t i = 0; i < function.arguments.size(); ++i) {
    const uint32_t location = i < locations.size() ? locations[i] : kLocationAny;
    if (location != kLocationAny && location != kLocationHeader) continue;
    const auto found = headers.find(LowerAscii(function.arguments[i].name));
    if (found != headers.end()) arguments[function.arguments[i].name] = found->second;
  }
  return arguments;
}

// The host's explicit arguments, by name or by position after the values
// captured from the path, converted into their parameters' values.
void BindExplicitArguments(BindingResult& outcome, std::vector<BindingProperty>& arguments,
                           const ApiCallRecord& call, const BindingFunctionDescriptor& function,
                           std::size_t captureCount) {
  const std::size_t count = function.arguments.size();
  for (uint32_t a = 0; a < call.argumentCount && call.arguments != nullptr && outcome.Ok(); ++a) {
    const HostParameter& argument = call.arguments[a];
    std::size_t index = count;
    std::string name;
    if (argument.name != nullptr) {
      name = argument.name;
      for (std::size_t i = 0; i < count; ++i) {
        if (function.arguments[i].name == name) {
          index = i;
          break;
        }
      }
    } else {
      index = a + captureCount;
      name = std::to_string(index);
    }
    if (index >= count) {
      outcome.SetError(FormatMessage("Unknown argument '%1' for '%2'.", name, function.name));
      return;
    }
    JsonApiResponse errorRecord{};
    if (!HostValueToProperty(argument.value, arguments[index],
                             argument.name != nullptr ? name : function.arguments[index].name,
                             &errorRecord)) {
      outcome.SetError(TextOrEmpty(errorRecord.errorText));
      delete[] errorRecord.errorText;
    }
  }
}

// Releases the invoker's pending handle on every way out of a call.
class PendingCall {
 public:
  explicit PendingCall(BindingInvoker& invoker) : invoker(invoker) {}
  ~PendingCall() {
    if (handle != nullptr) invoker.Release(handle);
  }
  PendingCall(const PendingCall&) = delete;
  PendingCall& operator=(const PendingCall&) = delete;

  void* handle = nullptr;

 private:
  BindingInvoker& invoker;
};

}  // namespace

EndpointBuilder& EndpointBuilder::Template(const std::string& pathTemplate) {
  if (existed) return *this;
  std::lock_guard lock(dispatcher->Mutex());
  endpoint->pathTemplate = NormalizeTemplate(pathTemplate);
  return *this;
}

EndpointBuilder& EndpointBuilder::Method(uint32_t code) {
  if (existed) return *this;
  std::lock_guard lock(dispatcher->Mutex());
  endpoint->methodCode = code;
  endpoint->methodName.clear();
  return *this;
}

EndpointBuilder& EndpointBuilder::NamedMethod(const std::string& name) {
  if (existed) return *this;
  std::lock_guard lock(dispatcher->Mutex());
  endpoint->methodCode = kMethodNamed;
  endpoint->methodName = name;
  return *this;
}

EndpointBuilder& EndpointBuilder::Location(std::size_t index, uint32_t location) {
  if (existed) return *this;
  std::lock_guard lock(dispatcher->Mutex());
  if (index >= endpoint->locations.size()) endpoint->locations.resize(index + 1);
  endpoint->locations[index] = location;
  return *this;
}

EndpointBuilder& EndpointBuilder::Flag(uint8_t value) {
  if (existed) return *this;
  std::lock_guard lock(dispatcher->Mutex());
  endpoint->flag = value;
  return *this;
}

EndpointBuilder& EndpointBuilder::TextList(std::vector<std::string> texts) {
  if (existed) return *this;
  std::lock_guard lock(dispatcher->Mutex());
  endpoint->textLists.push_back(std::move(texts));
  return *this;
}

ApiDispatcher::ApiDispatcher(BindingRegistry& types) : registry(types) {}

EndpointBuilder ApiDispatcher::RegisterEndpoint(const BindingFunctionDescriptor* function) {
  std::lock_guard lock(mutex);
  auto [it, inserted] = endpoints.try_emplace(function);
  if (inserted) {
    it->second = std::make_unique<EndpointFunction>();
    it->second->function = function;
    it->second->locations.resize(function->arguments.size());
  }
  return EndpointBuilder(this, it->second.get(), !inserted);
}

const ApiTable* ApiDispatcher::BuildApiTable() {
  std::lock_guard lock(mutex);
  const ApiDescription api = BuildApiDescription(
      registry.FunctionSnapshot(), registry.TypeSnapshot(), registry.EventSnapshot(), description);
  entries.assign(endpoints.size(), ApiEndpointEntry{});
  locations.assign(endpoints.size(), {});
  textPointers.assign(endpoints.size(), {});
  textLists.assign(endpoints.size(), {});
  contexts.clear();
  // Entries in the order of their function names.
  std::map<std::string, EndpointFunction*> byName;
  for (auto& [function, endpoint] : endpoints) byName.emplace(function->name, endpoint.get());
  std::size_t i = 0;
  for (auto& [name, endpoint] : byName) {
    EndpointFunction& record = *endpoint;
    const BindingFunctionDescriptor* function = record.function;
    record.route = MakeRoute(record.methodCode, record.methodName,
                             record.pathTemplate.empty() ? function->name : record.pathTemplate);
    record.quoting = function->TakesSecret() ? InputQuoting::Withheld : InputQuoting::Quoted;
    record.parameters.clear();
    for (std::size_t p = 0; p < function->arguments.size(); ++p) {
      record.parameters.emplace(function->arguments[p].name, p);
    }
    ApiEndpointEntry& entry = entries[i];

    std::vector<ApiLocationRecord>& locationRecords = locations[i];
    for (uint32_t location : record.locations) {
      locationRecords.push_back({nullptr, location >= 1 && location <= 5 ? location : 0});
    }
    for (std::size_t l = 0; l + 1 < locationRecords.size(); ++l) {
      locationRecords[l].next = &locationRecords[l + 1];
    }

    for (const std::vector<std::string>& list : record.textLists) {
      std::vector<const char*>& pointers = textPointers[i].emplace_back();
      for (const std::string& text : list) pointers.push_back(text.c_str());
    }
    for (std::vector<const char*>& pointers : textPointers[i]) {
      textLists[i].push_back({nullptr, pointers.empty() ? nullptr : pointers.data(),
                              static_cast<uint32_t>(pointers.size())});
    }
    for (std::size_t l = 0; l + 1 < textLists[i].size(); ++l) {
      textLists[i][l].next = &textLists[i][l + 1];
    }

    for (uint32_t f = 0; f < api.functionCount; ++f) {
      if (std::strcmp(api.functions[f].name, function->name.c_str()) == 0) {
        entry.function = api.functions[f];
        break;
      }
    }
    contexts.push_back(std::make_unique<CallContext>(CallContext{this, &record}));
    entry.function.callContext = reinterpret_cast<uintptr_t>(contexts.back().get());
    entry.callback = &HandleCall;
    entry.locations = locationRecords.empty() ? nullptr : locationRecords.data();
    entry.pathTemplate = record.pathTemplate.c_str();
    entry.method = record.methodCode <= kMethodNamed ? record.methodCode : 0;
    entry.flag = record.flag;
    entry.textLists = textLists[i].empty() ? nullptr : textLists[i].data();
    entry.textListCount = static_cast<uint32_t>(textLists[i].size());
    entry.methodName = record.methodName.c_str();
    ++i;
  }
  table = {entries.empty() ? nullptr : entries.data(),
           static_cast<uint32_t>(entries.size()),
           api.types,
           api.typeCount,
           api.events,
           api.eventCount};
  return &table;
}

void ZVM_CDECL ApiDispatcher::HandleCall(JsonApiResponse* response, const ApiCallRecord* call) {
  if (response == nullptr) return;
  std::memset(response, 0, sizeof *response);
  const auto* context =
      call != nullptr ? reinterpret_cast<const CallContext*>(call->callContext) : nullptr;
  if (context == nullptr) {
    WriteCallError(*response, 404, "Invalid function");
    return;
  }
  const InFlight::Scope running(context->dispatcher->calls);
  try {
    context->dispatcher->Dispatch(*response, *call, *context->endpoint);
  } catch (const std::exception& e) {
    WriteCallError(*response, 500, e.what());
  } catch (...) {
    WriteCallError(*response, 500, "Unknown error");
  }
}

void ApiDispatcher::Dispatch(JsonApiResponse& response, const ApiCallRecord& call,
                             const EndpointFunction& endpoint) const {
  const BindingFunctionDescriptor& function = *endpoint.function;
  const uint32_t method = call.method <= kMethodNamed ? call.method : 0;
  const std::string_view path = TextOrEmpty(call.path);
  // The query is a source of arguments, not part of the route: matched with
  // it, a literal template would refuse every call that has one and a
  // capture would swallow it.
  const std::string_view route = path.substr(0, path.find('?'));
  const CallKey key{method, method == kMethodNamed ? TextOrEmpty(call.methodName) : "", route};
  const auto captures = MatchRoute(key, endpoint.route);
  if (!captures || function.invoker == nullptr) {
    WriteCallError(response, 404, "Invalid function");
    return;
  }

  ApiResponse result;
  BindingResult& outcome = result.result;
  const std::size_t count = function.arguments.size();
  std::vector<BindingProperty> arguments(count);
  const ParameterIndex& parameters = endpoint.parameters;
  const std::vector<uint32_t>& locations = endpoint.locations;

  const std::map<std::string, std::string> headerArguments =
      HeaderArguments(call, function, locations);
  QueryEntries query;
  if (const std::size_t mark = path.find('?'); mark != std::string_view::npos) {
    query = ParseQueryString(path.substr(mark + 1));
  }

  for (std::size_t i = 0; i < count; ++i) {
    const BindingArgumentDescriptor& parameter = function.arguments[i];
    if (parameter.type.code == BindingTypeCode::Bool && parameter.optional == 0) {
      arguments[i].SetBool(false);
    }
  }
  const std::string noContentType;
  std::size_t addedElements = 0;
  auto bindAll = [&](const std::map<std::string, std::string>& source, uint32_t location) {
    for (const auto& [name, value] : source) {
      if (!outcome.Ok()) return;
      BindNamedArgument(outcome, arguments, parameters, function, &locations, name, value,
                        noContentType, location, addedElements, endpoint.quoting);
    }
  };
  bindAll(headerArguments, kLocationHeader);
  bindAll(*captures, kLocationPath);
  bindAll(query, kLocationQuery);

  BindExplicitArguments(outcome, arguments, call, function, captures->size());
  // A JSON body goes straight from its text to the parameter's native value
  // when the host tree reads as the property would; otherwise it is read
  // into a property, which also has the messages of a bad body.
  std::optional<JsonHostTree> jsonBody;
  BindingHostArgument hostArgument;
  if (outcome.Ok() && call.body != nullptr && call.bodyLength > 0) {
    const auto body = std::find(locations.begin(), locations.end(), kLocationBody);
    if (body != locations.end()) {
      const std::size_t index = static_cast<std::size_t>(body - locations.begin());
      const BodyFormat format = RequestBodyFormat(TextOrEmpty(call.contentType));
      if (format == BodyFormat::Json) {
        jsonBody.emplace();
        if (jsonBody->Read(reinterpret_cast<const char*>(call.body), call.bodyLength)) {
          hostArgument = {&jsonBody->Root(), index};
        }
      }
      if (hostArgument.value == nullptr) {
        BindingResult read = ReadBody(call, format, endpoint.quoting);
        if (read.Ok()) {
          arguments[index] = std::move(static_cast<BindingProperty&>(read));
        } else {
          outcome.SetError(read.Error());
        }
      }
    }
  }

  BindingInvoker& invoker = *function.invoker;
  PendingCall pending(invoker);
  if (outcome.Ok()) {
    pending.handle = invoker.Invoke(result, arguments, hostArgument, call.hostContext);
  }
  if (outcome.Ok()) invoker.Complete(result, nullptr, pending.handle, call.hostContext);
  WriteCallResponse(response, result, &registry);
}

}  // namespace Halden
