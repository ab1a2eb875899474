// The build's version in a section of its own, compiled into each plugin
// library (zvm_add_plugin), where the development host and
// `readelf -p .zvm_build_info` read it. A Windows DLL carries the same in
// its version resource instead.
#include "zvm_version.h"

// Lines of "key=value"; kept even though no code of the library reads it.
__attribute__((used, section(".zvm_build_info"))) static const char kBuildInfo[] =
    "version=" ZVM_VERSION_TEXT "\ncommit=" ZVM_COMMIT "\nbuild=" ZVM_BUILD_TYPE "\n";
