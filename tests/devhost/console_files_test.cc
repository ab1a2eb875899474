#include "host/devhost/console_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/devhost/json_reply.h"

namespace Halden::devhost {
namespace {

TEST(ConsoleFiles, ServesOnlyFlatNamesOfItsKinds) {
  const std::filesystem::path directory =
      std::filesystem::path(::testing::TempDir()) / "console_files_test";
  std::filesystem::create_directories(directory / "sub");
  for (const char* name : {"page.html", "az-09_x.js", "style.css", "icon.svg", "notes.txt",
                           "Upper.js", "sub/inner.js", "empty.css"}) {
    std::ofstream(directory / name) << (std::string(name) == "empty.css" ? "" : name);
  }
  // Beside the directory: what a name climbing out of it would reach.
  std::ofstream(directory.parent_path() / "outside.js") << "outside";
  const std::pair<std::string, const char*> cases[] = {
      // null type: refused
      {"page.html", "text/html; charset=utf-8"},
      {"az-09_x.js", "text/javascript; charset=utf-8"},
      {"style.css", "text/css; charset=utf-8"},
      {"icon.svg", "image/svg+xml"},
      {"empty.css", "text/css; charset=utf-8"},
      {"notes.txt", nullptr},
      {"Upper.js", nullptr},
      {"sub/inner.js", nullptr},
      {"../outside.js", nullptr},
      {"..%2foutside.js", nullptr},
      {".js", nullptr},
      {"missing.js", nullptr},
  };
  // A page is revalidated on every load, so an edited file is seen at once.
  const httplib::Headers page = {{"Content-Security-Policy", kConsoleSecurityPolicy},
                                 {"X-Content-Type-Options", "nosniff"},
                                 {"Referrer-Policy", "no-referrer"},
                                 {"Cache-Control", "no-cache"}};
  for (const auto& [name, type] : cases) {
    httplib::Response response;
    ServeConsoleFile(directory.string(), name, response);
    httplib::Headers headers = type != nullptr ? page : httplib::Headers();
    headers.emplace("Content-Type", type != nullptr ? type : "application/json");
    EXPECT_EQ(response.headers, headers) << name;
    EXPECT_EQ(response.body,
              type != nullptr ? (name == "empty.css" ? "" : name)
                              : MessageJson(404, "No console file '" + name + "' in " +
                                                     directory.string() + " (see --console-dir)"));
  }
  std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace Halden::devhost
