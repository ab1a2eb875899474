// A plugin whose endpoints cover every parameter type, every parameter
// location, each body format and each way a handler can answer, for the
// dispatch tests, the dispatch fuzz target and the dispatch benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "binding/property.h"
#include "plugin/plugin.h"

namespace Halden::testing {

enum class Color : int32_t { Red = 0, Green = 1, Blue = 7 };

struct Inner {
  std::string name;
  uint32_t count = 0;
};

// Five members, as a typical resource.
struct Summary {
  std::string name;
  uint32_t count = 0;
  bool active = false;
  double ratio = 0;
  Color color = Color::Red;
};

// One member per parameter type of GET /v1/scalars.
struct Scalars {
  bool b = false;
  int8_t i8 = 0;
  uint8_t u8 = 0;
  int16_t i16 = 0;
  uint16_t u16 = 0;
  int32_t i32 = 0;
  uint32_t u32 = 0;
  int64_t i64 = 0;
  uint64_t u64 = 0;
  float f = 0;
  double d = 0;
  std::string s;
  Color e = Color::Red;
  std::vector<std::string> v;
  BindingProperty obj;
  Inner st;
  int32_t opt = -1;
};

// A record without fields.
struct Marker {};

struct Item {
  std::string name;
  uint32_t count = 0;
  std::vector<Inner> parts;
  std::vector<std::string> tags;
};

class SamplePlugin : public Plugin {
 public:
  void RegisterApi() override;

  // What the handlers saw last.
  Summary lastSummary;
  uint32_t lastLimit = 0;
  Item lastItem;
  uint32_t lastId = 0;
  bool lastVerbose = false;
  std::string lastTrace;
  int calls = 0;

 private:
  ApiResult<Summary> GetSummary();
  ApiResult<Scalars> GetScalars(bool b, int8_t i8, uint8_t u8, int16_t i16, uint16_t u16,
                                int32_t i32, uint32_t u32, int64_t i64, uint64_t u64, float f,
                                double d, const std::string& s, Color e,
                                const std::vector<std::string>& v, const BindingProperty& obj,
                                const Inner& st, int32_t opt);
  ApiResponse PutSummary(const Summary& summary, uint32_t limit, bool verbose);
  ApiResponse PutItem(uint32_t id, const Item& item, bool verbose, const std::string& trace);
  ApiResponse Echo(const BindingProperty& value);
  ApiResult<std::string> GetFile(const std::string& path);
  ApiResponse DeleteItem(uint32_t id, const std::string& secret);
  ApiResponse Fail(const std::string& how);
  ApiResponse Custom();
  ApiResponse Stream(uint32_t size);
  ApiResponse Purge();
  ApiResponse Anything();
};

// The plugin's export, for InProcessHost::Register.
void ZVM_CDECL LoadSamplePlugin(PluginRegistration* registration);

}  // namespace Halden::testing
