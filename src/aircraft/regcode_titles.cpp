#include "aircraft/registrations.hpp"

std::unordered_map<std::string, std::string_view> regcodeTitles;
