// The host's listeners and its recording switch, around the real library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/email_verification/feature_support.h"

namespace Halden::feature_test {
namespace {

TEST_F(FeatureTest, ListenersSeeWhatTheHostNoLongerRecords) {
  std::vector<std::string> events, lines;
  host.SetEventListener([&](const host::SentEvent& event) { events.push_back(event.name); });
  host.SetLogListener([&](const host::LoggedLine& line) { lines.push_back(line.message); });
  host.SetRecording(false);
  Start();
  Message(R"({"emailStatus":"validated"})");
  Message("[1]");
  EXPECT_EQ(events, (std::vector<std::string>{
                        "OnJsonApiEvent_qor-email-verification_v1_email", "OnJsonApiEvent",
                        "OnJsonApiEvent_qor-email-verification_v1_email", "OnJsonApiEvent"}));
  EXPECT_EQ(lines.back(), "EmailVerification: Failed deserializing an OMX message: [1]");
  EXPECT_TRUE(host.SentEvents().empty());
  EXPECT_TRUE(host.Lines().empty());
  EXPECT_TRUE(host.Calls().empty());
  EXPECT_TRUE(host.Requests().empty());
  host.SetRecording(true);
  Message("[2]");
  EXPECT_EQ(host.Lines().size(), 1u);
  EXPECT_EQ(events.size(), 6u);
}

}  // namespace
}  // namespace Halden::feature_test
