// Event names of resource URIs, and the URI patterns of wildcard observers.
#pragma once

#include <string>
#include <string_view>

namespace Halden {

// The host's event name for changes of `uri`: "OnJsonApiEvent" followed by
// the URI's non-empty path segments, joined with "_", at most three segments
// (five under "qor-platform-config"). "/qor-email-verification/v1/email"
// gives "OnJsonApiEvent_qor-email-verification_v1_email"; one name covers a
// whole subtree of URIs.
std::string EventNameForUri(std::string_view uri);

// Whether `uri` matches `pattern`, where a "*" stands for characters within
// one path segment: it may match nothing before a "/", but a "*" that ends
// the pattern needs at least one character. One pass over both texts,
// without backtracking.
bool MatchesUriPattern(std::string_view pattern, std::string_view uri);

}  // namespace Halden
