#include <pthread.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "binding/property.h"
#include "binding/property_visitor.h"

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

class DepthCounter : public BindingPropertyVisitor {
 public:
  bool VisitEmpty() override { return true; }
  bool VisitBool(bool) override { return true; }
  bool VisitSigned(int64_t v) override {
    leaf = v;
    return true;
  }
  bool VisitUnsigned(uint64_t) override { return true; }
  bool VisitFloat(double) override { return true; }
  bool VisitString(const InternedString&) override { return true; }
  bool VisitBlob(const std::vector<uint8_t>&) override { return true; }
  bool VisitEnum(const EnumValue&) override { return true; }
  bool BeginCollection(uint32_t) override { return Down(); }
  bool BeginElement(uint32_t) override { return true; }
  bool EndElement(uint32_t) override { return true; }
  bool EndCollection() override { return Up(); }
  bool BeginStructure(uint32_t) override { return Down(); }
  bool BeginMember(const std::string&) override { return true; }
  bool EndMember(const std::string&) override { return true; }
  bool EndStructure() override { return Up(); }

  int depth = 0;
  int deepest = 0;
  int64_t leaf = 0;

 private:
  bool Down() {
    deepest = std::max(deepest, ++depth);
    return true;
  }
  bool Up() {
    --depth;
    return true;
  }
};

struct Outcome {
  int originalDepth = 0;
  int copyDepth = 0;
  int64_t leaf = 0;
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
    DepthCounter original;
    root.Accept(original);
    DepthCounter copied;
    copy.Accept(copied);
    outcome.originalDepth = original.deepest;
    outcome.copyDepth = copied.deepest;
    outcome.leaf = copied.leaf;

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
  EXPECT_EQ(outcome.originalDepth, kDepth);
  EXPECT_EQ(outcome.copyDepth, kDepth);
  EXPECT_EQ(outcome.leaf, kDepth);
  EXPECT_TRUE(outcome.moveEmptiedChild);
}

}  // namespace
}  // namespace Halden
