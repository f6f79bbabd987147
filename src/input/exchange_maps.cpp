// The exchange maps of the host at the start of an event run: the co-run
// model's soil moisture, roughness and conductivity, and the schedules moved
// so that the host's event begins at the first step.
#include "input/exchange_maps.h"

#include <algorithm>

#include "framework/host_exchange.h"
#include "framework/main_state.h"

namespace kavro {

namespace {

// Saturated conductivity: cm/h in the exchange maps, m/s in the model.
constexpr double cm_per_h_per_m_per_s = 360000.0;

}  // namespace

void read_exchange_maps(main_state& ms) {
  if (ms.qln_event_num_on) {
    ms.precip_period_end = ms.now;
    ms.last_infil_time = ms.now;
    ms.last_chan_time = ms.now;
    ms.next_infil_time = ms.now + ms.dt_days;
    ms.next_chan_time = ms.now + ms.dt_days;
    ms.precip_period_start = ms.now - ms.dt_days;
    if (ms.ov_contam_on) {
      ms.next_ov_contam_time = ms.now;
      ms.last_ov_contam_time = ms.now - ms.dt_days;
    }
  }
  if (!ms.qln_on || !ms.vopa_on || !ms.vopa_first_on) return;
  if (ms.moist_from_vopa_on == 1 &&
      !receive_map(ms, ms.moist_from_vopa_path, ms.init_moisture,
                   "1 Can't open soil moisture exchange file %s for reading\n", ms.tool_mode))
    return;
  if (ms.rough_from_vopa_on == 1 &&
      !receive_map(ms, ms.rough_from_vopa_path, ms.dist_rough, "1 Can't open roughness exchange file %s for reading\n",
                   ms.tool_mode))
    return;
  if (ms.ksat_from_vopa_on == 1) {
    if (!receive_map(ms, ms.ksat_from_vopa_path, ms.conductivity, "1 Can't open Ksat exchange file %s for reading\n",
                     ms.tool_mode))
      return;
    const long n = std::min<long>(ms.n_cells, ms.conductivity.size());
    for (long i = 1; i <= n; ++i) ms.conductivity[i] /= cm_per_h_per_m_per_s;
  }
}

}  // namespace kavro
