#include "foundation/user_error.hpp"

#include "foundation/format.hpp"

namespace tql {
namespace {
// Code 99 carries a text that stands on its own.
std::string lf_message(int code, const std::string& text) {
  return code == 99 ? text : wdrx::format("{}: {}", code, text);
}
}  // namespace

UserErrorException::UserErrorException(int code, const std::string& text)
    : std::runtime_error(lf_message(code, text)) {}
}  // namespace tql
