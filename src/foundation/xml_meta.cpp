#include "foundation/xml_meta.hpp"

#include <string_view>
#include <utility>
#include <vector>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "foundation/time_text.hpp"
#include "foundation/version.hpp"

namespace {
constexpr const char* copyrightText = "Copyright (c) Wendrix_P3D. All rights reserved.";

bool lf_appendInfo(pugi::xml_node meta, const char* name, const char* value) {
  auto info = meta.append_child("info");
  if (!info) return false;
  auto nameAttribute = info.append_attribute("name");
  auto valueAttribute = info.append_attribute("value");
  return nameAttribute && valueAttribute && nameAttribute.set_value(name) &&
         valueAttribute.set_value(value);
}
// Elements nested deeper than this are not indented: kept unknown elements may nest thousands
// deep, and indentation would grow the file with the square of the depth.
constexpr int maxIndentedDepth = 32;

// Iterative: a document may nest thousands of levels deep.
bool lf_nestedDeeperThan(const pugi::xml_node& document, int limit) {
  int depth = 1;  // of `node`; the document's own children are at 1
  pugi::xml_node node = document.first_child();
  while (node) {
    if (depth > limit) return true;
    if (const pugi::xml_node child = node.first_child()) {
      node = child;
      ++depth;
      continue;
    }
    while (!node.next_sibling()) {
      node = node.parent();
      --depth;
      if (node == document) return false;
    }
    node = node.next_sibling();
  }
  return false;
}
}  // namespace

bool gf_writeXmlMeta(pugi::xml_node node, const XmlMetaInfo& info) {
  auto root = node.child("root");
  if (!root) root = node.append_child("root");
  if (!root) return false;
  auto meta = root.append_child("meta");
  if (!meta) return false;
  const std::string sim = std::to_string(info.sim);
  bool ok = lf_appendInfo(meta, "author", "Wendrix_P3D");
  ok = lf_appendInfo(meta, "version", info.version.c_str()) && ok;
  ok = lf_appendInfo(meta, "date", gf_dateString().c_str()) && ok;
  ok = lf_appendInfo(meta, "copyright", copyrightText) && ok;
  ok = lf_appendInfo(meta, "sim", sim.c_str()) && ok;
  return ok;
}

std::optional<XmlMetaInfo> gf_readXmlMeta(pugi::xml_node node, bool acceptWithoutSimulator) {
  auto top = node.child("root");
  if (!top) top = node;
  const auto meta = top.child("meta");
  if (!meta) return std::nullopt;

  XmlMetaInfo info;
  bool copyright = false, author = false, date = false, version = false;
  bool sim = false, p3d = false, msfs = false;
  auto take = [](bool& seen, std::string& field, const pugi::xml_node& entry) {
    if (seen) return;
    seen = true;
    field = entry.attribute("value").value();
  };
  for (const auto entry : meta.children("info")) {
    const std::string_view name = entry.attribute("name").value();
    if (name == "copyright") {
      if (copyright) continue;
      if (std::string_view{entry.attribute("value").value()}.empty()) {
        gf_logMarked("no copyright info in the file?");
        return std::nullopt;
      }
      copyright = true;
    } else if (name == "author") {
      take(author, info.author, entry);
    } else if (name == "date") {
      take(date, info.date, entry);
    } else if (name == "version") {
      take(version, info.version, entry);
    } else if (name == "P3D") {
      take(p3d, info.p3d, entry);
    } else if (name == "MSFS") {
      take(msfs, info.msfs, entry);
    } else if (name == "sim" && !sim) {
      sim = true;
      info.sim = entry.attribute("value").as_int(0);
    }
  }
  if (copyright && (acceptWithoutSimulator || p3d || msfs || sim)) return info;
  return std::nullopt;
}

bool gf_saveXmlWithDeclaration(pugi::xml_document& document, const std::filesystem::path& path) {
  pugi::xml_node declaration;
  for (auto child : document.children()) {
    if (child.type() == pugi::node_declaration) {
      declaration = child;
      break;
    }
  }
  if (!declaration) declaration = document.prepend_child(pugi::node_declaration);
  // Well-formed XML wants version first, then encoding, then anything else (standalone): the
  // declaration is rebuilt in that order whatever order it was read in.
  std::vector<std::pair<std::string, std::string>> others;
  for (const auto& attribute : declaration.attributes()) {
    const std::string_view name = attribute.name();
    if (name != "version" && name != "encoding") others.emplace_back(name, attribute.value());
  }
  declaration.remove_attributes();
  declaration.append_attribute("version").set_value("1.0");
  declaration.append_attribute("encoding").set_value("UTF-8");
  for (const auto& [name, value] : others) declaration.append_attribute(name.c_str()).set_value(value.c_str());
  unsigned int format = pugi::format_indent;
  if (lf_nestedDeeperThan(document, maxIndentedDepth)) {
    gf_log(wdrx::format("gf_saveXmlWithDeclaration: {} nests elements deeper than {} levels: "
                        "written without indentation",
                        gf_pathToUtf8(path), maxIndentedDepth));
    format = pugi::format_raw;
  }
  // The path's own characters (wide on Windows), so that any folder name opens.
  return document.save_file(path.c_str(), "  ", format, pugi::encoding_utf8);
}
