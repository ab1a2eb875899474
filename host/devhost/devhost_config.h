// The development host's configuration file (YAML; devhost.yaml beside this
// header is the commented default): the host resources the plugin reads,
// the accounts of the mock email-verification service and the faults it
// starts with.
//
//   resources:          # path: the body the plugin's GET of it receives
//     /haldenclient/region-locale: {region: EU, locale: en_US, ...}
//   accounts:           # the mock service's accounts
//     - {token: ..., email: ..., password: ..., verified: false}
//   faults:             # as mock_faults.h reads them
//     PUT /v1/account/email: {answer: status, status: 503, body: Down}
//
// The text "${mock}" anywhere in the file stands for the mock service's
// address, "http://127.0.0.1:<port>".
#pragma once

#include <map>
#include <string>
#include <vector>

#include "binding/property.h"
#include "host/devhost/mock_service.h"

namespace Halden::devhost {

struct DevhostConfig {
  std::map<std::string, BindingProperty> resources;
  std::vector<MockAccount> accounts;
  // The document of faults, which reads.
  BindingProperty faults;
};

// Reads the configuration from `text`. False with `error` set when the YAML
// does not read, or a resource path does not begin with "/", or an account
// lacks a token, or the faults do not read.
bool ReadDevhostConfig(const std::string& text, const std::string& mockUrl, DevhostConfig& config,
                       std::string& error);

// The same from the file at `path`; a file that cannot be read is an error.
bool LoadDevhostConfig(const std::string& path, const std::string& mockUrl, DevhostConfig& config,
                       std::string& error);

}  // namespace Halden::devhost
