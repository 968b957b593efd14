#include "aircraft/reference_db.hpp"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

#include "aircraft/remove_on_exit.hpp"
#include "foundation/data_files.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"

std::set<std::string, std::less<>> cargoModelCodes;
std::set<std::string, std::less<>> cargoOperatorCodes;
std::vector<std::vector<std::string>> similarTypeGroups;
std::vector<std::vector<std::string>> prefixGroupLists;
std::vector<std::vector<std::string>> publisherNames;
std::map<std::string, double, std::less<>> wingSpansByModel;
std::set<std::string, std::less<>> simaddonAirports;
std::vector<ThirdPartyAirports> thirdPartyAirports;

namespace {

constexpr int dbaseErrorCode = 61;
constexpr double nmPerMetre = 0.0005399568034557236;

// Cut at "," without trimming; empty pieces dropped. Returns the number of pieces added.
std::size_t lf_cutInto(std::string_view text, std::set<std::string, std::less<>>& target) {
  std::size_t added = 0;
  while (!text.empty()) {
    std::size_t comma = text.find(',');
    std::string_view piece = text.substr(0, comma);
    if (!piece.empty()) {
      target.emplace(piece);
      ++added;
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return added;
}

// Cut at "," without trimming; empty pieces kept; an empty text gives no piece.
std::vector<std::string> lf_cutKeepEmpty(std::string_view text) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  for (;;) {
    std::size_t comma = text.find(',');
    pieces.emplace_back(text.substr(0, comma));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return pieces;
}

pugi::xml_node lf_section(const pugi::xml_document& document, const char* section) {
  return document.child("root").child(section);
}

// Cut 2: one sorted group per element (also an empty one).
void lf_readGroups(const pugi::xml_document& document, const char* section,
                   std::vector<std::vector<std::string>>& groups) {
  if (groups.capacity() < 64) groups.reserve(64);
  for (pugi::xml_node element : lf_section(document, section).children("similar")) {
    std::vector<std::string> group = gf_split(gf_attributeString(element, "types"));
    std::sort(group.begin(), group.end());
    groups.push_back(std::move(group));
  }
  groups.shrink_to_fit();
}

void lf_readPublishers(const pugi::xml_document& document) {
  std::vector<std::string> texts;
  for (pugi::xml_node element : lf_section(document, "publishers").children("pub"))
    texts.push_back(gf_attributeString(element, "names"));
  std::sort(texts.begin(), texts.end());
  texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
  if (publisherNames.capacity() < 640) publisherNames.reserve(640);
  for (const std::string& text : texts) publisherNames.push_back(gf_splitComma(text));
  publisherNames.shrink_to_fit();
  gf_log(wdrx::format("{:5} publishers", publisherNames.size()));
}

void lf_readWingspans(const pugi::xml_document& document) {
  for (pugi::xml_node element : lf_section(document, "wingspans").children("wingspan")) {
    std::string type = gf_attributeString(element, "type");
    if (type.empty() || !knownModelCodes.contains(type)) {
      gf_logMarked(wdrx::format("wingspan model {} is not valid, skipped", type));
      continue;
    }
    double halfSpan = element.attribute("meters").as_double(0.0) * 0.5 * nmPerMetre;
    wingSpansByModel.try_emplace(type, halfSpan);  // the first entry of a type wins
    maxHalfWingSpan = std::max(maxHalfWingSpan, halfSpan);
  }
  for (const auto& [type, halfSpan] : wingSpansByModel) lf_fillWingspan(type, halfSpan);
}

void lf_readFixes(const pugi::xml_document& document) {
  pugi::xml_node section = lf_section(document, "fixes");
  if (!section) return;
  for (pugi::xml_node element : section.children("fx")) {
    std::string wrong = gf_attributeString(element, "wro");
    std::string correct = gf_attributeString(element, "cor");
    if (correct.empty() || !knownModelCodes.contains(correct)) {
      gf_logMarked(wdrx::format("wrong fix {} -> {}, the latter is not valid", wrong, correct));
      continue;
    }
    if (modelCodeFixes.contains(wrong)) {
      gf_logMarked(wdrx::format("wrong part of fix: '{}', already exists, skipped", wrong));
      continue;
    }
    modelCodeFixes.emplace(std::move(wrong), std::move(correct));
  }
  gf_log(wdrx::format("{:5} fixes", modelCodeFixes.size()));
}

// The id of a code through `intern`, kept for the codes seen before: the records repeat a few
// hundred codes, and the code tables take a lock on every call.
class IdMemo {
 public:
  explicit IdMemo(std::uint16_t (*intern)(std::string_view)) : intern_(intern) {}
  std::uint16_t operator()(std::string_view code) {
    auto it = ids_.find(code);
    if (it == ids_.end()) it = ids_.emplace(std::string(code), intern_(code)).first;
    return it->second;
  }

 private:
  std::uint16_t (*intern_)(std::string_view);
  std::unordered_map<std::string, std::uint16_t, Fnv1aHash, std::equal_to<>> ids_;
};

void lf_readRecords(const pugi::xml_document& document) {
  if (dbaseRecords.capacity() < 65536) dbaseRecords.reserve(65536);
  IdMemo airlineId(gf_airlineId);
  IdMemo modelId(gf_modelId);
  for (pugi::xml_node element : lf_section(document, "dbase").children("d")) {
    // One pass over the attributes; the first of a name counts, as with attribute(name).
    pugi::xml_attribute r, a, o, m, c;
    for (pugi::xml_attribute attribute : element.attributes()) {
      const char* name = attribute.name();
      if (name[0] == '\0' || name[1] != '\0') continue;
      pugi::xml_attribute* slot = nullptr;
      switch (name[0]) {
        case 'r': slot = &r; break;
        case 'a': slot = &a; break;
        case 'o': slot = &o; break;
        case 'm': slot = &m; break;
        case 'c': slot = &c; break;
        default: break;
      }
      if (slot != nullptr && !*slot) *slot = attribute;
    }
    DbaseRecord record;
    record.registration = r.as_string("");
    record.codes.airlineId = airlineId(a.as_string(""));
    const std::string_view operatorCode = o.as_string("");
    record.codes.operatorId = operatorCode.empty() ? 0 : airlineId(operatorCode);
    record.codes.modelId = modelId(m.as_string(""));
    record.codes.cargo = c.as_bool(false) ? 1 : 0;
    record.codes.fromDbase = 1;
    dbaseRecords.push_back(std::move(record));
  }
  lf_sortDbaseRecords();
  dbaseRecords.shrink_to_fit();
}

}  // namespace

std::string gf_attributeString(pugi::xml_node node, const char* name) {
  return node.attribute(name).as_string("");
}

void lf_readDbaseSection(const pugi::xml_document& document, const char* section,
                         std::set<std::string, std::less<>>& target, const char* element,
                         const char* attribute) {
  pugi::xml_node root = document.child("root");
  if (!root) throw tql::UserErrorException(dbaseErrorCode, std::string("XML root missing: ") + "root");
  pugi::xml_node node = root.child(section);
  if (!node) throw tql::UserErrorException(dbaseErrorCode, std::string("Missing section: ") + section);
  std::size_t added = 0;
  for (pugi::xml_node child : node.children(element))
    added += lf_cutInto(child.attribute(attribute).as_string(""), target);
  if (added == 0) {
    throw tql::UserErrorException(
        dbaseErrorCode, wdrx::format("In XML file section [{}], element [{}], attribute [{}] is empty.",
                                     section, element, attribute));
  }
}

void lf_readTypesSection(const pugi::xml_document& document, const char* section,
                         std::set<std::string, std::less<>>& target, const char* element) {
  lf_readDbaseSection(document, section, target, element, "types");
}

void lf_readCodesSection(const pugi::xml_document& document, const char* section,
                         std::set<std::string, std::less<>>& target) {
  lf_readDbaseSection(document, section, target, "ICAO", "codes");
}

void lf_modelIdSet(const std::set<std::string, std::less<>>& codes, std::set<std::uint16_t>& target) {
  target.clear();
  for (const std::string& code : codes) target.insert(gf_modelId(code));
}

void lf_readThirdPartyAirports(const pugi::xml_document& document) {
  for (pugi::xml_node element : lf_section(document, "thirdpartiesP3D").children("thirdpartieP3D")) {
    thirdPartyAirports.push_back(
        {gf_attributeString(element, "pub"), lf_cutKeepEmpty(gf_attributeString(element, "arpts"))});
  }
  thirdPartyAirports.shrink_to_fit();
}

bool gf_readDbase() {
  const std::filesystem::path& encPath = paths::dbaseEnc;
  const std::filesystem::path& xmlPath = paths::dbaseXml;
  if (!std::filesystem::exists(encPath)) {
    // A new program folder lacks them all: every missing data file is named at once.
    std::string missing = gf_pathToUtf8(encPath);
    for (const std::filesystem::path* other : {&paths::airportsEnc, &paths::regcodesEnc})
      if (!std::filesystem::exists(*other)) missing += ", " + gf_pathToUtf8(*other);
    throw std::runtime_error(wdrx::format("{} not available", missing));
  }

  RemoveOnExit removeXml(xmlPath, "gf_readDbase");
  if (!gf_streamDecrypt(encPath, xmlPath))
    throw std::runtime_error(wdrx::format("{} stream decrypt failed", gf_pathToUtf8(encPath)));

  pugi::xml_document document;
  pugi::xml_parse_result parsed = document.load_file(xmlPath.c_str());
  if (!parsed) {
    gf_logMarked(wdrx::format("'{}' not read because of {}", gf_pathToUtf8(xmlPath), parsed.description()));
    return false;
  }
  return lf_readDbaseDocument(document);  // removeXml removes input/dbase.xml
}

bool gf_readDbaseText(std::string_view xml) {
  pugi::xml_document document;
  pugi::xml_parse_result parsed = document.load_buffer(xml.data(), xml.size());
  if (!parsed) {
    gf_logMarked(wdrx::format("'{}' not read because of {}", "dbase text", parsed.description()));
    return false;
  }
  return lf_readDbaseDocument(document);
}

bool lf_readDbaseDocument(const pugi::xml_document& document) {
  lf_readTypesSection(document, "aircrafts", knownModelCodes, "aircraft");
  gf_log(wdrx::format("\n{:5} ICAO model codes", knownModelCodes.size()));
  lf_readTypesSection(document, "cargo_types", cargoModelCodes, "cargo_type");

  gf_modelId("");
  for (const std::string& code : knownModelCodes) gf_modelId(code);
  modelFixesActive.store(true, std::memory_order_release);
  for (const std::string& code : cargoModelCodes) gf_modelId(code);

  std::set<std::string, std::less<>> heavy, large, buzjet, highPerf, rotorcraft;
  lf_readTypesSection(document, "heavy", heavy, "hvy");
  lf_readTypesSection(document, "large", large, "lar");
  lf_readTypesSection(document, "buzjet", buzjet, "bzj");
  lf_readTypesSection(document, "high_performance", highPerf, "hpf");
  lf_readTypesSection(document, "rotorcraft", rotorcraft, "rot");
  lf_modelIdSet(heavy, heavyModels);
  lf_modelIdSet(large, largeModels);
  lf_modelIdSet(buzjet, buzjetModels);
  lf_modelIdSet(highPerf, highPerfModels);
  lf_modelIdSet(rotorcraft, rotorcraftModels);

  lf_readGroups(document, "similar_types", similarTypeGroups);
  lf_readGroups(document, "prefixes", prefixGroupLists);
  gf_logFlush(wdrx::format("{:5} prefixes", prefixGroupLists.size()));
  lf_buildPrefixGroups();

  lf_readCodesSection(document, "ICAO_airlines", icaoAirlineCodes);
  gf_log(wdrx::format("{:5} ICAO airline codes", icaoAirlineCodes.size()));
  lf_readCodesSection(document, "cargo_operators", cargoOperatorCodes);
  gf_log(wdrx::format("{:5} cargo operators", cargoOperatorCodes.size()));

  gf_airlineId("");
  for (const std::string& code : icaoAirlineCodes) gf_airlineId(code);
  for (const std::string& code : cargoOperatorCodes) gf_airlineId(code);

  lf_readPublishers(document);
  lf_readWingspans(document);
  lf_readFixes(document);

  lf_readDbaseSection(document, "simaddonsP3D", simaddonAirports, "simaddonP3D", "arpts");
  if (thirdPartyAirports.capacity() < 200) thirdPartyAirports.reserve(200);
  lf_readThirdPartyAirports(document);

  lf_readRecords(document);
  gf_logFlush(wdrx::format("{:5} dbase records read", dbaseRecords.size()));
  return true;
}

namespace wdrx::testing {
void resetReferenceData() {
  knownModelCodes.clear();
  icaoAirlineCodes.clear();
  cargoModelCodes.clear();
  cargoOperatorCodes.clear();
  largeModels.clear();
  heavyModels.clear();
  buzjetModels.clear();
  rotorcraftModels.clear();
  highPerfModels.clear();
  modelCodeFixes.clear();
  modelFixesActive = false;
  similarTypeGroups.clear();
  prefixGroupLists.clear();
  prefixGroups.clear();
  publisherNames.clear();
  wingSpansByModel.clear();
  halfWingSpans.fill(0.0);
  maxHalfWingSpan = 0.0;
  simaddonAirports.clear();
  thirdPartyAirports.clear();
  dbaseRecords.clear();
  titleRegistrationIndex.clear();
}
}  // namespace wdrx::testing
