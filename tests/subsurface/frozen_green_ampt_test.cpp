// Multi-layer Green-Ampt infiltration under the permafrost model: a cell
// whose three layers stand at -1 C infiltrates exactly as an unfrozen cell
// whose layers conduct the frozen conductivity K^I 0.01^(1 - I), and keeps
// each layer's impedance.
#include <gtest/gtest.h>

#include <memory>

#include "framework/alloc.h"
#include "framework/main_state.h"
#include "hydromet/frozen_ground_couplings.h"
#include "input/cell_arrays.h"
#include "subsurface/subsurface_steps.h"

namespace kavro {
namespace {

TEST(FrozenGreenAmpt, FrozenLayersInfiltrateAsTheirFrozenConductivity) {
  auto owner = std::make_unique<main_state>();
  main_state& ms = *owner;
  const long n = 2;
  ms.n_cells = n;
  ms.dx = 10.0;
  ms.multi_layer_ga_on = 1;
  ms.soil_redist_on = 1;
  ms.project_params.multi_layer_infil_kotu = 1;
  alloc_cell_arrays(ms);
  ms.elevation.allocate(n);
  const double step = 60.0, start = 2451970.5;
  ms.time_tol = 1.1574074074074074e-7;
  ms.now = ms.last_infil_time = start;
  ms.infil_interval = step;
  ms.infil_interval_days = step / 86400.0;
  ms.next_infil_time = ms.now + ms.infil_interval_days;
  ms.precip_period = ms.infil_interval_days;
  ms.infil_step = 1;
  ms.event_active = 1;
  // Cell 1: permafrost, its layers' nodes at -1 C, conductivity 1 cm/h.
  // Cell 2: no permafrost, each layer conducting what -1 C leaves of 1 cm/h.
  const double frozen_k = frozen_conductivity(1.0, frozen_impedance(-1.0));
  for (int type : {4, 5}) {
    soil_type_params& p = ms.soil_type_table[type];
    for (int l = 1; l <= 3; ++l) {
      p.layer_suction_head[l] = 11.0;
      p.layer_porosity[l] = 0.45;
      p.layer_ks[l] = type == 4 ? 1.0 : frozen_k;
    }
    p.layer_depth[1] = 5.0;
    p.layer_depth[2] = 10.0;
  }
  alloc_ivec(ms.permaf_mask, n, "permaf_mask");
  alloc_dmat_zero(ms.perma_tem, n, 3, "perma_tem");
  alloc_dmat_zero(ms.fr_lq_wat, n, 3, "fr_lq_wat");
  alloc_imat_zero(ms.node_fromKOTU, n, 3, "node_fromKOTU");
  ms.permaf_mask[1] = 1;
  for (int l = 1; l <= 3; ++l) {
    ms.node_fromKOTU[1][l] = l;
    ms.perma_tem[1][l] = -1.0;
  }
  for (long j = 1; j <= n; ++j) {
    ms.soiltype[j] = j == 1 ? 4 : 5;
    ms.ov_depth[j] = 0.2;
    for (int l = 1; l <= 3; ++l) ms.THETA_ML[j][l] = 0.15;
  }
  for (int k = 1; k <= 240; ++k) {
    ms.now = start + k * step / 86400.0;
    infiltration_step(ms);
    ASSERT_EQ(ms.cum_infil[1], ms.cum_infil[2]) << "step " << k;
    ASSERT_EQ(ms.wetdep[1], ms.wetdep[2]) << "step " << k;
  }
  EXPECT_GT(ms.wetdep[1], 10.0) << "the front reached the third layer";
  for (int l = 1; l <= 3; ++l) EXPECT_NEAR(ms.fr_lq_wat[1][l], 0.6940794, 5e-8) << l;
}

}  // namespace
}  // namespace kavro
