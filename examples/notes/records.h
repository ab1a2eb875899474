// The records the notes plugin exchanges with its callers and with the host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Halden::Examples::Notes {

// How much a note matters. Callers see the enumerators' names ("High").
enum class Priority : int32_t { Low = 0, Normal = 1, High = 2 };

struct Note {
  std::string id;
  std::string text;
  Priority priority = Priority::Normal;
};

// The plugin's resource: the notes in the order of their ids.
struct NoteList {
  std::vector<Note> notes;
};

// The body of a PUT: what the note says. Its id is the last piece of the
// path.
struct NoteEdit {
  std::string text;
  Priority priority = Priority::Normal;
};

// The sign-on plugin's access token; its other members are not read.
struct AccessToken {
  std::string token;
};

}  // namespace Halden::Examples::Notes
