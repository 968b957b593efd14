// The per-category movement values, in AcCategory order.
#include "records/category_tables.hpp"

#include <array>
#include <stdexcept>

namespace {
// Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft.
constexpr std::array<CategoryValues, 6> categoryTable{{
    {0.15, -9.0, -15.0, 250, 250, 100, 200, 5.0, 40.0, 0.035, 0.01, 90.0, 0.5},
    {0.10, -8.0, -18.0, 300, 300, 200, 250, 4.5, 35.0, 0.0275, 0.0085, 110.0, 0.75},
    {0.07, -6.0, -16.5, 400, 350, 200, 300, 4.0, 30.0, 0.02, 0.0075, 140.0, 0.6},
    {0.05, -5.0, -12.5, 450, 450, 250, 400, 3.0, 20.0, 0.015, 0.005, 150.0, 0.5},
    {0.10, -6.0, -20.0, 150, 150, 100, 200, 4.5, 90.0, 0.1, 0.03, 220.0, 1.0},
    {0.20, -20.0, -30.0, 100, 100, 100, 100, 5.0, 75.0, 0.06, 0.03, 0.0, 0.75},
}};
}  // namespace

const CategoryValues& gf_categoryValues(AcCategory category) {
  const auto index = static_cast<std::size_t>(category);
  if (index >= categoryTable.size()) throw std::out_of_range("invalid unordered_map<K, T> key");
  return categoryTable[index];
}
