// Quality factors of the park airport's stand options.
#include "parking/quality.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include <gsl/narrow>

#include "foundation/format.hpp"
#include "parking/stand.hpp"

namespace {

// Weight of a stand by its radius: up to 7 m 0.3, up to 10 m 1.5, else 1.0. The thresholds
// are metres, converted the way a radius read from a file is.
double lf_standWeight(const Stand& stand) {
  if (stand.radius <= 7.0 * metresToNm) return 0.3;
  if (stand.radius <= 10.0 * metresToNm) return 1.5;
  return 1.0;
}

struct ClassScore {
  std::int64_t options = 0;
  std::int64_t slots = 0;
  std::uint8_t days = 0;  // bit d-1 for weekday d

  double score() const {
    const int dayCount = std::popcount(days);
    return static_cast<double>(std::min<std::int64_t>(20 * options, 4000) + 10000 + 100 * dayCount +
                               2 * std::min<std::int64_t>(slots, 600));
  }
};

std::int32_t lf_factor(double sum, double weights) {
  const std::int32_t value = gsl::narrow<std::int32_t>(std::round(sum / weights * 0.00625));
  return std::clamp(value, 0, 100);
}

}  // namespace

QualityPair gf_airportQualityFactors() {
  const bool anyOption = std::any_of(standTable.begin(), standTable.end(),
                                     [](const Stand& stand) { return !stand.options.empty(); });
  if (!anyOption) return {};
  double weights = 0.0, realSum = 0.0, softSum = 0.0;
  for (const Stand& stand : standTable) {
    if (stand.heli || stand.type == 12) continue;
    const double weight = lf_standWeight(stand);
    weights += weight;
    ClassScore real, soft;
    for (const StandOption& option : stand.options) {
      if (option.number == 0) continue;
      ClassScore& score = option.real ? real : soft;
      ++score.options;
      if (option.day >= 1 && option.day <= 7) score.days |= static_cast<std::uint8_t>(1u << (option.day - 1));
      score.slots += option.hours.count();
    }
    if (real.options > 0) realSum += real.score() * weight;
    if (soft.options > 0) softSum += soft.score() * weight;
  }
  if (weights <= 0.0) return {0, 0};
  return {lf_factor(realSum, weights), lf_factor(softSum, weights)};
}

std::string gf_formatQuality() { return gf_formatQuality(apfQuality); }

std::string gf_formatQuality(const QualityPair& quality) {
  if (quality.real < 0 && quality.soft < 0) return "  ";
  if (quality.real < 45) return wdrx::format("{:2}/{:2}", quality.real, quality.soft);
  return wdrx::format("{:2}", quality.real);
}
