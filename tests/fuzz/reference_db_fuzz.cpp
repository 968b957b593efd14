// The reference database from its decrypted XML: every section read into the tables as at
// start-up, then the lookups built on them. The tables are emptied after each input.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

#include "aircraft/aircraft_codes.hpp"
#include "aircraft/reference_db.hpp"
#include "foundation/user_error.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  try {
    if (gf_readDbaseText(std::string_view(reinterpret_cast<const char*>(data), size))) {
      for (const auto& [prefix, others] : prefixGroups) gf_similarPrefixes(prefix);
      for (std::size_t id = 0; id < modelCodes.size(); ++id) {
        hwsp(static_cast<std::uint16_t>(id));
        gf_modelCategory(static_cast<std::uint16_t>(id));
      }
    }
  } catch (const tql::UserErrorException&) {
    // A section missing or empty: the start-up shows the error to the user.
  }
  wdrx::testing::resetReferenceData();
  modelCodes.clear();
  airlineCodes.clear();
  return 0;
}
