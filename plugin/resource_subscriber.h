// The first layer of the plugin base: subscription to resources by URI.
#pragma once

#include <string>

namespace Halden {

class ResourceSubscriber {
 public:
  virtual void Subscribe(const std::string& uri) { (void)uri; }
  virtual void Unsubscribe(const std::string& uri) { (void)uri; }

 protected:
  // Owners destroy plugins through the runtime layer's virtual destructor.
  ~ResourceSubscriber() = default;
};

}  // namespace Halden
