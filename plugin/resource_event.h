// A resource event as an observer receives it.
#pragma once

#include <string>

#include "plugin/runtime_types.h"

namespace Halden {

// The change of the resource at `uri`, with its data converted to T (T's
// default for a Delete).
template <typename T>
struct ResourceEvent {
  std::string uri;
  PluginResourceEventType eventType = PluginResourceEventType::Create;
  T data{};
};

}  // namespace Halden
