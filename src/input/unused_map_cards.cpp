#include "input/unused_map_cards.h"

#include <string>

#include "framework/main_state.h"
#include "framework/run_warnings.h"

namespace kavro {

void warn_unused_soil_maps(const main_state& ms) {
  const int method = ms.run_params.infil_method;
  if (method == 1 || method == 2 || method == 3) return;
  const project_params_record& p = ms.project_params;
  std::string cards;
  for (const auto& [given, name] : {std::pair{p.use_conductivity, "CONDUCTIVITY"},
                                    std::pair{p.use_capillary, "CAPILLARY"}, std::pair{p.use_porosity, "POROSITY"},
                                    std::pair{p.use_moisture, "MOISTURE"}}) {
    if (!given) continue;
    if (!cards.empty()) cards += ", ";
    cards += name;
  }
  if (cards.empty()) return;
  warn("Warning: the project gives the soil maps of " + cards +
       ", but no infiltration method is switched on (GREEN_AMPT, INF_REDIST or INF_LAYERED_SOIL): the maps are "
       "not used and no water infiltrates.\n");
}

}  // namespace kavro
