// The body of a plugin library's one export, which the host calls with its
// registration record:
//
//   extern "C" __attribute__((visibility("default"))) void ZVM_CDECL
//   load_example_notes(Halden::PluginRegistration* registration) {
//     Halden::RegisterNewPlugin<NotesPlugin>(registration, "example-notes");
//   }
//
// Nothing may escape into the host: a plugin that cannot be made or
// registered leaves the record without an instance, which tells the host
// that registration failed. A null record is ignored.
#pragma once

#include <memory>

#include "plugin/plugin.h"

namespace Halden {

template <typename P>
void RegisterNewPlugin(PluginRegistration* registration, const char* shortName) noexcept {
  if (registration == nullptr) return;
  try {
    auto plugin = std::make_unique<P>();
    Plugin::Register(plugin.get(), registration, shortName);
    plugin.release();  // the host owns it now, until Shutdown
  } catch (...) {
    registration->instance = nullptr;
    registration->callbacks = nullptr;
  }
}

}  // namespace Halden
