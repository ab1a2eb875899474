// The notes plugin, the framework's example: a list of notes that anyone may
// read and, while someone is signed in to the client, change one by one.
// Every change is announced as an Update of the list.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "examples/notes/records.h"
#include "plugin/plugin.h"

namespace Halden::Examples::Notes {

// The resource the plugin serves and publishes; one note is at
// <kNotesResource>/<id>.
inline constexpr const char* kNotesResource = "/example-notes/v1/notes";
// The host resources it reads: the notes an install starts with, kept in the
// host's data store, and the sign-on plugin's access token.
inline constexpr const char* kStartingNotesResource =
    "/data-store/v1/install-settings/example-notes";
inline constexpr const char* kAccessTokenResource = "/ksa-auth/v1/authorization/access-token";

class NotesPlugin : public Plugin {
 public:
  // Registers the records, the three endpoints and the event they send.
  void RegisterApi() override;
  // Observes the access token and reads the starting notes. Always true: a
  // host without starting notes gets an empty list.
  bool Start() override;

 private:
  // GET of the list: the notes whose text contains `contains` (ASCII letters
  // compared without case), all of them when it is empty.
  ApiResult<NoteList> GetNotes(const std::string& contains);
  // PUT of one note: creates or replaces it, and answers it.
  ApiResult<Note> PutNote(const std::string& id, const NoteEdit& edit);
  ApiResponse DeleteNote(const std::string& id);

  void OnAccessToken(const ResourceEvent<AccessToken>& event);
  // Announces the whole list as an Update of the resource; the caller holds
  // notesLock, so that the events come in the order of the changes.
  void PublishNotes();
  // The notes whose text, in lower case, contains `lowered`; the caller
  // holds notesLock.
  NoteList Matching(const std::string& lowered) const;

  std::atomic<bool> signedIn{false};
  std::mutex notesLock;
  std::map<std::string, Note> notes;
};

}  // namespace Halden::Examples::Notes
