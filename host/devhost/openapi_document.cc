#include "host/devhost/openapi_document.h"

#include <cctype>
#include <set>
#include <vector>

#include "binding/type_code.h"
#include "boundary/api_table.h"
#include "formats/content_type.h"
#include "formats/property_to_json.h"

namespace Halden::devhost {
namespace {

const char* const kMethods[] = {"", "delete", "get", "head", "options", "patch", "post", "put"};

std::string Text(const char* text) { return text != nullptr ? text : ""; }

// Component names allow letters, digits, ".", "-" and "_".
std::string ComponentName(const std::string& name) {
  std::string component = name;
  for (char& c : component) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
  }
  return component;
}

void Range(BindingProperty& schema, int64_t minimum, uint64_t maximum) {
  schema.Member("type").SetString("integer");
  schema.Member("minimum").SetSigned(minimum);
  schema.Member("maximum").SetUnsigned(maximum);
}

BindingProperty Schema(uint32_t code, uint32_t element, const std::string& typeName) {
  BindingProperty schema;
  schema.MakeStructure();
  switch (static_cast<BindingTypeCode>(code)) {
    case BindingTypeCode::Bool:
      schema.Member("type").SetString("boolean");
      break;
    case BindingTypeCode::Int8:
      Range(schema, -128, 127);
      break;
    case BindingTypeCode::UInt8:
      Range(schema, 0, 255);
      break;
    case BindingTypeCode::Int16:
      Range(schema, -32768, 32767);
      break;
    case BindingTypeCode::UInt16:
      Range(schema, 0, 65535);
      break;
    case BindingTypeCode::Int32:
    case BindingTypeCode::Int64:
      schema.Member("type").SetString("integer");
      schema.Member("format").SetString(
          static_cast<BindingTypeCode>(code) == BindingTypeCode::Int32 ? "int32" : "int64");
      break;
    case BindingTypeCode::UInt32:
      Range(schema, 0, 4294967295u);
      break;
    case BindingTypeCode::UInt64:
      Range(schema, 0, UINT64_MAX);
      break;
    case BindingTypeCode::Float:
    case BindingTypeCode::Double:
      schema.Member("type").SetString("number");
      schema.Member("format").SetString(
          static_cast<BindingTypeCode>(code) == BindingTypeCode::Float ? "float" : "double");
      break;
    case BindingTypeCode::String:
      schema.Member("type").SetString("string");
      break;
    case BindingTypeCode::Blob:
      schema.Member("type").SetString("string");
      schema.Member("contentEncoding").SetString("base64");
      break;
    case BindingTypeCode::Vector:
      schema.Member("type").SetString("array");
      schema.Member("items") = Schema(element, 0, typeName);
      break;
    case BindingTypeCode::Map:
      schema.Member("type").SetString("object");
      schema.Member("additionalProperties") = Schema(element, 0, typeName);
      break;
    case BindingTypeCode::Enum:
    case BindingTypeCode::Struct:
      if (!typeName.empty()) {
        schema.Member("$ref").SetString("#/components/schemas/" + ComponentName(typeName));
      }
      break;
    default:  // any value: an Object, a callback, no type
      break;
  }
  return schema;
}

BindingProperty TypeSchema(const ApiTypeRecord& type) {
  BindingProperty schema;
  if (!Text(type.description).empty()) schema.Member("description").SetString(type.description);
  // The plugin's own types carry its tags, as its operations do; the
  // framework's carry others.
  for (uint32_t i = 0; i < type.tagCount; ++i) {
    schema.Member("x-tags").Append().SetString(Text(type.tags[i]));
  }
  if (type.fields != nullptr) {
    schema.Member("type").SetString("object");
    BindingProperty& properties = schema.Member("properties");
    for (const ApiFieldRecord* field = type.fields; field != nullptr; field = field->next) {
      BindingProperty& property = properties.Member(Text(field->name));
      property = Schema(field->typeCode, field->elementCode, Text(field->typeName));
      if (!Text(field->description).empty()) {
        property.Member("description").SetString(field->description);
      }
      if (field->optional == 0) schema.Member("required").Append().SetString(Text(field->name));
    }
  } else if (type.enumerators != nullptr) {
    // Enumerations travel as their enumerators' names.
    schema.Member("type").SetString("string");
    for (const ApiEnumeratorRecord* value = type.enumerators; value != nullptr;
         value = value->next) {
      schema.Member("enum").Append().SetString(Text(value->name));
      schema.Member("x-enum-values").Member(Text(value->name)).SetSigned(value->value);
    }
  } else {
    schema.Member("type").SetString("object");
  }
  return schema;
}

// OpenAPI knows only one-segment placeholders: "{+rest}" and "{#part}"
// become "{rest}" and "{part}". Collects the placeholder names.
std::string OpenApiPath(const std::string& pathTemplate, std::vector<std::string>& placeholders) {
  std::string path;
  for (std::size_t i = 0; i < pathTemplate.size(); ++i) {
    path += pathTemplate[i];
    if (pathTemplate[i] != '{') continue;
    const std::size_t close = pathTemplate.find('}', i);
    if (close == std::string::npos) continue;
    std::size_t start = i + 1;
    if (start < close && (pathTemplate[start] == '+' || pathTemplate[start] == '#')) ++start;
    placeholders.push_back(pathTemplate.substr(start, close - start));
    path += placeholders.back() + "}";
    i = close;
  }
  return path;
}

BindingProperty Operation(const ApiEndpointEntry& entry,
                          const std::vector<std::string>& placeholders,
                          const std::string& operationId) {
  const ApiFunctionRecord& function = entry.function;
  BindingProperty operation;
  operation.Member("operationId").SetString(operationId);
  if (!Text(function.description).empty())
    operation.Member("summary").SetString(function.description);
  if (!Text(function.help).empty()) operation.Member("description").SetString(function.help);
  for (uint32_t i = 0; i < function.tagCount; ++i) {
    operation.Member("tags").Append().SetString(Text(function.tags[i]));
  }
  std::set<std::string> unbound(placeholders.begin(), placeholders.end());
  const ApiLocationRecord* location = entry.locations;
  for (const ApiArgumentRecord* argument = function.arguments; argument != nullptr;
       argument = argument->next, location = location != nullptr ? location->next : nullptr) {
    const uint32_t where = location != nullptr ? location->location : kLocationAny;
    const std::string name = Text(argument->name);
    BindingProperty schema =
        Schema(argument->typeCode, argument->elementCode, Text(argument->typeName));
    if (where == kLocationBody) {
      BindingProperty& body = operation.Member("requestBody");
      body.Member("required").SetBool(argument->optional == 0);
      for (const BodyContentType& type : kRequestBodyTypes)
        body.Member("content").Member(std::string(type.name)).Member("schema") = schema;
      continue;
    }
    const bool inPath =
        (where == kLocationAny || where == kLocationPath) && unbound.erase(name) > 0;
    const char* in = inPath                     ? "path"
                     : where == kLocationQuery  ? "query"
                     : where == kLocationHeader ? "header"
                     : where == kLocationAny    ? "query"
                                                : nullptr;
    // Passed to the host only, or a path parameter the template lacks.
    if (in == nullptr) continue;
    BindingProperty& parameter = operation.Member("parameters").Append();
    parameter.Member("name").SetString(name);
    parameter.Member("in").SetString(in);
    parameter.Member("required").SetBool(inPath || argument->optional == 0);
    if (!Text(argument->description).empty()) {
      parameter.Member("description").SetString(argument->description);
    }
    parameter.Member("schema") = std::move(schema);
  }
  // A placeholder no parameter takes still has to be declared.
  for (const std::string& name : unbound) {
    BindingProperty& parameter = operation.Member("parameters").Append();
    parameter.Member("name").SetString(name);
    parameter.Member("in").SetString("path");
    parameter.Member("required").SetBool(true);
    parameter.Member("schema").Member("type").SetString("string");
  }
  BindingProperty& responses = operation.Member("responses");
  if (function.resultTypeCode == 0) {
    responses.Member("2XX")
        .Member("description")
        .SetString("Done; the body, if any, is the handler's");
  } else {
    BindingProperty& success = responses.Member("200");
    success.Member("description").SetString("The result");
    success.Member("content").Member("application/json").Member("schema") =
        Schema(function.resultTypeCode, function.resultElementCode, Text(function.resultTypeName));
  }
  BindingProperty& failure = responses.Member("default");
  failure.Member("description").SetString("An error: its message and status");
  failure.Member("content")
      .Member("application/json")
      .Member("schema")
      .Member("$ref")
      .SetString(std::string("#/components/schemas/") + kErrorSchemaName);
  return operation;
}

// An event as a webhook, OpenAPI's form for the requests an API sends
// rather than answers: its payload is the body.
BindingProperty Webhook(const ApiEventRecord& event) {
  BindingProperty operation;
  if (!Text(event.description).empty()) operation.Member("summary").SetString(event.description);
  for (uint32_t i = 0; i < event.tagCount; ++i) {
    operation.Member("tags").Append().SetString(Text(event.tags[i]));
  }
  BindingProperty& body = operation.Member("requestBody");
  body.Member("required").SetBool(true);
  body.Member("content").Member("application/json").Member("schema") =
      Schema(static_cast<uint32_t>(BindingTypeCode::Struct), 0, Text(event.typeName));
  return operation;
}

BindingProperty ErrorSchema() {
  BindingProperty schema;
  schema.Member("type").SetString("object");
  schema.Member("properties").Member("message").Member("type").SetString("string");
  schema.Member("properties").Member("status").Member("type").SetString("integer");
  schema.Member("required").Append().SetString("message");
  schema.Member("required").Append().SetString("status");
  return schema;
}

}  // namespace

std::string RenderOpenApi(const PluginRegistration& registration, const std::string& serverUrl) {
  BindingProperty document;
  document.Member("openapi").SetString("3.1.0");
  BindingProperty& info = document.Member("info");
  info.Member("title").SetString(Text(registration.shortName));
  info.Member("version").SetString(std::to_string(registration.pluginMajor) + "." +
                                   std::to_string(registration.pluginMinor) + "." +
                                   std::to_string(registration.pluginPatch));
  document.Member("servers").Append().Member("url").SetString(serverUrl);
  BindingProperty& paths = document.Member("paths");
  paths.MakeStructure();
  BindingProperty& schemas = document.Member("components").Member("schemas");
  schemas.Member(kErrorSchemaName) = ErrorSchema();

  const auto* table = static_cast<const ApiTable*>(registration.apiTable);
  for (uint32_t i = 0; table != nullptr && i < table->entryCount; ++i) {
    const ApiEndpointEntry& entry = table->entries[i];
    if (entry.method > 7) continue;
    std::vector<std::string> placeholders;
    const std::string path = OpenApiPath(Text(entry.pathTemplate), placeholders);
    const std::string name = Text(entry.function.name);
    for (uint32_t method = 1; method <= 7; ++method) {
      if (entry.method != 0 && entry.method != method) continue;
      const std::string id = entry.method == 0 ? name + "_" + kMethods[method] : name;
      paths.Member(path).Member(kMethods[method]) = Operation(entry, placeholders, id);
    }
  }
  for (uint32_t i = 0; table != nullptr && i < table->typeCount; ++i) {
    schemas.Member(ComponentName(Text(table->types[i].name))) = TypeSchema(table->types[i]);
  }
  for (uint32_t i = 0; table != nullptr && i < table->eventCount; ++i) {
    const ApiEventRecord& event = table->events[i];
    document.Member("webhooks").Member(Text(event.name)).Member("post") = Webhook(event);
  }
  return PropertyToJson(document, nullptr, "\n");
}

}  // namespace Halden::devhost
