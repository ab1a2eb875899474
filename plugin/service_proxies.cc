// The runtime's service-proxy messages: requests waiting for their response
// and handlers of asynchronous messages.
#include <exception>

#include "logging/log_system.h"
#include "plugin/plugin_runtime.h"
#include "util/format.h"

namespace Halden {

std::string PluginRuntime::ServiceProxyMethodKey(const PluginServiceProxyResponse& response) {
  return FormatMessage("%1.%2", response.serviceName, response.methodName);
}

void PluginRuntime::ConnectServiceProxies() {
  using Handler = TypedHostEventHandler<PluginServiceProxyResponse>;
  AddHostHandler("OnServiceProxyUuidEvent",
                 std::make_shared<Handler>([this](const PluginServiceProxyResponse& response) {
                   OnServiceProxyMessage(response, true);
                 }),
                 1);
  AddHostHandler("OnServiceProxyMethodEvent",
                 std::make_shared<Handler>([this](const PluginServiceProxyResponse& response) {
                   OnServiceProxyMessage(response, false);
                 }),
                 1);
  AddHostHandler("OnServiceProxyAsyncEvent",
                 std::make_shared<Handler>([this](const PluginServiceProxyResponse& response) {
                   OnAsyncServiceProxyMessage(response);
                 }),
                 1);
}

void PluginRuntime::OnServiceProxyMessage(const PluginServiceProxyResponse& response, bool byUuid) {
  {
    std::lock_guard lock(proxyLock);
    receivedResponses[byUuid ? response.uuid : ServiceProxyMethodKey(response)] = response;
  }
  Fulfil();
}

void PluginRuntime::OnAsyncServiceProxyMessage(const PluginServiceProxyResponse& response) {
  const std::string key = ServiceProxyMethodKey(response);
  std::lock_guard lock(proxyLock);
  const auto found = asyncHandlers.find(key);
  if (found == asyncHandlers.end()) {
    Log(kLogError, kGroupDebug,
        "%s: Could not find registered handler for async service proxy event %s", shortName.c_str(),
        key.c_str());
    return;
  }
  CallProxyHandler(found->second, response);
}

void PluginRuntime::Fulfil() {
  std::lock_guard lock(proxyLock);
  for (auto received = receivedResponses.begin(); received != receivedResponses.end(); ++received) {
    const auto pending = pendingRequests.find(received->first);
    if (pending == pendingRequests.end()) continue;
    // Both leave the tables before the handler runs: a request is answered
    // once, whatever its handler does.
    const ServiceProxyHandler handler = std::move(pending->second);
    const PluginServiceProxyResponse response = std::move(received->second);
    const std::string key = received->first;
    pendingRequests.erase(pending);
    receivedResponses.erase(received);
    CallProxyHandler(handler, response);
    Log(kLogAlways, kGroupDebug, "%s: Fulfilled service proxy request: %s", shortName.c_str(),
        key.c_str());
    return;
  }
}

void PluginRuntime::CallProxyHandler(const ServiceProxyHandler& handler,
                                     const PluginServiceProxyResponse& response) {
  try {
    handler(response);
  } catch (const std::exception& e) {
    Log(kLogError, kGroupDebug, "%s: Service proxy handler for %s failed: %s", shortName.c_str(),
        ServiceProxyMethodKey(response).c_str(), e.what());
  } catch (...) {
    Log(kLogError, kGroupDebug, "%s: Service proxy handler for %s failed", shortName.c_str(),
        ServiceProxyMethodKey(response).c_str());
  }
}

void PluginRuntime::AddServiceProxyRequest(const std::string& key, ServiceProxyHandler handler) {
  {
    std::lock_guard lock(proxyLock);
    pendingRequests[key] = std::move(handler);
  }
  // A response may have come first.
  Fulfil();
}

void PluginRuntime::AddAsyncServiceProxyHandler(const std::string& methodKey,
                                                ServiceProxyHandler handler) {
  std::lock_guard lock(proxyLock);
  asyncHandlers[methodKey] = std::move(handler);
}

}  // namespace Halden
