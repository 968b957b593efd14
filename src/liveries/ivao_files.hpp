#pragma once
// Model-matching files of the IVAO network: ...\IVAO_MTL\IVAO_<model>\aircraft.cfg, whose
// titles begin with the model code followed by the airline code.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/scan_task.hpp"

// The folder code of a path ...\IVAO_MTL\IVAO_<code>\aircraft?cfg (any case, either
// separator), or none.
std::optional<std::string> lf_ivaoFolderCode(std::string_view pathText);
// The code shortened as the packages name their variants (B744F -> B744, A320w -> A320).
std::string lf_shortenIVAOModel(std::string code);
// The file's validated model code, or empty (reported).
std::string lf_fixIVAOModel(const std::string& pathText, ScanReports& reports);
// The airline code of a title "<model>[blanks]<3 word characters>...", model in any case.
std::optional<std::string> lf_ivaoTitleAirline(std::string_view title, std::string_view model);

ScanTaskResult lf_searchLiveriesinIVAOFile(std::uint32_t folderNumber, const std::filesystem::path& path,
                                           const ScanInputs& inputs, std::shared_ptr<const FolderEntries> listed = {});
void lf_searchIVAOFltSimSections(CfgFileScan& scan, const std::vector<std::string_view>& lines);
// One section; adds a livery to scan.result only when its airline and model ids are set.
void lf_procesIVAOFltSimSection(CfgFileScan& scan, std::vector<std::string_view>& section);
