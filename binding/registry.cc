#include "binding/registry.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <utility>

#include "binding/fnv1a.h"
#include "binding/internal/builtin_types.h"
#include "binding/property.h"

namespace Halden {

BindingTypeBuilder& BindingTypeBuilder::AddField(
    const std::string& name, const std::string& description, uint32_t offset,
    const StaticType* staticType, const BindingTypeRef& type, const BindingTypeRef& exposedType,
    uint32_t flags, std::unique_ptr<BindingConverter> converter, bool optional) {
  if (existed) return *this;
  BindingFieldDescriptor field;
  field.name = name;
  field.nameHash = Fnv1a(name.c_str());
  field.description = description;
  field.staticType = staticType;
  field.offset = offset;
  field.type = type;
  if (exposedType.code != BindingTypeCode::None) field.exposedType = exposedType;
  field.flags = flags;
  field.converter = std::move(converter);
  field.owner = descriptor;
  field.optional = optional ? 1 : 0;
  descriptor->fields.push_back(std::move(field));
  OrderMembers(*descriptor);
  return *this;
}

// Keys order as a property's do: their bytes up to the first NUL, unsigned.
void BindingTypeBuilder::OrderMembers(BindingTypeDescriptor& type) {
  const std::vector<BindingFieldDescriptor>& fields = type.fields;
  auto key = [&fields](uint32_t i) { return std::string_view(fields[i].name.c_str()); };
  std::vector<uint32_t>& order = type.keyOrder;
  order.resize(fields.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&key](uint32_t a, uint32_t b) {
    return internal::KeyTextLess(key(a), key(b));
  });
  type.writesHostDirectly = true;
  for (std::size_t k = 0; k < order.size(); ++k) {
    const BindingFieldDescriptor& field = fields[order[k]];
    if (field.converter == nullptr || (field.flags & kBindingFieldOmitIfEmpty) != 0 ||
        (k > 0 && key(order[k - 1]) == key(order[k]))) {
      type.writesHostDirectly = false;
    }
  }
}

BindingTypeBuilder& BindingTypeBuilder::AddEnumerator(const std::string& name, int32_t value,
                                                      const std::string& description) {
  if (existed) return *this;
  BindingEnumeratorDescriptor& enumerator = descriptor->enumerators[name];
  enumerator.name = name;
  enumerator.value = value;
  enumerator.description = description;
  enumerator.owner = descriptor;
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::SetDescription(const std::string& text) {
  if (!existed) descriptor->description = text;
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::SetNameSpace(const std::string& text) {
  if (!existed) descriptor->nameSpace = text;
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::AddTag(const std::string& tag) {
  if (!existed && !tag.empty()) descriptor->tags.push_back(tag);
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::AddTags(std::initializer_list<const char*> tags) {
  if (!existed) descriptor->tags.insert(descriptor->tags.end(), tags.begin(), tags.end());
  return *this;
}

BindingEventBuilder& BindingEventBuilder::SetDescription(const std::string& text) {
  if (!existed) descriptor->description = text;
  return *this;
}

BindingEventBuilder& BindingEventBuilder::SetNameSpace(const std::string& text) {
  if (!existed) descriptor->nameSpace = text;
  return *this;
}

BindingEventBuilder& BindingEventBuilder::AddTag(const std::string& tag) {
  if (!existed && !tag.empty()) descriptor->tags.push_back(tag);
  return *this;
}

std::size_t BindingRegistry::TypeIdHash::operator()(uint32_t id) const {
  const char bytes[4] = {static_cast<char>(id & 0xFF), static_cast<char>((id >> 8) & 0xFF),
                         static_cast<char>((id >> 16) & 0xFF), static_cast<char>(id >> 24)};
  uint32_t hash = kFnv1aOffsetBasis;
  for (const char byte : bytes) {
    hash = (hash ^ static_cast<unsigned char>(byte)) * kFnv1aPrime;
  }
  return hash;
}

template <typename Table>
void BindingRegistry::PrepareTable(Table& table) {
  table.max_load_factor(1.0f);
  table.rehash(8);
}

BindingRegistry::BindingRegistry() {
  PrepareTable(functions);
  PrepareTable(events);
  PrepareTable(types);
  PrepareTable(typesById);
  Initialize();
}

BindingRegistry::~BindingRegistry() = default;

void BindingRegistry::Initialize() {
  Clear();
  RegisterBuiltinTypes(*this);
  std::lock_guard<std::mutex> lock(mutex);
  initialized = true;
}

void BindingRegistry::Clear() {
  std::lock_guard<std::mutex> lock(mutex);
  if (!initialized) return;
  // Events and functions refer to types, so they go first.
  events.clear();
  functions.clear();
  functionCount = 0;
  typesById.clear();
  types.clear();
  initialized = false;
}

bool BindingRegistry::IsInitialized() const {
  std::lock_guard<std::mutex> lock(mutex);
  return initialized;
}

BindingTypeBuilder BindingRegistry::RegisterType(uint32_t size, const std::string& name,
                                                 const StaticType& staticType, bool isEnum) {
  auto created = std::make_unique<BindingTypeDescriptor>();
  created->size = size;
  created->isEnum = isEnum ? 1 : 0;
  created->name = name;
  created->typeId = staticType.id;
  created->staticType = &staticType;
  created->registry = this;
  std::lock_guard<std::mutex> lock(mutex);
  auto [it, inserted] = types.try_emplace(name, std::move(created));
  BindingTypeDescriptor* descriptor = it->second.get();
  if (inserted && staticType.id != StaticTypeOf<void>().id) {
    typesById.try_emplace(staticType.id, descriptor);
  }
  return BindingTypeBuilder(this, descriptor, !inserted);
}

BindingEventBuilder BindingRegistry::RegisterEvent(const std::string& name,
                                                   const BindingTypeDescriptor* type) {
  auto created = std::make_unique<BindingEventDescriptor>();
  created->name = name;
  created->type = type;
  std::lock_guard<std::mutex> lock(mutex);
  auto [it, inserted] = events.try_emplace(name, std::move(created));
  return BindingEventBuilder(it->second.get(), !inserted);
}

BindingFunctionDescriptor* BindingRegistry::RegisterFunction(const std::string& name,
                                                             uint32_t argumentCount) {
  std::unique_ptr<BindingFunctionDescriptor> created = CreateDetachedFunction(name, argumentCount);
  std::lock_guard<std::mutex> lock(mutex);
  auto [it, inserted] = functions.try_emplace(name, std::move(created));
  if (inserted) ++functionCount;
  return it->second.get();
}

std::unique_ptr<BindingFunctionDescriptor> BindingRegistry::CreateDetachedFunction(
    const std::string& name, uint32_t argumentCount) const {
  auto function = std::make_unique<BindingFunctionDescriptor>();
  function->name = name;
  function->registry = this;
  if (argumentCount > 0) function->Argument(argumentCount - 1);
  return function;
}

bool BindingRegistry::UnregisterEvent(const std::string& name) {
  // Declared before the lock, so the descriptor is destroyed after unlocking.
  std::unique_ptr<BindingEventDescriptor> removed;
  std::lock_guard<std::mutex> lock(mutex);
  const auto it = events.find(name);
  if (it == events.end()) return false;
  removed = std::move(it->second);
  events.erase(it);
  return true;
}

const BindingTypeDescriptor* BindingRegistry::FindType(const StaticType* staticType) const {
  if (staticType == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  const auto it = typesById.find(staticType->id);
  return it != typesById.end() ? it->second : nullptr;
}

const BindingTypeDescriptor* BindingRegistry::FindTypeByName(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex);
  const auto it = types.find(name);
  return it != types.end() ? it->second.get() : nullptr;
}

const BindingFunctionDescriptor* BindingRegistry::FindFunction(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex);
  const auto it = functions.find(name);
  return it != functions.end() ? it->second.get() : nullptr;
}

const BindingEventDescriptor* BindingRegistry::FindEvent(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex);
  const auto it = events.find(name);
  return it != events.end() ? it->second.get() : nullptr;
}

const std::string* BindingRegistry::EnumeratorName(const StaticType* enumType,
                                                   int32_t value) const {
  const BindingTypeDescriptor* type = FindType(enumType);
  if (type == nullptr) return nullptr;
  for (const auto& [name, enumerator] : type->enumerators) {
    if (enumerator.value == value) return &name;
  }
  return nullptr;
}

std::vector<const BindingFunctionDescriptor*> BindingRegistry::FunctionSnapshot() const {
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<const BindingFunctionDescriptor*> snapshot;
  snapshot.reserve(functions.size());
  for (const auto& [name, function] : functions) snapshot.push_back(function.get());
  return snapshot;
}

std::vector<const BindingTypeDescriptor*> BindingRegistry::TypeSnapshot() const {
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<const BindingTypeDescriptor*> snapshot;
  snapshot.reserve(types.size());
  for (const auto& [name, type] : types) snapshot.push_back(type.get());
  return snapshot;
}

std::vector<const BindingEventDescriptor*> BindingRegistry::EventSnapshot() const {
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<const BindingEventDescriptor*> snapshot;
  snapshot.reserve(events.size());
  for (const auto& [name, event] : events) snapshot.push_back(event.get());
  return snapshot;
}

uint32_t BindingRegistry::FunctionCount() const {
  std::lock_guard<std::mutex> lock(mutex);
  return functionCount;
}

}  // namespace Halden
