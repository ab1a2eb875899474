// A value built in place on first use and never destroyed, for process-wide
// state that static destructors may still use (the logging system, the
// arena's page source). It lives in the library's static storage rather than
// on the heap: a heap block would be counted live after Shutdown and would
// outlive the library once the host unloads it.
//
//   Registry& Instance() {
//     static NoDestructor<Registry> instance;
//     return *instance;
//   }
#pragma once

#include <new>
#include <utility>

namespace Halden {

template <typename T>
class NoDestructor {
 public:
  template <typename... Arguments>
  explicit NoDestructor(Arguments&&... arguments) {
    new (storage) T(std::forward<Arguments>(arguments)...);
  }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;

  T& operator*() { return *std::launder(reinterpret_cast<T*>(storage)); }
  T* operator->() { return &**this; }

 private:
  alignas(T) unsigned char storage[sizeof(T)];
};

}  // namespace Halden
