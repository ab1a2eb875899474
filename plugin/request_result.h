// The result of a request to the host's local JSON API.
#pragma once

#include <utility>
#include <variant>

#include "plugin/api_error.h"

namespace Halden {

// Either a value of T or an ApiError. RequestResult<> carries no value.
template <typename T = std::monostate>
class RequestResult {
 public:
  RequestResult(T value) : content(std::in_place_index<0>, std::move(value)) {}         // NOLINT
  RequestResult(ApiError error) : content(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool Ok() const { return content.index() == 0; }
  const T& Value() const { return std::get<0>(content); }
  T& Value() { return std::get<0>(content); }
  const ApiError& Error() const { return std::get<1>(content); }

 private:
  std::variant<T, ApiError> content;
};

}  // namespace Halden
