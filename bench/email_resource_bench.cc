// EmailResource: the feature's endpoints called through the API table of the
// real library, as the client's core calls them.
//   get-loaded: a GET of the resource once the status has been fetched.
//   put: a PUT whose remote request the host answers with 204 at once.
#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>

#include "benchmarks.h"
#include "formats/json_to_property.h"
#include "host/in_process_host.h"
#include "table_call.h"

namespace Halden::bench {
namespace {

struct Feature {
  host::InProcessHost host;
  const ApiEndpointEntry* get = nullptr;
  const ApiEndpointEntry* put = nullptr;

  Feature() {
    host.SetResourceBody("/ksa-auth/v1/authorization/access-token",
                         JsonToProperty(R"({"token":"bench","expiry":1})"));
    host.SetExternalHandler([](const host::ExternalCall& call) {
      host::ExternalAnswer answer;
      if (call.method == 2) {
        answer.body = R"({"email":"bench@example.com","emailVerified":true})";
      } else {
        answer.status = 204;
      }
      return answer;
    });
    if (!host.Load(ZVM_PLUGIN_LIBRARY, ZVM_PLUGIN_EXPORT) || !host.Initialize()) {
      throw std::runtime_error("the plugin did not start: " + host.Error());
    }
    get = &FindEntry(*host.Table(), "GetQorEmailVerificationV1Email");
    put = &FindEntry(*host.Table(), "PutQorEmailVerificationV1Email");
    if (host.Call(2, "/qor-email-verification/v1/email").error) {
      throw std::runtime_error("the status was not loaded");
    }
    // The host keeps no records of the calls measured: that is its own work.
    host.SetRecording(false);
  }
};

Feature& SharedFeature() {
  static Feature* feature = new Feature();
  return *feature;
}

void GetLoaded(benchmark::State& state) {
  Feature& feature = SharedFeature();
  ApiCallRecord call{};
  call.method = 2;
  call.path = "/qor-email-verification/v1/email";
  for (auto _ : state) CallThroughTable(*feature.get, call);
  state.SetItemsProcessed(state.iterations());
}

void Put(benchmark::State& state) {
  Feature& feature = SharedFeature();
  const std::string body = R"({"email":"new@example.com","password":"correct horse"})";
  ApiCallRecord call{};
  call.method = 7;
  call.path = "/qor-email-verification/v1/email";
  call.contentType = "application/json";
  call.body = reinterpret_cast<const uint8_t*>(body.data());
  call.bodyLength = static_cast<uint32_t>(body.size());
  for (auto _ : state) CallThroughTable(*feature.put, call);
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

void RegisterEmailResource() {
  benchmark::RegisterBenchmark("EmailResource/ours/get-loaded", GetLoaded)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("EmailResource/ours/put", Put)->Unit(benchmark::kMicrosecond);
}

}  // namespace Halden::bench
