// The open levels of a tree walked without recursion.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <vector>

namespace Halden::internal {

// A last-in first-out stack of walk frames: the first kInlineFrames live in
// the stack object itself, deeper ones on the heap. A walk that keeps one
// frame per open level thus takes the same machine stack whatever the
// tree's depth, and a shallow tree allocates nothing. The inline frames are
// raw storage, made only as they are pushed: every release of a container
// makes a stack, most of them for a level or two.
//
// Push may move the heap frames: a reference from Back is valid only until
// the next Push.
template <typename Frame, std::size_t kInlineFrames = 32>
class WalkStack {
  static_assert(std::is_trivially_copyable_v<Frame> && std::is_trivially_destructible_v<Frame>);

 public:
  bool Empty() const { return size == 0; }
  Frame& Back() { return size <= kInlineFrames ? *Near(size - 1) : far.back(); }

  // Throws std::bad_alloc when a frame beyond the inline ones finds no memory.
  void Push(const Frame& frame) {
    if (size < kInlineFrames) {
      new (Near(size)) Frame(frame);
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
  Frame* Near(std::size_t index) {
    return std::launder(reinterpret_cast<Frame*>(near + index * sizeof(Frame)));
  }

  alignas(Frame) unsigned char near[kInlineFrames * sizeof(Frame)];
  std::vector<Frame> far;
  std::size_t size = 0;
};

}  // namespace Halden::internal
