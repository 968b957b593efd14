#pragma once
// The cache of the last livery scan: output/LiveriesScanned.xml, written at the end of a scan
// and read back by every start-up that processes the installed liveries.
#include <filesystem>

inline const std::filesystem::path liveriesScannedFile{"output/LiveriesScanned.xml"};

// Writes scannedLiveries (nothing when it is empty) to a temporary file and renames it over
// the cache, so that a crash or a full disk never leaves a half-written cache behind.
void lf_writeLiveriesScanned();

// Replaces scannedLiveries by the cache's records, sorted by lf_liveryLess. Throws
// tql::UserErrorException 51 (file missing or not well-formed), 52 (no <liveries>),
// 999 (a record without "a", "m" or "t") or 533 (no livery).
void lf_readLiveriesScanned();

// True when the cache exists and the reader would accept it. A cache that is missing,
// truncated or damaged makes a scan due, so that it never blocks the start-up for ever.
bool gf_liveriesCacheUsable();

// Whether this start-up scans: SCAN_LIVERIES is on or the cache is not usable.
bool gf_liveryScanDue();
