// A stand-in for the remote email-verification service, on a loopback port
// of its own: the accounts it knows by bearer token, and a mailbox where the
// verification mails it sends land.
//
//   GET  /v1/account/status              {"email", "emailVerified"}
//   PUT  /v1/account/email               {"email", "password"}: 204, or 400
//                                        with a short text ("Wrong password")
//   POST /v1/account/email/verification  {"locale"}: 204; mails a link
//   GET  /v1/account/email/verify?code=  the mail's link: validates the
//                                        address the mail was sent to
//   GET  /mailbox                        the mails sent, oldest first
//
// The /v1/account requests need "Authorization: Bearer <token>" with an
// account's token (401 otherwise). A changed address is not verified. The
// mailbox keeps the last 100 mails; the links of older ones are forgotten.
//
// Each of the three /v1/account endpoints misbehaves on demand: the faults
// of mock_faults.h, set and cleared while the service runs.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "binding/property.h"
#include "host/devhost/loopback_server.h"
#include "host/devhost/mock_faults.h"

namespace Halden::devhost {

struct MockAccount {
  std::string token;
  std::string email;
  std::string password;
  bool verified = false;
};

struct MockMail {
  std::string to;
  std::string locale;
  std::string link;
  // Whether the link has been followed; it works once.
  bool used = false;
};

// The mails as GET /mailbox lists them: [{"to", "locale", "link", "used"},
// ...].
BindingProperty MailboxJson(const std::vector<MockMail>& mails);

class MockEmailService {
 public:
  // Called, without the service's lock, when a mail's link validated an
  // address.
  using ValidatedHandler = std::function<void(const MockAccount& account)>;

  explicit MockEmailService(ValidatedHandler onValidated);

  // As LoopbackServer::Bind, for the option --mock-port; the routes are set
  // up once bound.
  bool Bind(int port, std::string& error);
  std::string Url() const { return server.Url(); }
  // The accounts the service knows; set them before Start.
  void SetAccounts(std::vector<MockAccount> known) { accounts = std::move(known); }
  void Start() { server.Start(); }
  // Ends the delays and hangs of faults under way too.
  void Stop();

  // Applies a document of faults (ApplyMockFaults); false with `error` set
  // when it does not read, and nothing changed.
  bool SetFaults(const BindingProperty& document, std::string& error);
  void ClearFaults();
  // The faults in force, in the form SetFaults reads.
  BindingProperty Faults() const;

  std::vector<MockMail> Mailbox() const;
  // The address of the account whose token is `token`, if there is one.
  std::optional<std::string> AccountEmail(const std::string& token) const;

 private:
  void Route();
  // Misbehaves as the fault of `endpoint` says, if it has one: true when
  // that answered the request (or dropped it).
  bool Misbehave(const char* endpoint, httplib::Response& response);
  // The account of the request's bearer token, or null after answering 401;
  // the caller holds the lock.
  MockAccount* Authorized(const httplib::Request& request, httplib::Response& response);
  void PutEmail(const httplib::Request& request, httplib::Response& response);
  void SendMail(const httplib::Request& request, httplib::Response& response);
  void FollowLink(const httplib::Request& request, httplib::Response& response);

  LoopbackServer server;
  ValidatedHandler onValidated;
  mutable std::mutex lock;
  std::vector<MockAccount> accounts;
  std::vector<MockMail> mailbox;
  // A link's code, until followed: the account and the address it
  // validates.
  std::map<std::string, std::pair<std::size_t, std::string>> links;
  std::map<std::string, MockFault> faults;
  // Ends the delays and hangs of faults when the service stops.
  std::condition_variable stopped;
  bool stopping = false;
};

}  // namespace Halden::devhost
