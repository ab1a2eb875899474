// The notes resource: the list, and each note by its id.
#include <string>

#include "examples/notes/notes_plugin.h"
#include "logging/log_system.h"
#include "util/ascii_case.h"

namespace Halden::Examples::Notes {
namespace {

constexpr uint32_t kBadRequest = 400;
constexpr uint32_t kUnauthorized = 401;
constexpr uint32_t kNotFound = 404;

ApiResponse Refusal(uint32_t status, const std::string& message) {
  Log(kLogWarning, kGroupGeneral, "example-notes: %s", message.c_str());
  return ApiResponse::Error(status, message);
}

}  // namespace

ApiResult<NoteList> NotesPlugin::GetNotes(const std::string& contains) {
  std::lock_guard lock(notesLock);
  return Matching(LowerAscii(contains));
}

ApiResult<Note> NotesPlugin::PutNote(const std::string& id, const NoteEdit& edit) {
  if (!signedIn) return Refusal(kUnauthorized, "Sign in to change notes");
  if (edit.text.empty()) return Refusal(kBadRequest, "A note needs a text");
  // Texts leave the plugin up to their first NUL: a note kept whole would
  // be answered, announced and found under less than it holds.
  if (id.find('\0') != std::string::npos || edit.text.find('\0') != std::string::npos) {
    return Refusal(kBadRequest, "A note's id and text cannot hold a NUL");
  }
  std::lock_guard lock(notesLock);
  Note& note = notes[id];
  note = {id, edit.text, edit.priority};
  Log(kLogOkay, kGroupGeneral, "example-notes: note %s saved", id.c_str());
  PublishNotes();
  return note;
}

ApiResponse NotesPlugin::DeleteNote(const std::string& id) {
  if (!signedIn) return Refusal(kUnauthorized, "Sign in to change notes");
  std::lock_guard lock(notesLock);
  if (notes.erase(id) == 0) return Refusal(kNotFound, "No note " + id);
  Log(kLogOkay, kGroupGeneral, "example-notes: note %s deleted", id.c_str());
  PublishNotes();
  return ApiResponse::Ok();
}

void NotesPlugin::PublishNotes() { PublishResource(kNotesResource, Matching("")); }

NoteList NotesPlugin::Matching(const std::string& lowered) const {
  NoteList list;
  for (const auto& [id, note] : notes) {
    if (LowerAscii(note.text).find(lowered) != std::string::npos) list.notes.push_back(note);
  }
  return list;
}

}  // namespace Halden::Examples::Notes
