#include "transport/nutrient_seams.h"

#include <span>

namespace kavro {

std::unique_ptr<nsm_model> nsm_model_init() { return std::make_unique<nsm_model>(); }

namespace {

// The nine species (in card order) and three further water parameters.
constexpr const char* water_labels[] = {
    "Nitrite (NO2-)",
    "Nitrate (NO3-)",
    "Ammonium (NH4+)",
    "Organic Nitrogen (Organic N)",
    "Organic Phosphorous (Organic P)",
    "Dissolved Phosphorous (Dissolved P)",
    "Algae",
    "Carbonaceous Biochemical Oxygen Demand",
    "Dissolved Oxygen (O2)",
    "Dissolved Org. Carbon",
    "Dissolved Org. Carbon, Fraction Org. C.",
    "Dispersion coefficient",
};
constexpr const char* soil_pool_labels[] = {
    "Organic Active Carbon",
    "Organic Stable Carbon",
    "Ammonium (NH4+)",
    "Nitrate (NO3-)",
    "Organic Active Nitrogen",
    "Organic Fresh Nitrogen",
    "Organic Stable Nitrogen",
    "Mineral Active Phosphorus",
    "Mineral Solution Phosphorus",
    "Mineral Stable Phosphorus",
    "Organic Active Phosphorus",
    "Organic Fresh Phosphorus",
    "Organic Stable Phosphorus",
};

}  // namespace

std::string nsm_constituent_label(int index, int pool_flag) {
  const std::span<const char* const> labels =
      pool_flag ? std::span<const char* const>(soil_pool_labels) : std::span<const char* const>(water_labels);
  if (index < 0 || static_cast<std::size_t>(index) >= labels.size()) return {};
  return labels[static_cast<std::size_t>(index)];
}

int nsm_partner_index(int, int, int) { return -1; }

void nsm_soil_exchange_step(main_state&, double, const one_based_vec<double>&) {}

}  // namespace kavro
