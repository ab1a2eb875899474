#include "host/devhost/devhost_config.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "formats/yaml_to_property.h"
#include "host/devhost/mock_faults.h"

namespace Halden::devhost {

bool ReadDevhostConfig(const std::string& text, const std::string& mockUrl, DevhostConfig& config,
                       std::string& error) {
  std::string expanded = text;
  const std::string placeholder = "${mock}";
  for (std::size_t at = expanded.find(placeholder); at != std::string::npos;
       at = expanded.find(placeholder, at + mockUrl.size())) {
    expanded.replace(at, placeholder.size(), mockUrl);
  }
  const BindingResult document = YamlToProperty(expanded.data(), expanded.size());
  if (!document.Ok()) {
    error = document.Error();
    return false;
  }
  // A part of another kind would otherwise read as none at all.
  const BindingProperty& resources = document.Find("resources");
  const BindingProperty& accounts = document.Find("accounts");
  if (!document.IsEmpty() && document.GetKind() != BindingPropertyKind::Structure) {
    error = "The configuration is not a mapping of resources, accounts and faults";
    return false;
  }
  if (!resources.IsEmpty() && resources.GetKind() != BindingPropertyKind::Structure) {
    error = "The resources are not a mapping of paths to answers";
    return false;
  }
  if (!accounts.IsEmpty() && accounts.GetKind() != BindingPropertyKind::Collection) {
    error = "The accounts are not a list";
    return false;
  }
  config = {};
  for (const auto& [path, body] : resources.Members()) {
    if (!path.starts_with("/")) {
      error = "The resource path '" + path + "' does not begin with '/'";
      return false;
    }
    config.resources[path] = body;
  }
  for (uint32_t i = 0; i < accounts.Size() && accounts.GetKind() == BindingPropertyKind::Collection;
       ++i) {
    const BindingProperty& account = accounts.Element(i);
    if (account.Find("token").ToText().empty()) {
      error = "Account " + std::to_string(i + 1) + " has no token";
      return false;
    }
    config.accounts.push_back({account.Find("token").ToText(), account.Find("email").ToText(),
                               account.Find("password").ToText(),
                               account.Find("verified").GetBool()});
  }
  const BindingProperty& faults = document.Find("faults");
  std::map<std::string, MockFault> read;
  if (!faults.IsEmpty() && !ApplyMockFaults(faults, read, error)) return false;
  config.faults = faults;
  return true;
}

bool LoadDevhostConfig(const std::string& path, const std::string& mockUrl, DevhostConfig& config,
                       std::string& error) {
  std::ifstream file(path, std::ios::binary);
  // A folder opens as a file that reads nothing; an empty file is no
  // configuration.
  std::error_code ignored;
  if (!file || std::filesystem::is_directory(path, ignored)) {
    error = "Cannot read the configuration file '" + path + "'";
    return false;
  }
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  if (!ReadDevhostConfig(text, mockUrl, config, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace Halden::devhost
