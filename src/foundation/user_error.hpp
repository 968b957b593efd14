#pragma once
#include <stdexcept>
#include <string>

namespace tql {
// An error of data or set-up that the user must act on; the code lets the user quote it.
class UserErrorException : public std::runtime_error {
 public:
  UserErrorException(int code, const std::string& text);
};
}  // namespace tql
