// The meta block of the program's XML data files, read from any parsed document and written
// back.
#include <cstddef>
#include <cstdint>

#include <pugixml.hpp>

#include "foundation/xml_meta.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pugi::xml_document document;
  if (!document.load_buffer(data, size)) return 0;
  for (const bool acceptWithoutSimulator : {false, true}) {
    if (const auto meta = gf_readXmlMeta(document, acceptWithoutSimulator)) {
      pugi::xml_document written;
      gf_writeXmlMeta(written, *meta);
      gf_readXmlMeta(written, true);
    }
  }
  return 0;
}
