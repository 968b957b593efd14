#pragma once
// The meta block of the program's XML data files, and saving with the XML declaration.
#include <filesystem>
#include <optional>
#include <string>

#include <pugixml.hpp>

struct XmlMetaInfo {
  std::string author;
  std::string version;
  std::string date;
  std::string p3d;
  std::string msfs;
  int sim = -1;  // -1: no "sim" entry
};

// Appends root/meta (root created when missing) with author, version, date (today), copyright
// and sim; only info.version and info.sim are taken from the record.
bool gf_writeXmlMeta(pugi::xml_node node, const XmlMetaInfo& info);
// Empty without meta, without a non-empty copyright (an empty one is logged), or without any
// "sim", "P3D" or "MSFS" entry unless acceptWithoutSimulator is set.
std::optional<XmlMetaInfo> gf_readXmlMeta(pugi::xml_node node, bool acceptWithoutSimulator = false);
bool gf_saveXmlWithDeclaration(pugi::xml_document& document, const std::filesystem::path& path);
