// zvm-devhost-load: how many calls of the plugin's email resource a running
// development host answers per second, against a bare cpp-httplib server in
// this process that answers the same JSON with as many workers; the ratio
// is what the host's own layers (framing, dispatch, the plugin) cost. Run by
// hand against a host on the loopback address:
//
//   zvm-devhost-load <host URL> <password> [clients] [calls]
//
// The host must be signed in. Exits 1 when a call fails, 2 on wrong
// arguments.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kEmail = "/qor-email-verification/v1/email";
constexpr std::size_t kServerThreads = 24;
constexpr int kRounds = 10;

struct Outcome {
  std::size_t calls = 0;
  std::size_t failed = 0;
  double seconds = 0;
};

// `calls` calls from `clients` threads, each on a connection of its own;
// with `puts`, every second call is a PUT of a new address.
Outcome Run(const std::string& url, const std::string& password, std::size_t clients,
            std::size_t calls, bool puts) {
  std::atomic<std::size_t> failed{0};
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (std::size_t c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      httplib::Client client(url);
      client.set_keep_alive(true);
      client.set_tcp_nodelay(true);
      const std::size_t count = calls / clients + (c < calls % clients ? 1 : 0);
      for (std::size_t i = 0; i < count; ++i) {
        const bool put = puts && i % 2 == 1;
        const httplib::Result result =
            put ? client.Put(kEmail,
                             R"({"email":"load-)" + std::to_string(c) + "-" + std::to_string(i) +
                                 R"(@example.test","password":")" + password + R"("})",
                             "application/json")
                : client.Get(kEmail);
        if (!result || result->status != (put ? 204 : 200)) ++failed;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return {calls, failed, elapsed.count()};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 5) {
    std::fprintf(stderr, "usage: zvm-devhost-load <host URL> <password> [clients] [calls]\n");
    return 2;
  }
  const std::string url = argv[1];
  const std::string password = argv[2];
  const std::size_t clients = argc > 3 ? std::stoul(argv[3]) : 8;
  const std::size_t calls = argc > 4 ? std::stoul(argv[4]) : 10000;
  if (!url.starts_with("http://127.0.0.1:") && !url.starts_with("http://localhost:")) {
    std::fprintf(stderr, "zvm-devhost-load: only a host on the loopback address is loaded\n");
    return 2;
  }
  if (clients == 0 || calls < clients) {
    std::fprintf(stderr, "zvm-devhost-load: needs a client and a call per client\n");
    return 2;
  }

  httplib::Client probe(url);
  const httplib::Result session = probe.Get(kEmail);
  if (!session || session->status != 200) {
    std::fprintf(stderr, "zvm-devhost-load: GET %s%s failed (signed in?)\n", url.c_str(), kEmail);
    return 1;
  }
  const std::string json = session->body;

  httplib::Server bare;
  // As many workers as the host's front has.
  bare.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
  bare.set_tcp_nodelay(true);
  bare.Get(kEmail, [&json](const httplib::Request&, httplib::Response& response) {
    response.set_content(json, "application/json");
  });
  bare.Put(kEmail,
           [](const httplib::Request&, httplib::Response& response) { response.status = 204; });
  const int port = bare.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { bare.listen_after_bind(); });
  while (!bare.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::string bareUrl = "http://127.0.0.1:" + std::to_string(port);

  // A run's time swings by several times with how the clients' threads and
  // the servers' workers meet on few cores: every case runs in each of
  // `kRounds` rounds, in a shuffled order, and the medians are compared.
  struct Case {
    const char* name;
    const std::string* url;
    bool puts;
    std::vector<Outcome> outcomes;
  } cases[] = {{"devhost", &url, true, {}},
               {"bare cpp-httplib", &bareUrl, true, {}},
               {"devhost", &url, false, {}},
               {"bare cpp-httplib", &bareUrl, false, {}}};
  // The warm-up settles the plugin's pools and the connections' buffers.
  for (Case& c : cases) Run(*c.url, password, clients, calls / 4, c.puts);
  std::mt19937 random(20);
  std::vector<Case*> order;
  for (Case& c : cases) order.push_back(&c);
  for (int round = 0; round < kRounds; ++round) {
    std::shuffle(order.begin(), order.end(), random);
    for (Case* c : order) c->outcomes.push_back(Run(*c->url, password, clients, calls, c->puts));
  }
  bare.stop();
  serving.join();

  std::printf("load: %zu clients, %zu calls per run, medians of %d rounds\n", clients, calls,
              kRounds);
  std::size_t failed = 0;
  double seconds[4];
  for (int i = 0; i < 4; ++i) {
    if (i % 2 == 0) std::printf(i == 0 ? " GET and PUT, half each:\n" : " GET only:\n");
    std::vector<Outcome>& outcomes = cases[i].outcomes;
    std::sort(outcomes.begin(), outcomes.end(),
              [](const Outcome& a, const Outcome& b) { return a.seconds < b.seconds; });
    for (const Outcome& outcome : outcomes) failed += outcome.failed;
    const Outcome& median = outcomes[outcomes.size() / 2];
    seconds[i] = median.seconds;
    std::printf("  %-18s %.0f requests/s\n", cases[i].name, median.calls / median.seconds);
    if (i % 2 == 1) {
      std::printf("  ratio (bare / devhost requests per second): %.2f\n",
                  seconds[i - 1] / seconds[i]);
    }
  }
  std::printf(" %zu calls failed\n", failed);
  return failed > 0 ? 1 : 0;
}
