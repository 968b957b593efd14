// Text forms of aircraft records for the log.
#include "records/record_texts.hpp"

#include "foundation/format.hpp"

std::string gf_aimoText(const AircraftCodes& codes) {
  const std::string operatorText =
      codes.operatorId != 0 ? "," + airlineCodes[codes.operatorId] : std::string();
  return wdrx::format("{:3}{:4} {:4}{}{:3}", airlineCodes[codes.airlineId], operatorText,
                      modelCodes[codes.modelId], codes.fromDbase != 0 ? "." : " ",
                      codes.cargo != 0 ? "(C)" : "");
}

std::string gf_callsignText(const AcIdentity& ac) { return wdrx::format("{:8}", ac.callsign); }

std::string gf_routeText(const AcIdentity& ac) {
  if (ac.origin.empty() && ac.destination.empty()) return std::string(8, ' ');
  return wdrx::format("{:3}->{:3}", ac.origin.str(), ac.destination.str());
}

std::string gf_acRouteText(const AcIdentity& ac) {
  return wdrx::format("{} {:12} {}", gf_callsignText(ac), ac.registration, gf_routeText(ac));
}

std::string gf_acIdentText(const AcIdentity& ac) {
  return wdrx::format("{} {}", gf_aimoText(ac.codes), gf_acRouteText(ac));
}

std::string gf_acShortText(const AcIdentity& ac) {
  return wdrx::format("{} {} {}", gf_callsignText(ac), ac.registration, gf_aimoText(ac.codes));
}

std::string gf_unmatchedKey(const AcIdentity& ac) {
  return wdrx::format("{} {}", gf_aimoText(ac.codes), ac.registration);
}
