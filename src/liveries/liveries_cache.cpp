#include "liveries/liveries_cache.hpp"

#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include <pugixml.hpp>

#include "config/settings.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "foundation/version.hpp"
#include "foundation/xml_meta.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/scan_reports.hpp"
#include "runstate/run_control.hpp"

namespace fs = std::filesystem;

namespace {

struct CacheError {
  int code;
  std::string text;
};

bool lf_loadCache(pugi::xml_document& document) {
  return static_cast<bool>(document.load_file(liveriesScannedFile.c_str()));
}

// The first reason why the reader would refuse the loaded document, or none.
std::optional<CacheError> lf_checkCache(const pugi::xml_document& document) {
  const std::string path = lf_narrowPath(liveriesScannedFile);
  pugi::xml_node root = document.child("root");
  pugi::xml_node liveries = root.child("liveries");
  if (root && !liveries) return CacheError{52, wdrx::format("{} does not contain a <liveries> section", path)};
  bool any = false;
  for (pugi::xml_node element : liveries.children()) {
    if (element.type() != pugi::node_element) continue;
    for (const char* name : {"a", "m", "t"}) {
      if (!element.attribute(name))
        return CacheError{999, wdrx::format("Missing required attribute '{}' in <{}>", name, element.name())};
    }
    any = true;
  }
  if (!any) return CacheError{533, path + " does not contain liveries"};
  return std::nullopt;
}

}  // namespace

void lf_writeLiveriesScanned() {
  if (scannedLiveries.empty()) return;
  pugi::xml_document document;
  XmlMetaInfo meta;
  meta.version = programVersion.text();
  meta.sim = metaSimNumber.load();
  gf_writeXmlMeta(document, meta);
  pugi::xml_node liveries = document.child("root").append_child("liveries");
  for (const LiveryData& livery : scannedLiveries) {
    pugi::xml_node element = liveries.append_child("l");
    element.append_attribute("a").set_value(airlineCodes[livery.codes.airlineId].c_str());
    if (livery.codes.operatorId != 0)
      element.append_attribute("o").set_value(airlineCodes[livery.codes.operatorId].c_str());
    element.append_attribute("m").set_value(modelCodes[livery.codes.modelId].c_str());
    if (livery.codes.cargo) element.append_attribute("c").set_value("true");
    element.append_attribute("t").set_value(livery.title.c_str());
    if (!livery.registration.empty()) element.append_attribute("r").set_value(livery.registration.c_str());
  }

  std::error_code ec;
  fs::create_directories(liveriesScannedFile.parent_path(), ec);
  const FileWrite written = gf_replaceFile(
      liveriesScannedFile, [&](const fs::path& temporary) { return gf_saveXmlWithDeclaration(document, temporary); });
  if (!written.ok) {
    gf_logMarked(wdrx::format("lf_writeLiveriesScanned: could not write {}: {}", lf_pathToUtf8(liveriesScannedFile),
                              written.error));
    return;
  }
  gf_log(wdrx::format("{} liveries in {}", scannedLiveries.size(), lf_narrowPath(liveriesScannedFile)));
}

void lf_readLiveriesScanned() {
  scannedLiveries.clear();
  const std::string path = lf_narrowPath(liveriesScannedFile);
  pugi::xml_document document;
  if (!lf_loadCache(document)) throw tql::UserErrorException(51, wdrx::format("File {} not found", path));
  gf_readXmlMeta(document);  // logs its own complaints; the contents are not used

  if (std::optional<CacheError> error = lf_checkCache(document))
    throw tql::UserErrorException(error->code, error->text);
  for (pugi::xml_node element : document.child("root").child("liveries").children()) {
    if (element.type() != pugi::node_element) continue;
    LiveryData livery;
    livery.title = element.attribute("t").value();
    livery.registration = element.attribute("r").value();
    livery.codes.airlineId = gf_airlineId(element.attribute("a").value());
    livery.codes.operatorId = gf_airlineId(element.attribute("o").value());
    livery.codes.modelId = gf_modelId(element.attribute("m").value());
    livery.codes.cargo = element.attribute("c").as_bool(false) ? 1 : 0;
    scannedLiveries.push_back(std::move(livery));
  }
  lf_sortLiveries(scannedLiveries);
  gf_log(wdrx::format("{:5} liveries read from {}", scannedLiveries.size(), path));
}

bool gf_liveriesCacheUsable() {
  pugi::xml_document document;
  return lf_loadCache(document) && !lf_checkCache(document);
}

bool gf_liveryScanDue() { return SCAN_LIVERIES.value.load() || !gf_liveriesCacheUsable(); }
