// A host value tree the plugin made and owns until it hands it over.
#pragma once

#include <utility>

#include "boundary/host_value.h"

namespace Halden {

// Released when dropped, unless given away first. Moving it moves the tree.
class OwnedHostValue {
 public:
  OwnedHostValue() = default;
  OwnedHostValue(OwnedHostValue&& other) noexcept
      : value(std::exchange(other.value, HostValue{})), held(std::exchange(other.held, false)) {}
  OwnedHostValue& operator=(OwnedHostValue&& other) noexcept {
    std::swap(value, other.value);
    std::swap(held, other.held);
    return *this;
  }
  ~OwnedHostValue() { ReleaseHostValue(value); }

  // The tree to write into; from then on it counts as held.
  HostValue& Hold() {
    held = true;
    return value;
  }
  bool Held() const { return held; }
  // Hands the tree over; nothing is held afterwards.
  HostValue Give() {
    held = false;
    return std::exchange(value, HostValue{});
  }

 private:
  HostValue value{};
  bool held = false;
};

}  // namespace Halden
