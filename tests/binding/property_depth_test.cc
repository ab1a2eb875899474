#include <pthread.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>

#include "binding/property.h"
#include "tests/binding/recording_visitor.h"

namespace Halden {
namespace {

// Nesting accepted from outside input goes down to 512 levels; the
// recursive release, copy and walk must fit a 1 MiB thread stack there.
constexpr int kDepth = 512;

#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kStackSize = 8u << 20;  // instrumented frames are far larger
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr std::size_t kStackSize = 8u << 20;
#else
constexpr std::size_t kStackSize = 1u << 20;
#endif
#else
constexpr std::size_t kStackSize = 1u << 20;
#endif

// The deepest nesting of containers seen by a walk, and its last scalar.
struct Walked {
  int deepest = 0;
  std::string leaf;
};

Walked Walk(const BindingProperty& tree) {
  binding_test::RecordingVisitor visitor;
  tree.Accept(visitor);
  Walked walked;
  int depth = 0;
  for (const std::string& event : visitor.events) {
    if (event.starts_with("BeginCollection") || event.starts_with("BeginStructure")) {
      walked.deepest = std::max(walked.deepest, ++depth);
    } else if (event.starts_with("EndCollection") || event.starts_with("EndStructure")) {
      --depth;
    } else if (event.starts_with("Visit")) {
      walked.leaf = event;
    }
  }
  return walked;
}

struct Outcome {
  Walked original;
  Walked copy;
  bool moveEmptiedChild = false;
};

void* BuildCopyWalkDestroy(void* out) {
  Outcome& outcome = *static_cast<Outcome*>(out);
  {
    BindingProperty root;
    BindingProperty* node = &root;
    for (int level = 0; level < kDepth; ++level) {
      node = level % 2 == 0 ? &node->Member("m") : &node->Append();
    }
    node->SetSigned(kDepth);

    BindingProperty copy(root);
    outcome.original = Walk(root);
    outcome.copy = Walk(copy);

    // Moving a deep child out of its tree copies it, then releases it.
    BindingProperty moved(std::move(root.Member("m")));
    outcome.moveEmptiedChild = root.Find("m").IsEmpty() && moved.Size() == 1;
  }
  return nullptr;
}

TEST(BindingPropertyDepthTest, DeepTreeOnSmallStack) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, kStackSize), 0);
  Outcome outcome;
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, BuildCopyWalkDestroy, &outcome), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
  EXPECT_EQ(outcome.original.deepest, kDepth);
  EXPECT_EQ(outcome.copy.deepest, kDepth);
  EXPECT_EQ(outcome.copy.leaf, "VisitSigned(512)");
  EXPECT_TRUE(outcome.moveEmptiedChild);
}

}  // namespace
}  // namespace Halden
