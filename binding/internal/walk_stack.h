// The open levels of a tree walked without recursion.
#pragma once

#include <array>
#include <cstddef>
#include <new>
#include <vector>

namespace Halden::internal {

// A last-in first-out stack of walk frames: the first kInlineFrames live in
// the stack object itself, deeper ones on the heap. A walk that keeps one
// frame per open level thus takes the same machine stack whatever the
// tree's depth, and a shallow tree allocates nothing.
//
// Push may move the heap frames: a reference from Back is valid only until
// the next Push.
template <typename Frame, std::size_t kInlineFrames = 32>
class WalkStack {
 public:
  bool Empty() const { return size == 0; }
  Frame& Back() { return size <= kInlineFrames ? near[size - 1] : far.back(); }

  // Throws std::bad_alloc when a frame beyond the inline ones finds no memory.
  void Push(const Frame& frame) {
    if (size < kInlineFrames) {
      near[size] = frame;
    } else {
      far.push_back(frame);
    }
    ++size;
  }
  // For walks that must not throw: false, with nothing pushed, when there is
  // no memory for the frame.
  bool TryPush(const Frame& frame) noexcept {
    try {
      Push(frame);
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  void Pop() {
    if (size > kInlineFrames) far.pop_back();
    --size;
  }

 private:
  std::array<Frame, kInlineFrames> near{};
  std::vector<Frame> far;
  std::size_t size = 0;
};

}  // namespace Halden::internal
