#include "host/devhost/devhost_options.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace Halden::devhost {
namespace {

TEST(DevhostOptions, BothFormsAndTheirRefusals) {
  DevhostOptions options;
  std::string error;
  ASSERT_TRUE(
      ParseDevhostOptions({"--port=0", "--mock-port", "65535", "--quiet", "--max-body=1",
                           "--email-verification.hostname=http://h", "--config", "c.yaml",
                           "--console-dir=pages", "--plugin", "notes.so", "--export=load_notes"},
                          options, error))
      << error;
  EXPECT_EQ(std::tie(options.port, options.mockPort, options.maxBody, options.timeoutScale),
            std::tuple(0, 65535, 1u, 1.0));
  EXPECT_EQ(std::tie(options.quiet, options.demo, options.reload, options.help),
            std::tuple(true, false, true, false));
  EXPECT_EQ(std::tie(options.hostname, options.config, options.consoleDir, options.plugin,
                     options.exportName),
            std::tuple("http://h", "c.yaml", "pages", "notes.so", "load_notes"));
  DevhostOptions loop;
  ASSERT_TRUE(
      ParseDevhostOptions({"--replay", "r", "--demo", "--port=65535", "--mock-port=0",
                           "--max-body=2147483648", "--no-reload", "--watch=a", "--watch", "b",
                           "--build=make x", "--timeout-scale=0.05", "--record=s.jsonl"},
                          loop, error))
      << error;
  EXPECT_EQ(std::tie(loop.port, loop.maxBody, loop.reload, loop.demo, loop.timeoutScale),
            std::tuple(65535, 2147483648u, false, true, 0.05));
  EXPECT_EQ(std::tie(loop.watch, loop.build, loop.record, loop.replay),
            std::tuple(std::vector<std::string>{"a", "b"}, "make x", "s.jsonl", "r"));
  for (const auto& [argument, refusal] : {
           std::pair{"--bogus", "Unknown option --bogus"},
           {"--demo=1", "--demo takes no value"},
           {"--port", "--port needs a value"},
           {"--port=65536", "The value of --port does not read: '65536'"},
           {"--port=80x", "The value of --port does not read: '80x'"},
           {"--port=-1", "The value of --port does not read: '-1'"},
           {"--mock-port=-1", "The value of --mock-port does not read: '-1'"},
           {"--mock-port=65536", "The value of --mock-port does not read: '65536'"},
           {"--max-body=0", "The value of --max-body does not read: '0'"},
           {"--max-body=2147483649", "The value of --max-body does not read: '2147483649'"},
           {"--no-reload=yes", "--no-reload takes no value"},
           {"--timeout-scale=0", "The value of --timeout-scale does not read: '0'"},
           {"--timeout-scale=2", "The value of --timeout-scale does not read: '2'"},
       }) {
    DevhostOptions refused;
    EXPECT_FALSE(ParseDevhostOptions({argument}, refused, error));
    EXPECT_EQ(error, refusal);
  }
}

}  // namespace
}  // namespace Halden::devhost
