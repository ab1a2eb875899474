#include "examples/notes/notes_plugin.h"

#include "binding/registration.h"
#include "logging/log_system.h"
#include "plugin/event_name.h"

namespace Halden::Examples::Notes {

void NotesPlugin::RegisterApi() {
  BindingRegistry& types = Types();
  const std::string& prefix = TypeNamePrefix();
  // A record's members must be registered before it: the enumeration before
  // Note, Note before NoteList.
  RegisterEnum<Priority>(types, prefix + "Priority")
      .Value("Low", Priority::Low)
      .Value("Normal", Priority::Normal)
      .Value("High", Priority::High)
      .Description("How much a note matters");
  RegisterStruct<Note>(types, prefix + "Note")
      .Field("id", &Note::id, "The last piece of the note's path")
      .Field("text", &Note::text)
      .Field("priority", &Note::priority)
      .Description("One note");
  RegisterStruct<NoteList>(types, prefix + "NoteList")
      .Field("notes", &NoteList::notes, "In the order of their ids")
      .Description("The notes");
  RegisterStruct<NoteEdit>(types, prefix + "NoteEdit")
      .Field("text", &NoteEdit::text)
      .Field("priority", &NoteEdit::priority)
      .Description("What a note says");
  RegisterStruct<AccessToken>(types, prefix + "AccessToken").Field("token", &AccessToken::token);

  const std::string note = std::string(kNotesResource) + "/{id}";
  Endpoint(kMethodGet, kNotesResource, &NotesPlugin::GetNotes)
      .Arg("contains", kLocationQuery, true)
      .Description("The notes, or those whose text contains a given text");
  Endpoint(kMethodPut, note, &NotesPlugin::PutNote)
      .Arg("id", kLocationPath)
      .Body("note")
      .Description("Creates or replaces a note; needs a signed-in user");
  Endpoint(kMethodDelete, note, &NotesPlugin::DeleteNote)
      .Arg("id", kLocationPath)
      .Description("Deletes a note; needs a signed-in user");

  // The event PublishNotes sends: the resource event {uri, eventType, data},
  // whose data is the whole NoteList.
  RegisterEvent<PluginResourceEvent>(types, EventNameForUri(kNotesResource))
      .SetDescription("Fired after every change of a note, with the whole list as its data");
}

bool NotesPlugin::Start() {
  ObserveResource<AccessToken>(
      kAccessTokenResource,
      [this](const ResourceEvent<AccessToken>& event) { OnAccessToken(event); });

  const RequestResult<NoteList> starting = Request<NoteList>(kMethodGet, kStartingNotesResource);
  if (!starting.Ok()) {
    Log(kLogWarning, kGroupGeneral, "example-notes: starting without notes: %s",
        starting.Error().message.c_str());
    return true;
  }
  std::lock_guard lock(notesLock);
  for (const Note& note : starting.Value().notes) notes[note.id] = note;
  return true;
}

void NotesPlugin::OnAccessToken(const ResourceEvent<AccessToken>& event) {
  // A Delete carries an empty token; so does a broken sign-in.
  signedIn = !event.data.token.empty();
}

}  // namespace Halden::Examples::Notes
