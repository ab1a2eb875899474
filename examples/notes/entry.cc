// The library's one export, which the host calls to register the plugin.
#include "examples/notes/notes_plugin.h"
#include "plugin/plugin_entry.h"

extern "C" __attribute__((visibility("default"))) void ZVM_CDECL
load_example_notes(Halden::PluginRegistration* registration) {
  Halden::RegisterNewPlugin<Halden::Examples::Notes::NotesPlugin>(registration, "example-notes");
}
