// The demonstration of `zvm-devhost --demo`: the whole story of the feature
// played over HTTP against a running development host and its mock
// service, with a transcript of every request, answer and event.
#pragma once

#include <cstdio>
#include <string>

#include "host/devhost/mock_service.h"

namespace Halden::devhost {

// Plays the story against the host at `url`, whose mock service at
// `mockUrl` knows `account` and which starts signed out:
//   1. GET of the email fails with 500: no token yet
//   2. sign in with the account's token (a token Create event)
//   3. GET loads the account's status
//   4. PUT with a wrong password: 400 and the service's text
//   5. PUT with the right password: the Update event
//   6. POST confirm-email: a mail lands in the mailbox
//   7. follow the mail's link: the validated event; GET shows it verified
//   8. an unreadable messaging message: fatalError published
//   9. sign out (a Delete event); the next request lacks a token again
// Stops at the first step that does not behave so. Returns 0 when every
// step passed, 1 otherwise.
int RunDemo(const std::string& url, const std::string& mockUrl, const MockAccount& account,
            std::FILE* out);

}  // namespace Halden::devhost
