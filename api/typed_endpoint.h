// Registration of a member function as an endpoint, in one readable line:
//
//   TypedEndpoint(dispatcher, this, kMethodPut, "/v1/email", &Plugin::PutEmail).Body("update");
//
// The function is registered under the name derived from the method and the
// path (PutV1Email), with one parameter per handler argument, typed after it;
// the handler returns an ApiResponse, or an ApiResult<T> whose value is
// converted through the registry. Argument, struct and enumeration types must
// be registered before the endpoint.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "api/api_dispatcher.h"
#include "api/api_response.h"
#include "api/method.h"
#include "binding/converters.h"
#include "binding/invoker.h"
#include "binding/native_conversion.h"
#include "boundary/api_table.h"

namespace Halden {

// A handler's typed result: the value to convert and return, or a response
// without one (an error, or a success that says nothing).
template <typename T>
struct ApiResult {
  ApiResult(T resultValue) : value(std::move(resultValue)) {}   // NOLINT: a value is a result
  ApiResult(ApiResponse other) : response(std::move(other)) {}  // NOLINT: so is a response

  std::optional<T> value;
  ApiResponse response;
};

namespace endpoint_internal {

// The invokers' compiled steps: the conversion of one argument value into
// its native parameter (skipped for an empty optional one, stopped by an
// earlier failure), and the handler's response with its value (none when
// null) written for the host: straight into the host's tree, or as a
// property when that way has a failure to report.
void ConvertArgument(ApiResponse& response, const BindingConverter& converter, void* native,
                     const BindingProperty& value, const BindingArgumentDescriptor& parameter);
void ConvertArgument(ApiResponse& response, const BindingConverter& converter, void* native,
                     const HostValue& value, const BindingArgumentDescriptor& parameter);
void StoreValue(ApiResponse& response, ApiResponse&& handled, const void* value,
                const BindingConverter& converter, const BindingTypeDescriptor* type,
                const BindingRegistry& registry);

// The result record a handler's return type names, void for ApiResponse.
template <typename R>
struct ResultOf {
  using type = void;
};
template <typename T>
struct ResultOf<ApiResult<T>> {
  using type = T;
};

}  // namespace endpoint_internal

// Calls a member function of `object` with the call's arguments converted to
// its parameter types. Invoke converts them into a pending tuple, Complete
// runs the handler on it, Release frees it.
template <typename C, typename R, typename... A>
class MemberInvoker final : public BindingInvoker {
  static_assert(std::is_same_v<R, ApiResponse> ||
                    !std::is_void_v<typename endpoint_internal::ResultOf<R>::type>,
                "handlers return ApiResponse or ApiResult<T>");

 public:
  using Handler = R (C::*)(A...);
  using Arguments = std::tuple<std::decay_t<A>...>;

  MemberInvoker(C* instance, Handler method, const BindingFunctionDescriptor* descriptor)
      : object(instance), handler(method), function(descriptor) {}

  // A handler without arguments shares one empty tuple: nothing to allocate.
  void* Invoke(ApiResponse& response, std::vector<BindingProperty>& arguments,
               const BindingHostArgument& hostArgument, uintptr_t) override {
    if constexpr (sizeof...(A) == 0) {
      return &kNoArguments;
    } else {
      auto pending = std::make_unique<Arguments>();
      ConvertAll(response, arguments, hostArgument, *pending, std::index_sequence_for<A...>());
      return pending.release();
    }
  }

  void Complete(ApiResponse& response, const void*, void* pending, uintptr_t) override {
    Arguments& values = *static_cast<Arguments*>(pending);
    R handled =
        std::apply([this](auto&... value) -> R { return (object->*handler)(value...); }, values);
    if constexpr (std::is_same_v<R, ApiResponse>) {
      response = std::move(handled);
    } else {
      using Result = typename endpoint_internal::ResultOf<R>::type;
      endpoint_internal::StoreValue(
          response, std::move(handled.response), handled.value ? &*handled.value : nullptr,
          NativeConverter<Result>(), function->returns.descriptor, *function->registry);
    }
  }

  void Release(void* pending) override {
    if constexpr (sizeof...(A) != 0) delete static_cast<Arguments*>(pending);
  }

  const StaticType& ResultType() const override {
    return StaticTypeOf<typename endpoint_internal::ResultOf<R>::type>();
  }

 private:
  template <std::size_t... I>
  void ConvertAll(ApiResponse& response, std::vector<BindingProperty>& arguments,
                  const BindingHostArgument& hostArgument, Arguments& values,
                  std::index_sequence<I...>) {
    (ConvertOne<I>(response, arguments, hostArgument, std::get<I>(values)), ...);
  }
  template <std::size_t I, typename T>
  void ConvertOne(ApiResponse& response, std::vector<BindingProperty>& arguments,
                  const BindingHostArgument& hostArgument, T& value) {
    if (hostArgument.value != nullptr && hostArgument.index == I) {
      endpoint_internal::ConvertArgument(response, NativeConverter<T>(), &value,
                                         *hostArgument.value, function->arguments[I]);
    } else {
      endpoint_internal::ConvertArgument(
          response, NativeConverter<T>(), &value,
          I < arguments.size() ? arguments[I] : BindingProperty::Empty(), function->arguments[I]);
    }
  }

  static inline Arguments kNoArguments{};

  C* object;
  Handler handler;
  const BindingFunctionDescriptor* function;
};

// The compiled part of an endpoint registration: registers the function
// (unless its name is taken, in which case nothing changes), its parameter
// and result types, and its endpoint record.
class EndpointRegistration {
 public:
  EndpointRegistration(ApiDispatcher& dispatcher, uint32_t method, const std::string& path,
                       const std::vector<BindingTypeRef>& argumentTypes,
                       const BindingTypeRef& result,
                       std::unique_ptr<BindingInvoker> (*makeInvoker)(
                           const BindingFunctionDescriptor*, const void* context),
                       const void* context);

  // Names the next parameter, taken from `location` (kLocation*); an
  // optional parameter left empty by the call keeps its native default.
  EndpointRegistration& Arg(const std::string& name, uint32_t location = kLocationAny,
                            bool optional = false);
  // Names the next parameter, which receives the request body.
  EndpointRegistration& Body(const std::string& name) { return Arg(name, kLocationBody); }
  // Accepts calls of the method named `name` (method code 8).
  EndpointRegistration& NamedMethod(const std::string& name);
  // The flag byte and text lists of the endpoint's entry, passed to the host
  // unchanged.
  EndpointRegistration& Flag(uint8_t value);
  EndpointRegistration& TextList(std::vector<std::string> texts);
  EndpointRegistration& Tags(const std::vector<std::string>& tags);
  EndpointRegistration& Description(const std::string& text);
  EndpointRegistration& Help(const std::string& text);

  // Null when the name was registered before.
  const BindingFunctionDescriptor* Function() const { return function; }

 private:
  BindingFunctionDescriptor* function = nullptr;
  EndpointBuilder endpoint;
  std::size_t nextArgument = 0;
};

// Registers `handler` of `object` for `method` (kMethod*) and `path`.
template <typename C, typename R, typename... A>
EndpointRegistration TypedEndpoint(ApiDispatcher& dispatcher, C* object, uint32_t method,
                                   const std::string& path, R (C::*handler)(A...)) {
  using Invoker = MemberInvoker<C, R, A...>;
  struct Context {
    C* object;
    R (C::*handler)(A...);
  } context{object, handler};
  using Result = typename endpoint_internal::ResultOf<R>::type;
  BindingTypeRef result;
  if constexpr (!std::is_void_v<Result>) result = TypeRefOf<Result>(dispatcher.Registry());
  return EndpointRegistration(
      dispatcher, method, path, {TypeRefOf<std::decay_t<A>>(dispatcher.Registry())...}, result,
      [](const BindingFunctionDescriptor* function,
         const void* erased) -> std::unique_ptr<BindingInvoker> {
        const Context& typed = *static_cast<const Context*>(erased);
        return std::make_unique<Invoker>(typed.object, typed.handler, function);
      },
      &context);
}

}  // namespace Halden
