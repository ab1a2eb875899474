#include "host/devhost/console_files.h"

#include <fstream>
#include <iterator>

#include "host/devhost/json_reply.h"

namespace Halden::devhost {
namespace {

struct FileKind {
  const char* extension;
  const char* contentType;
};

constexpr FileKind kKinds[] = {
    {".html", "text/html; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
    {".svg", "image/svg+xml"},
};

// Null for a name the console does not ship; a flat name of these
// characters cannot leave the directory.
const char* ContentType(const std::string& name) {
  for (const FileKind& kind : kKinds) {
    const std::string extension = kind.extension;
    if (name.size() <= extension.size() || !name.ends_with(extension)) continue;
    for (std::size_t i = 0; i < name.size() - extension.size(); ++i) {
      const char c = name[i];
      if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')) {
        return nullptr;
      }
    }
    return kind.contentType;
  }
  return nullptr;
}

}  // namespace

void ServeConsoleFile(const std::string& directory, const std::string& name,
                      httplib::Response& response) {
  const char* contentType = ContentType(name);
  std::ifstream file;
  if (contentType != nullptr) file.open(directory + "/" + name, std::ios::binary);
  const std::string content{std::istreambuf_iterator<char>(file), {}};
  if (!file.is_open() || file.bad()) {
    ReplyMessage(response, 404,
                 "No console file '" + name + "' in " + directory + " (see --console-dir)");
    return;
  }
  response.set_header("Content-Security-Policy", kConsoleSecurityPolicy);
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("Referrer-Policy", "no-referrer");
  response.set_header("Cache-Control", "no-cache");
  response.set_content(content, contentType);
}

}  // namespace Halden::devhost
