#pragma once
// g++ 12 has no <format>: every "{}" text goes through fmt under one name, so the code reads
// like std::format and can switch back with one line.
#include <fmt/format.h>
#include <fmt/std.h>

namespace wdrx {
using fmt::format;
using fmt::format_to;
using fmt::format_to_n;
using fmt::formatted_size;
}  // namespace wdrx
