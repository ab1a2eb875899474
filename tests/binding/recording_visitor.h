// A visitor for tests that records the events of a walk as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "binding/property_visitor.h"

namespace Halden::binding_test {

// Records every event of a walk as text, "Name(argument)"; stops at event
// `stopAt`. Keeps the entries of the strings visited. Folds every event into
// `digest` and counts them, and counts Begin events less End events in
// `open`; with `keep` false that is all it keeps, for walks too long to
// record.
class RecordingVisitor : public BindingPropertyVisitor {
 public:
  explicit RecordingVisitor(std::size_t stop = std::numeric_limits<std::size_t>::max(),
                            bool keep = true)
      : stopAt(stop), keep(keep) {}

  bool VisitEmpty() override { return Add("VisitEmpty", ""); }
  bool VisitBool(bool v) override { return Add("VisitBool", v ? "true" : "false"); }
  bool VisitSigned(int64_t v) override { return Add("VisitSigned", std::to_string(v)); }
  bool VisitUnsigned(uint64_t v) override { return Add("VisitUnsigned", std::to_string(v)); }
  bool VisitFloat(double v) override { return Add("VisitFloat", std::to_string(v)); }
  bool VisitString(const InternedString& v) override {
    if (keep) strings.push_back(&v);
    return Add("VisitString", v.Text());
  }
  bool VisitBlob(const std::vector<uint8_t>& v) override {
    return Add("VisitBlob", std::to_string(v.size()));
  }
  bool VisitEnum(const EnumValue& v) override { return Add("VisitEnum", std::to_string(v.value)); }
  bool BeginCollection(uint32_t n) override { return Add("BeginCollection", std::to_string(n)); }
  bool BeginElement(uint32_t i) override { return Add("BeginElement", std::to_string(i)); }
  bool EndElement(uint32_t i) override { return Add("EndElement", std::to_string(i)); }
  bool EndCollection() override { return Add("EndCollection", ""); }
  bool BeginStructure(uint32_t n) override { return Add("BeginStructure", std::to_string(n)); }
  bool BeginMember(const std::string& key) override { return Add("BeginMember", key); }
  bool EndMember(const std::string& key) override { return Add("EndMember", key); }
  bool EndStructure() override { return Add("EndStructure", ""); }

  std::vector<std::string> events;
  std::vector<const InternedString*> strings;
  std::size_t count = 0;
  uint64_t digest = 0;
  int64_t open = 0;

 private:
  bool Add(const char* name, const std::string& argument) {
    std::string event = std::string(name) + "(" + argument + ")";
    digest = digest * 1099511628211u + std::hash<std::string>()(event);
    open += name[0] == 'B' ? 1 : name[0] == 'E' ? -1 : 0;
    if (keep) events.push_back(std::move(event));
    return ++count <= stopAt;
  }
  std::size_t stopAt;
  bool keep;
};

}  // namespace Halden::binding_test
