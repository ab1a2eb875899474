// RapidJSON's reader, writers and error texts, as the body formats use them.
//
// Include RapidJSON through this header only: RapidJSON 1.1.0's internal
// stack adds to its still null pointer before its first allocation. That is
// harmless, but clang's sanitizer reports it on the first push of every
// reader, writer and string buffer, so the check is left out of RapidJSON's
// own functions (and only there).
#pragma once

#if defined(__clang__)
#pragma clang attribute push(__attribute__((no_sanitize("pointer-overflow"))), apply_to = function)
#endif

#include <rapidjson/error/en.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#if defined(__clang__)
#pragma clang attribute pop
#endif
