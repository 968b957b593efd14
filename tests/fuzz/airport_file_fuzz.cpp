// Airport files (downloaded, shipped or learned): the park positions with their options read into
// a stand table, then every parkpos merged into its stand as a learned file's stand is.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "aircraft/aircraft_codes.hpp"
#include "foundation/user_error.hpp"
#include "foundation/xml_meta.hpp"
#include "fuzz_support.hpp"
#include "parking/apf_format.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  pugi::xml_document document;
  if (!document.load_buffer(data, size)) return 0;
  gf_readXmlMeta(document);
  std::vector<Stand> table;
  try {
    gf_readParkPositions(document, table);
  } catch (const tql::UserErrorException&) {
    // A stand without a usable id: the file is refused with the user error.
  }
  for (const pugi::xml_node parkpos : gf_apfSection(document, "parkpositions").children("parkpos")) {
    const std::string name = parkpos.attribute("id").as_string("");
    for (Stand& stand : table) {
      if (stand.name == name) lf_readLearnedStand(name, parkpos, false, stand);
    }
  }
  modelCodes.clear();
  airlineCodes.clear();
  return 0;
}
