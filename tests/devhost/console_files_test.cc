#include "host/devhost/console_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

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
      // null type: refused with 404
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
  for (const auto& [name, type] : cases) {
    httplib::Response response;
    ServeConsoleFile(directory.string(), name, response);
    SCOPED_TRACE(name);
    if (type == nullptr) {
      EXPECT_EQ(response.status, 404);
      EXPECT_EQ(response.body, "{\"message\":\"No console file '" + name + "' in " +
                                   directory.string() + " (see --console-dir)\",\"status\":404}");
      EXPECT_FALSE(response.has_header("Content-Security-Policy"));
      continue;
    }
    EXPECT_EQ(response.get_header_value("Content-Type"), type);
    EXPECT_EQ(response.body, name == "empty.css" ? "" : name);
    EXPECT_EQ(response.get_header_value("Content-Security-Policy"), kConsoleSecurityPolicy);
    EXPECT_EQ(response.get_header_value("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(response.get_header_value("Referrer-Policy"), "no-referrer");
    // Revalidated on every load, so an edited file is seen at once.
    EXPECT_EQ(response.get_header_value("Cache-Control"), "no-cache");
  }
  std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace Halden::devhost
