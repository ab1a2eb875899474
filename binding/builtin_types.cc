#include "binding/internal/builtin_types.h"

#include "binding/registration.h"

namespace Halden {

void RegisterBuiltinTypes(BindingRegistry& registry) {
  RegisterEnum<BindingHelpFormat>(registry, "BindingHelpFormat")
      .Description("Help format for binding functions and types.")
      .Tags({"$builtin", "help"})
      .Value("Full", BindingHelpFormat::Full, "Native help format")
      .Value("Epytext", BindingHelpFormat::Epytext, "Python epytext format");

  using Identifier = BindingFullTypeIdentifier;
  RegisterStruct<Identifier>(registry, "BindingFullTypeIdentifier")
      .Description("Describes the type of a value.")
      .Tags({"$builtin", "help"})
      .Field("type", &Identifier::type)
      .Field("elementType", &Identifier::elementType);

  using ArgumentHelp = BindingFullArgumentHelp;
  RegisterStruct<ArgumentHelp>(registry, "BindingFullArgumentHelp")
      .Description("Describes a function parameter.")
      .Tags({"$builtin", "help"})
      .Field("name", &ArgumentHelp::name)
      .Field("description", &ArgumentHelp::description)
      .Field("type", &ArgumentHelp::type)
      .Field("optional", &ArgumentHelp::optional);

  using FunctionHelp = BindingFullFunctionHelp;
  RegisterStruct<FunctionHelp>(registry, "BindingFullFunctionHelp")
      .Description("Describes a function.")
      .Tags({"$builtin", "help"})
      .Field("name", &FunctionHelp::name)
      .Field("nameSpace", &FunctionHelp::nameSpace)
      .Field("arguments", &FunctionHelp::arguments)
      .Field("returns", &FunctionHelp::returns)
      .Field("description", &FunctionHelp::description)
      .Field("help", &FunctionHelp::help)
      .Field("threadSafe", &FunctionHelp::threadSafe)
      .Field("async", &FunctionHelp::async)
      .Field("tags", &FunctionHelp::tags);

  using EnumValueHelp = BindingFullEnumValueHelp;
  RegisterStruct<EnumValueHelp>(registry, "BindingFullEnumValueHelp")
      .Description("Describes an enumerator.")
      .Tags({"$builtin", "help"})
      .Field("name", &EnumValueHelp::name)
      .Field("description", &EnumValueHelp::description)
      .Field("value", &EnumValueHelp::value);

  using FieldHelp = BindingFullFieldHelp;
  RegisterStruct<FieldHelp>(registry, "BindingFullFieldHelp")
      .Description("Describes a member of a struct.")
      .Tags({"$builtin", "help"})
      .Field("name", &FieldHelp::name)
      .Field("description", &FieldHelp::description)
      .Field("offset", &FieldHelp::offset)
      .Field("type", &FieldHelp::type)
      .Field("optional", &FieldHelp::optional);

  using TypeHelp = BindingFullTypeHelp;
  RegisterStruct<TypeHelp>(registry, "BindingFullTypeHelp")
      .Description("Describes a struct or enum type.")
      .Tags({"$builtin", "help"})
      .Field("name", &TypeHelp::name)
      .Field("nameSpace", &TypeHelp::nameSpace)
      .Field("size", &TypeHelp::size)
      .Field("description", &TypeHelp::description)
      .Field("tags", &TypeHelp::tags)
      .Field("fields", &TypeHelp::fields)
      .Field("values", &TypeHelp::values);

  using EventHelp = BindingFullEventHelp;
  RegisterStruct<EventHelp>(registry, "BindingFullEventHelp")
      .Description("Describes an event.")
      .Tags({"$builtin", "help"})
      .Field("name", &EventHelp::name)
      .Field("nameSpace", &EventHelp::nameSpace)
      .Field("type", &EventHelp::type)
      .Field("description", &EventHelp::description)
      .Field("tags", &EventHelp::tags);

  using ApiHelp = BindingFullApiHelp;
  RegisterStruct<ApiHelp>(registry, "BindingFullApiHelp")
      .Description("Describes the exposed native API.")
      .Tags({"$builtin", "help"})
      .Field("functions", &ApiHelp::functions)
      .Field("types", &ApiHelp::types)
      .Field("events", &ApiHelp::events);

  using AsyncState = BindingAsyncState;
  RegisterEnum<AsyncState>(registry, "BindingAsyncState")
      .Description("Possible states of an asynchronous operation.")
      .Tags({"$builtin", "async"})
      .Value("None", AsyncState::None, "Invalid state")
      .Value("Running", AsyncState::Running, "The operation is in flight")
      .Value("Cancelling", AsyncState::Cancelling,
             "A request to cancel the operation has been made")
      .Value("Cancelled", AsyncState::Cancelled, "The operation was cancelled")
      .Value("Succeeded", AsyncState::Succeeded, "The operation completed successfully")
      .Value("Failed", AsyncState::Failed, "The operation encountered an error");

  RegisterStruct<BindingGenericEvent>(registry, "BindingGenericEvent")
      .Description("Represents generic data for an event.")
      .Tags({"$builtin"})
      .Field("data", &BindingGenericEvent::data, "Event data");

  RegisterStruct<BindingCallbackEvent>(registry, "BindingCallbackEvent")
      .Description("Represents the parameters of a call to a provided callback.")
      .Tags({"$builtin"})
      .Field("id", &BindingCallbackEvent::id, "ID of the callback being invoked")
      .Field("parameters", &BindingCallbackEvent::parameters, "Callback parameters");

  RegisterStruct<BindingGenericAsyncEvent>(registry, "BindingGenericAsyncEvent")
      .Description("Represents generic data for an asynchronous event.")
      .Tags({"$builtin", "async"})
      .Field("asyncToken", &BindingGenericAsyncEvent::asyncToken, "Asynchronous operation token")
      .Field("data", &BindingGenericAsyncEvent::data, "Event data");

  RegisterStruct<BindingAsyncFailureEvent>(registry, "BindingAsyncFailureEvent")
      .Description("Represents a failed asynchronous operation.")
      .Tags({"$builtin", "async"})
      .Field("asyncToken", &BindingAsyncFailureEvent::asyncToken, "Asynchronous operation token")
      .Field("error", &BindingAsyncFailureEvent::error, "Error message");

  RegisterStruct<BindingAsyncCancelEvent>(registry, "BindingAsyncCancelEvent")
      .Description("Represents a cancelled asynchronous operation.")
      .Tags({"$builtin", "async"})
      .Field("asyncToken", &BindingAsyncCancelEvent::asyncToken, "Asynchronous operation token");

  RegisterEvent<BindingCallbackEvent>(registry, "OnCallback")
      .SetDescription("Fired when a callback is invoked.")
      .AddTag("$builtin");
}

}  // namespace Halden
