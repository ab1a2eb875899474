// StructRoundTrip: a record of a dozen members of mixed types, with vectors
// and a nested record, converted to a tree and back to a record; against the
// same record through nlohmann::json's NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE
// conversions.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "benchmarks.h"
#include "binding/native_conversion.h"
#include "binding/registration.h"

namespace Halden::bench {
namespace {

enum class Tier : int32_t { Free = 0, Plus = 1, Pro = 2 };

struct Address {
  std::string street;
  std::string city;
  uint32_t zip = 0;
};

struct Account {
  std::string id;
  std::string email;
  bool verified = false;
  int32_t age = 0;
  uint32_t logins = 0;
  uint64_t created = 0;
  double balance = 0;
  Tier tier = Tier::Free;
  std::vector<std::string> tags;
  std::vector<int32_t> scores;
  Address address;
  std::vector<Address> previous;
  std::string locale;
};

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Address, street, city, zip)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Account, id, email, verified, age, logins, created, balance,
                                   tier, tags, scores, address, previous, locale)

Account Sample() {
  Account account;
  account.id = "c0ffee00-1234-5678-9abc-def012345678";
  account.email = "someone@example.com";
  account.verified = true;
  account.age = 37;
  account.logins = 1234;
  account.created = 1700000000123;
  account.balance = 42.75;
  account.tier = Tier::Plus;
  account.tags = {"beta", "newsletter", "eu"};
  account.scores = {10, 250, -3, 7};
  account.address = {"1 Long Street", "Springfield", 12345};
  account.previous = {{"2 Short Road", "Shelbyville", 54321}, {"3 Wide Way", "Capital", 11111}};
  account.locale = "en_GB";
  return account;
}

BindingRegistry& Registry() {
  static BindingRegistry* const registry = [] {
    auto* made = new BindingRegistry;
    RegisterEnum<Tier>(*made, "Tier")
        .Value("Free", Tier::Free)
        .Value("Plus", Tier::Plus)
        .Value("Pro", Tier::Pro);
    RegisterStruct<Address>(*made, "Address")
        .Field("street", &Address::street)
        .Field("city", &Address::city)
        .Field("zip", &Address::zip);
    RegisterStruct<Account>(*made, "Account")
        .Field("id", &Account::id)
        .Field("email", &Account::email)
        .Field("verified", &Account::verified)
        .Field("age", &Account::age)
        .Field("logins", &Account::logins)
        .Field("created", &Account::created)
        .Field("balance", &Account::balance)
        .Field("tier", &Account::tier)
        .Field("tags", &Account::tags)
        .Field("scores", &Account::scores)
        .Field("address", &Account::address)
        .Field("previous", &Account::previous)
        .Field("locale", &Account::locale);
    return made;
  }();
  return *registry;
}

void Ours(benchmark::State& state) {
  const Account account = Sample();
  const BindingRegistry& registry = Registry();
  for (auto _ : state) {
    const BindingResult tree = ConvertToProperty(registry, account);
    Account back;
    const BindingResult converted = ConvertFromProperty(registry, tree, back, "<value>");
    if (!converted.Ok()) state.SkipWithError(converted.Error().c_str());
    benchmark::DoNotOptimize(back);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void PeerNlohmann(benchmark::State& state) {
  const Account account = Sample();
  for (auto _ : state) {
    const nlohmann::json tree = account;
    Account back = tree.get<Account>();
    benchmark::DoNotOptimize(back);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

}  // namespace

void RegisterStructRoundTrip() {
  benchmark::RegisterBenchmark("StructRoundTrip/ours/account", Ours);
  benchmark::RegisterBenchmark("StructRoundTrip/peer-nlohmann/account", PeerNlohmann);
}

}  // namespace Halden::bench
