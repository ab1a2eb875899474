#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "binding/registration.h"
#include "formats/json_to_property.h"
#include "host/in_process_host.h"
#include "plugin/event_name.h"
#include "plugin/memory_stats.h"
#include "plugin/plugin.h"

namespace Halden {
namespace {

struct Note {
  std::string text;
  uint32_t count = 0;
};

// Left out when empty, so it is published through a property.
struct Tagged {
  std::string tag;
};

class ObservingPlugin : public Plugin {
 public:
  void RegisterApi() override {
    RegisterStruct<Note>(Types(), "Note").Field("text", &Note::text).Field("count", &Note::count);
    RegisterStruct<Tagged>(Types(), "Tagged")
        .Field("tag", &Tagged::tag, "", kBindingFieldOmitIfEmpty);
    Endpoint(kMethodGet, "/held", &ObservingPlugin::Held);
  }
  ApiResponse Held() {
    whileHeld();
    return ApiResponse::Ok();
  }
  // Holds one host subscription back, at the moment the host is called.
  void HostSubscribe(const char* eventName, uintptr_t token, HostEventCallback callback,
                     uintptr_t userData, uint32_t kind) override {
    if (holdNextSubscription.exchange(false)) {
      subscriptionHeld.set_value();
      subscriptionReleased.get_future().wait();
    }
    Plugin::HostSubscribe(eventName, token, callback, userData, kind);
  }

  std::function<void()> whileHeld;
  std::atomic<bool> holdNextSubscription{false};
  std::promise<void> subscriptionHeld;
  std::promise<void> subscriptionReleased;
};

void ZVM_CDECL LoadObservingPlugin(PluginRegistration* registration) {
  Plugin::Register(new ObservingPlugin, registration, "observing");
}

// Observes, subscribes, requests and publishes while it registers, before
// the host has given it its functions.
class EarlyPlugin : public ObservingPlugin {
 public:
  void RegisterApi() override {
    ObservingPlugin::RegisterApi();
    ObserveResource<Note>("/early/note", [this](const ResourceEvent<Note>& event) {
      seen.push_back(std::to_string(static_cast<int>(event.eventType)) + ":" + event.data.text);
    });
    Subscribe("/early/other");
    Subscribe("/early/gone");
    Unsubscribe("/early/gone");
    // Unsubscribing too often leaves nothing owed: the next subscription holds.
    Unsubscribe("/early/never");
    Subscribe("/early/back");
    Unsubscribe("/early/back");
    Unsubscribe("/early/back");
    Subscribe("/early/back");
    ObserveResource<Note>("/early/dropped", [this](const ResourceEvent<Note>& event) {
      seen.push_back("dropped:" + event.data.text);
    });
    UnobserveResource("/early/dropped");
    seen.push_back(Request(kMethodGet, "/early/note").Error().message);
    const auto answer = ExternalTextRequest({0, "http://example.invalid/", {}, "", 0, 0});
    seen.push_back(std::to_string(answer.transport) + " " + answer.error);
    PublishResource("/early/note", Note{"x", 1});
    Wait();
  }

  std::vector<std::string> seen;
};

void ZVM_CDECL LoadEarlyPlugin(PluginRegistration* registration) {
  Plugin::Register(new EarlyPlugin, registration, "early");
}

BindingProperty Json(const std::string& text) { return JsonToProperty(text.c_str()); }

// Nested collections, by default deeper than any conversion takes.
BindingProperty Deep(int levels = 600) {
  BindingProperty deep;
  BindingProperty* at = &deep;
  for (int i = 0; i < levels; ++i) at = &at->Append();
  return deep;
}

// A test whose event or call never comes fails instead of hanging.
bool Arrives(std::future<void> future, std::thread& thread) {
  if (future.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return true;
  thread.join();
  return false;
}

BindingProperty ProxyMessage(const std::string& uuid, const std::string& payload) {
  return Json(R"({"serviceName":"svc","methodName":"m","uuid":")" + uuid + R"(","payload":")" +
              payload + "\"}");
}

// The names of the host's subscriptions of `kind`.
std::vector<std::string> Subscribed(const host::InProcessHost& host, uint32_t kind = 0) {
  std::vector<std::string> names;
  for (const host::HostSubscription& subscription : host.Subscriptions()) {
    if (subscription.kind == kind) names.push_back(subscription.name);
  }
  return names;
}

class Events : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Register(&LoadObservingPlugin));
    ASSERT_TRUE(host.Initialize());
    plugin = static_cast<ObservingPlugin*>(host.Registration().instance);
  }

  // `stop` must not return before `released` is set.
  void WaitsFor(const std::function<void()>& stop, std::promise<void>& released) {
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
      stop();
      stopped = true;
    });
    // Long enough for a stop that does not wait to finish first.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(stopped);
    released.set_value();
    stopper.join();
  }

  void Record(const std::string& uri) {
    plugin->ObserveResource<Note>(uri, [this, uri](const ResourceEvent<Note>& event) {
      static const char* const kTypes[] = {"Create", "Update", "Delete"};
      seen.push_back(uri + " " + kTypes[static_cast<int>(event.eventType)] + ":" + event.uri + ":" +
                     event.data.text);
    });
  }

  host::InProcessHost host;
  ObservingPlugin* plugin = nullptr;
  std::vector<std::string> seen;
};

// An event's name keeps three pieces of its uri, five after a first
// "qor-platform-config"; a pattern's star takes the rest of one piece.
TEST(EventNames, NamesAndPatternsOfUris) {
  for (const auto& [uri, name] :
       {std::pair{"/a/b/c/d", "OnJsonApiEvent_a_b_c"},
        {"//a//b/", "OnJsonApiEvent_a_b"},
        {"/qor-platform-config/a/b/c/d/e", "OnJsonApiEvent_qor-platform-config_a_b_c_d"},
        {"/a/qor-platform-config/b/c", "OnJsonApiEvent_a_qor-platform-config_b"}}) {
    EXPECT_EQ(EventNameForUri(uri), name) << uri;
  }
  for (const auto& [pattern, uri, matches] :
       {// Read within its bounds: the "/" after it is not the uri's.
        std::tuple<std::string_view, std::string_view, bool>{"/a/*", std::string_view("/a//", 3),
                                                             false},
        {"/a", "/a/b", false},
        {"/a/b", "/a", false},
        {"*", "", false}}) {
    EXPECT_EQ(MatchesUriPattern(pattern, uri), matches) << pattern << " " << uri;
  }
}

// Observing reads at once and shares one host subscription per name; Stop
// leaves every subscription, lets go of every handler and forgets the
// responses no request took.
TEST_F(Events, ObservingSharesOneHostSubscriptionPerNameUntilStop) {
  host.SetResourceBody("/a/b/c/d", Json(R"({"text":"now"})"));
  Record("/a/b/c/d");
  Record("/a/b/c/e");  // nothing to read
  EXPECT_EQ(seen, std::vector<std::string>{"/a/b/c/d Create:/a/b/c/d:now"});
  EXPECT_EQ(Subscribed(host), std::vector<std::string>{"OnJsonApiEvent_a_b_c"});
  plugin->UnobserveResource("/a/b/c/d");
  plugin->UnobserveResource("/a/b/c/d");
  EXPECT_EQ(Subscribed(host), std::vector<std::string>{"OnJsonApiEvent_a_b_c"});
  plugin->UnobserveResource("/a/b/c/e");
  EXPECT_TRUE(Subscribed(host).empty());
  EXPECT_EQ(Subscribed(host, 1).size(), 3u);  // service-proxy messages
  auto held = std::make_shared<int>(0);
  plugin->AddServiceProxyRequest("u1", [held](const PluginServiceProxyResponse&) {});
  plugin->AddAsyncServiceProxyHandler("svc.m", [held](const PluginServiceProxyResponse&) {});
  host.Deliver("OnServiceProxyUuidEvent", ProxyMessage("u2", "1"), 1);
  plugin->Stop();
  // A subscription asked for after Stop (by a call still running) is not made.
  Record("/z");
  EXPECT_TRUE(host.Subscriptions().empty());
  EXPECT_EQ(held.use_count(), 1);
  bool answered = false;
  plugin->AddServiceProxyRequest("u2", [&](const PluginServiceProxyResponse&) { answered = true; });
  EXPECT_FALSE(answered);
}

TEST(EarlyEvents, ObserversMadeBeforeInitializeSubscribeAndReadWhenItComes) {
  host::InProcessHost host;
  ASSERT_TRUE(host.Register(&LoadEarlyPlugin));
  auto& plugin = *static_cast<EarlyPlugin*>(host.Registration().instance);
  EXPECT_TRUE(host.Calls().empty());
  const std::string refused = "The host has not initialized the plugin yet";
  EXPECT_EQ(plugin.seen, (std::vector<std::string>{"Error response for GET /early/note: " + refused,
                                                   "-1 " + refused}));
  plugin.seen.clear();

  host.SetResourceBody("/early/note", Json(R"({"text":"first"})"));
  host.SetResourceBody("/early/dropped", Json(R"({"text":"never"})"));
  ASSERT_TRUE(host.Initialize());
  EXPECT_EQ(Subscribed(host),
            (std::vector<std::string>{"OnJsonApiEvent_early_back", "OnJsonApiEvent_early_note",
                                      "OnJsonApiEvent_early_other"}));
  host.DeliverResourceEvent("/early/note", "Update", Json(R"({"text":"second"})"));
  EXPECT_EQ(plugin.seen, (std::vector<std::string>{"0:first", "1:second"}));
  EXPECT_TRUE(host.SentEvents().empty());
}

// Exact and wildcard observers get their events. Of payloads only a host can
// make, a kind that does not convert anywhere drops the event, and so do a
// uri that is not a string and a payload that is not a structure.
TEST_F(Events, RoutesToObserversAndDropsPayloadsThatDoNotConvert) {
  Record("/x/y");
  Record("/w/*/c");
  Record("/w/*");
  host.DeliverResourceEvent("x/y", "Update", Json(R"({"text":"1"})"));
  host.DeliverResourceEvent("/x/y", "Update", Json(R"({"text":"wrong","count":-1})"));
  host.DeliverResourceEvent("/x/y", "Delete", Json(R"("garbage")"));
  host.DeliverResourceEvent("/x/y", "Bogus", Json(R"({"text":"no such event type"})"));
  for (const std::string uri : {"/w/b/c", "/w//c", "/w/b/d/c", "/w/b", "/w/"}) {
    EXPECT_EQ(host.Deliver(EventNameForUri("/w/*/c"),
                           Json(R"({"uri":")" + uri + R"(","eventType":"Update","data":{"text":")" +
                                uri + "\"}}")),
              1);
  }
  // Where a uri that is not a string would wrongly go.
  plugin->ObserveResource<BindingProperty>(
      "/", [this](const ResourceEvent<BindingProperty>& e) { seen.push_back("/ " + e.uri); });
  const std::string name = EventNameForUri("/x/y");
  HostEvent event{};
  event.name = name.c_str();
  for (const host::HostSubscription& subscription : host.Subscriptions()) {
    if (subscription.name == name) event.userData = subscription.userData;
  }
  HostMemberEntry data[] = {{"text", {.kind = kHostStringBorrowed, .text = {"t", 0}}, 0}};
  HostMemberEntry members[] = {{"uri", {.kind = kHostStringBorrowed, .text = {"/x/y", 0}}, 0},
                               {"data", {.kind = kHostStructure, .structure = {data, 1}}, 0},
                               {"extra", {}, 0}};
  event.payload.kind = kHostStructure;
  event.payload.structure = {members, 3};
  PluginRuntime::OnHostEvent(&event);
  members[2].value.kind = 11;
  PluginRuntime::OnHostEvent(&event);
  members[2].value.kind = kHostNone;
  members[0].value.kind = kHostSigned;
  PluginRuntime::OnHostEvent(&event);
  // A name nobody subscribed to.
  members[0].value.kind = kHostStringBorrowed;
  const std::string unknown = EventNameForUri("/nobody");
  event.name = unknown.c_str();
  PluginRuntime::OnHostEvent(&event);
  event.name = name.c_str();
  event.payload.kind = kHostSigned;
  PluginRuntime::OnHostEvent(&event);
  PluginRuntime::OnHostEvent(nullptr);
  event.userData = 0;
  PluginRuntime::OnHostEvent(&event);
  event.name = nullptr;
  PluginRuntime::OnHostEvent(&event);
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "/x/y Update:/x/y:1",
                      "/x/y Delete:/x/y:",
                      "/w/*/c Update:/w/b/c:/w/b/c",
                      "/w/*/c Update:/w//c:/w//c",
                      "/w/* Update:/w/b:/w/b",
                      "/x/y Create:/x/y:t",
                  }));
}

// What does not convert is not sent; a record that leaves a member out goes
// through a property, sent alike.
TEST_F(Events, PublishingSendsUnderBothNames) {
  plugin->PublishResource("/x/y", Note{"hi", 2});
  plugin->SendEvent("OnJsonApiEvent_x_y", {"/x/y", PluginResourceEventType::Create, {}}, 4);
  plugin->SendEvent("OnJsonApiEvent", {"/x/y", PluginResourceEventType::Create, Deep()}, 0);
  plugin->PublishResource("/x/y", Tagged{});
  std::vector<std::string> sent;
  for (const host::SentEvent& e : host.SentEvents()) {
    sent.push_back(e.name + " " + std::to_string(e.kind) + " " + e.payload);
  }
  const std::string note = R"({"data":{"count":2,"text":"hi"},"eventType":"Update","uri":"/x/y"})";
  const std::string tagged = R"({"data":{},"eventType":"Update","uri":"/x/y"})";
  EXPECT_EQ(sent,
            (std::vector<std::string>{
                "OnJsonApiEvent_x_y 0 " + note, "OnJsonApiEvent 0 " + note,
                "OnJsonApiEvent_x_y 4 {\"data\":null,\"eventType\":\"Create\",\"uri\":\"/x/y\"}",
                "OnJsonApiEvent_x_y 0 " + tagged, "OnJsonApiEvent 0 " + tagged}));
  // Data as deep as the event may nest it is sent; one level more is not.
  plugin->PublishResource("/x/y", Deep(512));
  EXPECT_EQ(host.SentEvents().size(), 5u);
  plugin->PublishResource("/x/y", Deep(511));
  EXPECT_EQ(host.SentEvents().size(), 7u);
}

TEST_F(Events, FailingHandlersAndReplacementsMidEvent) {
  int calls = 0;
  plugin->ObserveResource<Note>("/t", [&](const ResourceEvent<Note>&) {
    ++calls;
    throw std::runtime_error("observer failed");
  });
  Record("/*");
  for (int i = 0; i < 2; ++i) host.DeliverResourceEvent("/t", "Update", Json("{}"));
  EXPECT_EQ(calls, 2);
  // The exact observer's failure is its own.
  EXPECT_EQ(seen, (std::vector<std::string>{"/* Update:/t:", "/* Update:/t:"}));

  // A handler that replaces itself while it runs keeps its own state alive.
  auto count = std::make_shared<int>(0);
  plugin->ObserveResource<Note>("/t", [this, count](const ResourceEvent<Note>&) {
    plugin->ObserveResource<Note>("/t", [](const ResourceEvent<Note>&) {});
    ++*count;
  });
  for (int i = 0; i < 2; ++i) host.DeliverResourceEvent("/t", "Update", Json("{}"));
  EXPECT_EQ(*count, 1);
  // A handled event leaves no heap block behind, in the host or the plugin.
  seen.reserve(seen.size() + 1);
  const uint64_t live = ReadMemoryStats().liveBlocks;
  host.DeliverResourceEvent("/t", "Update", Json("{}"));
  EXPECT_EQ(ReadMemoryStats().liveBlocks, live);
}

TEST_F(Events, ServiceProxyMessagesReachPendingRequestsOrAsyncHandlers) {
  std::vector<std::string> handled;
  const auto recorder = [&handled](std::string tag) {
    return [&handled, tag](const PluginServiceProxyResponse& r) {
      handled.push_back(tag + " " + r.payload);
    };
  };
  plugin->AddServiceProxyRequest("svc.m", recorder("pending"));
  plugin->AddAsyncServiceProxyHandler("svc.m", recorder("async"));
  host.Deliver("OnServiceProxyAsyncEvent", ProxyMessage("u0", "1"), 1);
  host.Deliver("OnServiceProxyMethodEvent", ProxyMessage("u0", "2"), 1);
  // Kept for a later request.
  host.Deliver("OnServiceProxyMethodEvent", ProxyMessage("u0", "3"), 1);
  host.Deliver("OnServiceProxyUuidEvent", ProxyMessage("u1", "4"), 1);
  plugin->AddServiceProxyRequest("u1", recorder("uuid"));
  // A response is taken once: a second request of its uuid waits.
  plugin->AddServiceProxyRequest("u1", recorder("again"));
  EXPECT_EQ(handled, (std::vector<std::string>{"async 1", "pending 2", "uuid 4"}));

  BindingProperty unknown = ProxyMessage("u2", "5");
  unknown.Member("methodName").SetString("x");
  host.Deliver("OnServiceProxyAsyncEvent", unknown, 1);
  std::vector<host::LoggedLine> lines = host.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2].message, "observing: Fulfilled service proxy request: u1");
  EXPECT_EQ(lines.back().message,
            "observing: Could not find registered handler for async service proxy event svc.x");
  EXPECT_EQ(lines.back().level, 2u);

  // A handler that throws is answered once and blocks no later one.
  int throwing = 0;
  plugin->AddServiceProxyRequest("u3", [&](const PluginServiceProxyResponse&) {
    ++throwing;
    throw std::runtime_error("handler failed");
  });
  host.Deliver("OnServiceProxyUuidEvent", ProxyMessage("u3", "6"), 1);
  host.Deliver("OnServiceProxyUuidEvent", ProxyMessage("u3", "7"), 1);
  EXPECT_NO_THROW(plugin->AddServiceProxyRequest("u3", recorder("later")));
  EXPECT_EQ(throwing, 1);
  EXPECT_EQ(handled.back(), "later 7");
  lines = host.Lines();
  EXPECT_EQ(lines[lines.size() - 3].message,
            "observing: Service proxy handler for svc.m failed: handler failed");
}

// A subscription on its way to the host when Stop comes is either undone by
// Stop or made whole before it: never made after Stop has left.
TEST_F(Events, StopWaitsForASubscriptionOnItsWay) {
  plugin->holdNextSubscription = true;
  std::thread subscriber([this] { plugin->Subscribe("/c/x"); });
  ASSERT_TRUE(Arrives(plugin->subscriptionHeld.get_future(), subscriber));
  WaitsFor([this] { plugin->Stop(); }, plugin->subscriptionReleased);
  subscriber.join();
  EXPECT_TRUE(host.Subscriptions().empty());
}

// The plugin is destroyed once Shutdown returns: its Stop lets the events
// being handled end first, and then the local calls do.
TEST_F(Events, ShutdownWaitsForEventsAndCallsBeingHandled) {
  std::promise<void> eventHeld, eventReleased, callHeld, callReleased;
  plugin->ObserveResource<Note>("/h", [&](const ResourceEvent<Note>&) {
    eventHeld.set_value();
    eventReleased.get_future().wait();
  });
  plugin->whileHeld = [&] {
    callHeld.set_value();
    callReleased.get_future().wait();
  };
  std::thread deliverer([this] { host.DeliverResourceEvent("/h", "Update", Json("{}")); });
  ASSERT_TRUE(Arrives(eventHeld.get_future(), deliverer));
  WaitsFor([this] { plugin->Stop(); }, eventReleased);
  deliverer.join();
  std::thread caller([this] { EXPECT_FALSE(host.Call(kMethodGet, "/held").error); });
  ASSERT_TRUE(Arrives(callHeld.get_future(), caller));
  WaitsFor([this] { host.Shutdown(); }, callReleased);
  caller.join();
  // A shut-down plugin has no endpoint left to call.
  EXPECT_FALSE(host.Call(kMethodGet, "/held").found);
}

TEST_F(Events, ConcurrentDeliveryWhileObservingAndPublishing) {
  constexpr int kThreads = 8, kEvents = 300;
  std::atomic<int> received[kThreads] = {};
  std::atomic<bool> done{false};
  std::thread churn([&] {
    for (int i = 0; !done; ++i) {
      const std::string uri = "/c/" + std::to_string(i % 4);
      plugin->ObserveResource<Note>(uri, [](const ResourceEvent<Note>&) {});
      plugin->PublishResource("/p", Note{"n", 1});
      plugin->UnobserveResource(uri);
    }
  });
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      const std::string uri = "/s/" + std::to_string(t);
      plugin->ObserveResource<Note>(uri, [&received, t](const ResourceEvent<Note>& e) {
        if (e.data.count == static_cast<uint32_t>(t)) ++received[t];
      });
      const BindingProperty data = Json(R"({"count":)" + std::to_string(t) + "}");
      for (int i = 0; i < kEvents; ++i) host.DeliverResourceEvent(uri, "Update", data);
    });
  }
  for (std::thread& sender : senders) sender.join();
  done = true;
  churn.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(received[t], kEvents) << t;
}

}  // namespace
}  // namespace Halden
