#include "tests/support/sample_plugin.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "binding/registration.h"

namespace Halden::testing {
namespace {

class CountingStream final : public ResponseStream {
 public:
  // A stream asked for more than 1 MiB fails once it has given 1 MiB.
  explicit CountingStream(uint32_t size)
      : remaining(std::min<uint32_t>(size, 1 << 20)), size(remaining), failing(size > 1 << 20) {}
  bool Read(char* buffer, uint32_t* length, bool* moreData) override {
    if (failing && remaining == 0) return false;
    const uint32_t count = std::min(*length, remaining);
    std::memset(buffer, 'x', count);
    remaining -= count;
    *length = count;
    *moreData = remaining > 0 || failing;
    return true;
  }
  uint32_t ExpectedLength() const override { return size; }

 private:
  uint32_t remaining;
  uint32_t size;
  bool failing;
};

}  // namespace

void SamplePlugin::RegisterApi() {
  BindingRegistry& types = Types();
  RegisterEnum<Color>(types, "SampleColor")
      .Value("Red", Color::Red)
      .Value("Green", Color::Green)
      .Value("Blue", Color::Blue);
  // A name with a character an OpenAPI component's name cannot hold.
  RegisterStruct<Inner>(types, "Sample.Inner/1")
      .Field("name", &Inner::name)
      .Field("count", &Inner::count);
  RegisterStruct<Summary>(types, "SampleSummary")
      .Field("name", &Summary::name)
      .Field("count", &Summary::count)
      .Field("active", &Summary::active)
      .Field("ratio", &Summary::ratio)
      .Field("color", &Summary::color);
  RegisterStruct<Scalars>(types, "SampleScalars")
      .Field("b", &Scalars::b)
      .Field("i8", &Scalars::i8)
      .Field("u8", &Scalars::u8)
      .Field("i16", &Scalars::i16)
      .Field("u16", &Scalars::u16)
      .Field("i32", &Scalars::i32)
      .Field("u32", &Scalars::u32)
      .Field("i64", &Scalars::i64)
      .Field("u64", &Scalars::u64)
      .Field("f", &Scalars::f)
      .Field("d", &Scalars::d)
      .Field("s", &Scalars::s)
      .Field("e", &Scalars::e)
      .Field("v", &Scalars::v)
      .Field("obj", &Scalars::obj)
      .Field("st", &Scalars::st)
      .Field("opt", &Scalars::opt);
  RegisterStruct<Marker>(types, "SampleMarker");
  RegisterStruct<Item>(types, "SampleItem")
      .Field("name", &Item::name)
      .Field("count", &Item::count)
      .Field("parts", &Item::parts)
      .Field("tags", &Item::tags);

  Endpoint(kMethodGet, "/v1/summary", &SamplePlugin::GetSummary);
  EndpointRegistration scalars = Endpoint(kMethodGet, "/v1/scalars", &SamplePlugin::GetScalars);
  scalars.Arg("b");
  for (const char* name : {"i8", "u8", "i16", "u16", "i32", "u32", "i64", "u64", "f", "d", "s", "e",
                           "v", "obj", "st", "opt"}) {
    scalars.Arg(name, kLocationAny, true);
  }
  Endpoint(kMethodPut, "/v1/summary", &SamplePlugin::PutSummary)
      .Body("summary")
      .Arg("limit", kLocationQuery)
      .Arg("verbose", kLocationQuery);
  Endpoint(kMethodPut, "/v1/items/{id}", &SamplePlugin::PutItem)
      .Arg("id", kLocationPath)
      .Body("item")
      .Arg("verbose", kLocationQuery)
      .Arg("trace", kLocationHeader, true)
      .Arg("beyond")  // PutItem takes no fifth parameter: ignored
      .Flag(1)
      .TextList({"a", "b"})
      .TextList({"c"});
  Endpoint(kMethodPost, "/v1/echo", &SamplePlugin::Echo).Body("value");
  Endpoint(kMethodGet, "/v1/files/{+path}", &SamplePlugin::GetFile).Arg("path", kLocationPath);
  Endpoint(kMethodDelete, "/v1/items/{id}", &SamplePlugin::DeleteItem)
      .Arg("id", kLocationPath)
      .Arg("secret", kLocationNone, true);
  Endpoint(kMethodGet, "/v1/fail/{how}", &SamplePlugin::Fail).Arg("how");
  Endpoint(kMethodGet, "/v1/custom", &SamplePlugin::Custom);
  Endpoint(kMethodGet, "/v1/stream", &SamplePlugin::Stream).Arg("size");
  Endpoint(kMethodNamed, "/v1/cache", &SamplePlugin::Purge).NamedMethod("PURGE");
  // Registered again, an endpoint keeps what it was first given, its
  // handler included.
  Endpoint(kMethodNamed, "/v1/cache", &SamplePlugin::GetSummary)
      .NamedMethod("ERASE")
      .Flag(1)
      .TextList({"erase"});
  Endpoint(kMethodAny, "/v1/anything", &SamplePlugin::Anything);
}

ApiResult<Summary> SamplePlugin::GetSummary() {
  ++calls;
  return Summary{"sample", 42, true, 0.5, Color::Blue};
}

ApiResult<Scalars> SamplePlugin::GetScalars(bool b, int8_t i8, uint8_t u8, int16_t i16,
                                            uint16_t u16, int32_t i32, uint32_t u32, int64_t i64,
                                            uint64_t u64, float f, double d, const std::string& s,
                                            Color e, const std::vector<std::string>& v,
                                            const BindingProperty& obj, const Inner& st,
                                            int32_t opt) {
  return Scalars{b, i8, u8, i16, u16, i32, u32, i64, u64, f, d, s, e, v, obj, st, opt};
}

ApiResponse SamplePlugin::PutSummary(const Summary& summary, uint32_t limit, bool verbose) {
  lastSummary = summary;
  lastLimit = limit;
  lastVerbose = verbose;
  return ApiResponse::Ok();
}

ApiResponse SamplePlugin::PutItem(uint32_t id, const Item& item, bool verbose,
                                  const std::string& trace) {
  ++calls;
  lastId = id;
  lastItem = item;
  lastVerbose = verbose;
  lastTrace = trace;
  return ApiResponse::Ok();
}

ApiResponse SamplePlugin::Echo(const BindingProperty& value) {
  ApiResponse response;
  response.result = value;
  return response;
}

ApiResult<std::string> SamplePlugin::GetFile(const std::string& path) { return path; }

ApiResponse SamplePlugin::DeleteItem(uint32_t, const std::string&) { return ApiResponse::Ok(); }

ApiResponse SamplePlugin::Fail(const std::string& how) {
  if (how == "throw") throw std::runtime_error("handler failed");
  if (how == "memory") throw std::bad_alloc();
  if (how == "length") throw std::length_error("vector<T> too long");
  if (how == "other") throw 7;
  return ApiResponse::Error(409, "conflict: " + how);
}

ApiResponse SamplePlugin::Custom() {
  ApiResponse response;
  response.result.SetString("created");
  response.kind = 3;
  response.status = 201;
  response.contentType = "text/plain";
  response.headers = {{"X-One", "1"}, {"X-Two", "2"}};
  return response;
}

ApiResponse SamplePlugin::Stream(uint32_t size) {
  ApiResponse response;
  response.stream = std::make_shared<CountingStream>(size);
  return response;
}

ApiResponse SamplePlugin::Purge() { return ApiResponse::Ok(); }

ApiResponse SamplePlugin::Anything() { return ApiResponse::Ok(); }

void ZVM_CDECL LoadSamplePlugin(PluginRegistration* registration) {
  Plugin::Register(new SamplePlugin, registration, "sample");
}

}  // namespace Halden::testing
