#include "binding/shared_key.h"

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "util/no_destructor.h"

namespace Halden {

namespace {

// Never destroyed: trees in static storage may drop their keys during exit.
class SharedKeyTable {
 public:
  static SharedKeyTable& Instance() {
    static NoDestructor<SharedKeyTable> instance;
    return *instance;
  }

  InternedString* Hold(std::string_view name) {
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = slots.find(name);
    if (found != slots.end()) {
      ++found->second.holders;
      return found->second.entry;
    }
    InternedString* entry = InternedString::MakeShared(std::string(name));
    slots.emplace(entry->Text(), Slot{entry, 1});
    return entry;
  }

  void Drop(InternedString* entry) {
    std::lock_guard<std::mutex> lock(mutex);
    --slots.find(entry->Text())->second.holders;
  }

  void ReleaseUnheld() {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto slot = slots.begin(); slot != slots.end();) {
      if (slot->second.holders != 0) {
        ++slot;
        continue;
      }
      InternedString* entry = slot->second.entry;
      slot = slots.erase(slot);
      delete entry;
    }
    // An empty table gives back its buckets too.
    if (slots.empty()) std::unordered_map<std::string_view, Slot>().swap(slots);
  }

  std::size_t Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return slots.size();
  }

 private:
  struct Slot {
    InternedString* entry;
    uint32_t holders;
  };

  std::mutex mutex;
  // Keyed by the entry's own text.
  std::unordered_map<std::string_view, Slot> slots;
};

}  // namespace

SharedKey::SharedKey(const char* name)
    : entry(*name == '\0' ? InternedString::Empty()
                          : SharedKeyTable::Instance().Hold(std::string_view(name))) {}

SharedKey::SharedKey(SharedKey&& other) noexcept : entry(std::exchange(other.entry, nullptr)) {}

SharedKey& SharedKey::operator=(SharedKey&& other) noexcept {
  if (this != &other) {
    Drop();
    entry = std::exchange(other.entry, nullptr);
  }
  return *this;
}

SharedKey::~SharedKey() { Drop(); }

void SharedKey::Drop() noexcept {
  if (entry != nullptr && entry != InternedString::Empty()) {
    SharedKeyTable::Instance().Drop(entry);
  }
  entry = nullptr;
}

void SharedKey::ReleaseUnheld() { SharedKeyTable::Instance().ReleaseUnheld(); }

std::size_t SharedKey::Count() { return SharedKeyTable::Instance().Count(); }

}  // namespace Halden
