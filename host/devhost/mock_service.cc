#include "host/devhost/mock_service.h"

#include <chrono>
#include <random>

#include "formats/json_to_property.h"
#include "formats/property_to_json.h"
#include "host/devhost/json_reply.h"
#include "host/devhost/read_ahead_server.h"

namespace Halden::devhost {
namespace {

constexpr std::size_t kThreads = 4;
constexpr std::size_t kMaxBody = 1 << 20;
constexpr std::size_t kMailboxSize = 100;

// The code a mail's link ends with.
std::string LinkCode(const MockMail& mail) { return mail.link.substr(mail.link.rfind('=') + 1); }

std::string NewLinkCode() {
  static std::mutex lock;
  static std::mt19937_64 generator{std::random_device{}()};
  std::lock_guard guard(lock);
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
  return text;
}

void ReplyText(httplib::Response& response, int status, const std::string& text) {
  response.status = status;
  response.set_content(text, "text/plain; charset=utf-8");
}

void RefuseToken(httplib::Response& response) {
  response.set_header("WWW-Authenticate", "Bearer");
  ReplyText(response, 401, "Unknown or missing bearer token");
}

// How often a hanging answer looks whether its client gave up.
constexpr std::chrono::milliseconds kHangPoll{50};

}  // namespace

BindingProperty MailboxJson(const std::vector<MockMail>& mails) {
  BindingProperty list;
  list.MakeCollection();
  for (const MockMail& mail : mails) {
    BindingProperty& entry = list.Append();
    entry.Member("to").SetString(mail.to);
    entry.Member("locale").SetString(mail.locale);
    entry.Member("link").SetString(mail.link);
    entry.Member("used").SetBool(mail.used);
  }
  return list;
}

MockEmailService::MockEmailService(ValidatedHandler onValidated)
    : server(kThreads, kMaxBody), onValidated(std::move(onValidated)) {}

bool MockEmailService::Bind(int port, std::string& error) {
  if (!server.Bind(port, "--mock-port", error)) return false;
  Route();
  return true;
}

void MockEmailService::Route() {
  httplib::Server& http = server.Http();
  http.Get("/v1/account/status",
           [this](const httplib::Request& request, httplib::Response& response) {
             if (Misbehave("GET /v1/account/status", response)) return;
             std::lock_guard guard(lock);
             const MockAccount* account = Authorized(request, response);
             if (account == nullptr) return;
             BindingProperty status;
             status.Member("email").SetString(account->email);
             status.Member("emailVerified").SetBool(account->verified);
             ReplyJson(response, 200, status);
           });
  http.Put("/v1/account/email",
           [this](const httplib::Request& request, httplib::Response& response) {
             if (!Misbehave("PUT /v1/account/email", response)) PutEmail(request, response);
           });
  http.Post("/v1/account/email/verification",
            [this](const httplib::Request& request, httplib::Response& response) {
              if (!Misbehave("POST /v1/account/email/verification", response)) {
                SendMail(request, response);
              }
            });
  http.Get("/v1/account/email/verify",
           [this](const httplib::Request& request, httplib::Response& response) {
             FollowLink(request, response);
           });
  http.Get("/mailbox", [this](const httplib::Request&, httplib::Response& response) {
    ReplyJson(response, 200, MailboxJson(Mailbox()));
  });
}

MockAccount* MockEmailService::Authorized(const httplib::Request& request,
                                          httplib::Response& response) {
  const std::string authorization = request.get_header_value("Authorization");
  constexpr std::string_view kBearer = "Bearer ";
  if (authorization.starts_with(kBearer)) {
    const std::string token = authorization.substr(kBearer.size());
    for (MockAccount& account : accounts) {
      if (!token.empty() && account.token == token) return &account;
    }
  }
  RefuseToken(response);
  return nullptr;
}

void MockEmailService::Stop() {
  {
    std::lock_guard guard(lock);
    stopping = true;
  }
  stopped.notify_all();
  server.Stop();
}

bool MockEmailService::SetFaults(const BindingProperty& document, std::string& error) {
  std::lock_guard guard(lock);
  return ApplyMockFaults(document, faults, error);
}

void MockEmailService::ClearFaults() {
  std::lock_guard guard(lock);
  faults.clear();
}

BindingProperty MockEmailService::Faults() const {
  std::lock_guard guard(lock);
  return MockFaultsJson(faults);
}

bool MockEmailService::Misbehave(const char* endpoint, httplib::Response& response) {
  std::unique_lock guard(lock);
  const auto found = faults.find(endpoint);
  if (found == faults.end()) return false;
  const MockFault fault = found->second;
  if (stopped.wait_for(guard, fault.delay, [this] { return stopping; })) {
    ReadAheadServer::DropConnection();
    return true;
  }
  switch (fault.answer) {
    case MockFault::Answer::kUsual:
      return false;
    case MockFault::Answer::kStatus:
      response.status = fault.status;
      response.set_content(fault.body,
                           JsonToProperty(fault.body.c_str()).Ok() && !fault.body.empty()
                               ? "application/json"
                               : "text/plain; charset=utf-8");
      return true;
    case MockFault::Answer::kNotJson:
      response.set_content("<!doctype html><title>Maintenance</title><p>Back soon.</p>",
                           "text/html");
      return true;
    case MockFault::Answer::kClose:
      ReadAheadServer::DropConnection();
      return true;
    case MockFault::Answer::kHang:
      while (!ReadAheadServer::ClientLeft() &&
             !stopped.wait_for(guard, kHangPoll, [this] { return stopping; })) {
      }
      ReadAheadServer::DropConnection();
      return true;
    case MockFault::Answer::kRefuseToken:
      RefuseToken(response);
      return true;
  }
  return false;
}

void MockEmailService::PutEmail(const httplib::Request& request, httplib::Response& response) {
  const BindingResult body = JsonToProperty(request.body.c_str());
  const BindingProperty& email = body.Find("email");
  const BindingProperty& password = body.Find("password");
  std::lock_guard guard(lock);
  MockAccount* account = Authorized(request, response);
  if (account == nullptr) return;
  if (!body.Ok() || email.GetKind() != BindingPropertyKind::String ||
      password.GetKind() != BindingPropertyKind::String) {
    ReplyText(response, 400, "Expected a JSON object with the strings email and password");
  } else if (password.GetString() != account->password) {
    ReplyText(response, 400, "Wrong password");
  } else if (email.GetString().find('@') == std::string::npos) {
    ReplyText(response, 400, "Not an email address");
  } else {
    account->email = email.GetString();
    account->verified = false;
    response.status = 204;
  }
}

void MockEmailService::SendMail(const httplib::Request& request, httplib::Response& response) {
  const BindingResult body = JsonToProperty(request.body.c_str());
  std::lock_guard guard(lock);
  MockAccount* account = Authorized(request, response);
  if (account == nullptr) return;
  if (account->email.empty()) {
    ReplyText(response, 409, "The account has no email address");
    return;
  }
  const std::string code = NewLinkCode();
  links[code] = {static_cast<std::size_t>(account - accounts.data()), account->email};
  mailbox.push_back({account->email, body.Find("locale").ToText(),
                     server.Url() + "/v1/account/email/verify?code=" + code});
  if (mailbox.size() > kMailboxSize) {
    links.erase(LinkCode(mailbox.front()));
    mailbox.erase(mailbox.begin());
  }
  response.status = 204;
}

void MockEmailService::FollowLink(const httplib::Request& request, httplib::Response& response) {
  MockAccount validated;
  {
    std::lock_guard guard(lock);
    const std::string code = request.get_param_value("code");
    const auto link = links.find(code);
    if (link == links.end()) {
      ReplyText(response, 404, "This link is unknown or was used already");
      return;
    }
    for (MockMail& mail : mailbox) mail.used = mail.used || LinkCode(mail) == code;
    MockAccount& account = accounts[link->second.first];
    const std::string address = link->second.second;
    links.erase(link);
    if (account.email != address) {
      ReplyText(response, 409, "The account's address changed since this mail was sent");
      return;
    }
    account.verified = true;
    validated = account;
  }
  ReplyText(response, 200, "Validated " + validated.email);
  onValidated(validated);
}

std::optional<std::string> MockEmailService::AccountEmail(const std::string& token) const {
  std::lock_guard guard(lock);
  for (const MockAccount& account : accounts) {
    if (account.token == token) return account.email;
  }
  return std::nullopt;
}

std::vector<MockMail> MockEmailService::Mailbox() const {
  std::lock_guard guard(lock);
  return mailbox;
}

}  // namespace Halden::devhost
