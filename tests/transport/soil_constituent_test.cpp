// Contaminants in the soil layers: partition by Kd, first-order loss of the
// dissolved share, static soil concentrations and the exchange with the
// surface water, checked against the closed form and conservation.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "transport/constituent_math.h"
#include "transport/nutrient_setup.h"
#include "transport/transport_steps.h"

namespace {

using kavro::main_state;

// Green-Ampt cells of 10 m with a 5 cm mixing layer, porosity 0.45, water
// content 0.30, one contaminant of Kd 2 L/kg, decay 1/day and a load of
// 10 mg/kg: 72.875 g in layer 1 of each cell.
std::unique_ptr<main_state> soil_cells(long n) {
  kavro::error_rec = kavro::error_record{};
  auto ms = std::make_unique<main_state>();
  ms->n_cells = static_cast<int>(n);
  ms->dx = 10.0;
  ms->ov_contam_on = ms->ov_contam_transport_on = ms->soil_contam_on = 1;
  ms->contam_table_read = 1;
  ms->green_ampt_on = 1;
  ms->mixing_layer_depth_cm = 5.0;
  ms->n_soil_layers = 1;
  ms->time_tol = 1.1574074074074074e-7;
  ms->now = 1000.0;
  for (kavro::dvec* v : {&ms->ov_depth, &ms->porosity, &ms->soil_moisture}) v->allocate(n);
  kavro::alloc_dmat_zero(ms->soil_layer_theta, n, 1, "soil_layer_theta");
  kavro::alloc_dmat_zero(ms->soil_layer_thetas, n, 1, "soil_layer_thetas");
  for (long j = 1; j <= n; ++j) {
    ms->porosity[j] = 0.45;
    ms->soil_moisture[j] = 0.30;
  }
  for (kavro::checked_array_2d<double>* a : {&ms->ov_decay_table, &ms->ov_mass_load_table, &ms->soil_kd_table})
    a->add_rows(1, n);
  for (long j = 1; j <= n; ++j) {
    ms->ov_decay_table[1][j] = 1.0;
    ms->ov_mass_load_table[1][j] = 10.0;
    ms->soil_kd_table[1][j] = 2.0;
  }
  kavro::add_constituents(*ms, 1, static_cast<int>(n), 0, 0);
  kavro::init_soil_constituent_mass(*ms);
  ms->soil_contam_last = ms->now;
  return ms;
}

void soil_step(main_state& ms, double dt) {
  ms.now += dt / kavro::seconds_per_day;
  ms.soil_contam_next = ms.now;
  ms.next_et_time = ms.now + dt / kavro::seconds_per_day;
  kavro::soil_contam_step(ms);
}

TEST(SoilConstituents, DissolvedShareDecaysOverADay) {
  for (int fixed : {0, 1}) {
    auto ms = soil_cells(3);
    ms->soil_static_conc_on = fixed;
    ASSERT_NEAR(ms->soil_mass[1][2][1], 72.875, 1e-12);
    for (int s = 0; s < 24; ++s) soil_step(*ms, 3600.0);
    const double fd = 0.30 / (0.55 * 2.0 * 2.65 + 0.30);
    EXPECT_NEAR(ms->soil_frac_dissolved_all[1][2][1], 0.0933126, 1e-7);
    const double scheme = 72.875 * std::pow(1.0 - fd / 24.0, 24);
    if (fixed) {
      EXPECT_DOUBLE_EQ(ms->soil_mass[1][2][1], 72.875);
      EXPECT_NEAR(ms->soil_decay_mass_total[1], 3 * 24 * 72.875 * fd / 24.0 / 1000.0, 1e-12);
    } else {
      EXPECT_NEAR(ms->soil_mass[1][2][1], 66.37040, 1e-5);
      EXPECT_NEAR(ms->soil_mass[1][2][1], scheme, 1e-10);
      EXPECT_NEAR(ms->soil_decay_mass_total[1] * 1000.0 + 3 * ms->soil_mass[1][2][1], 3 * 72.875, 1e-10);
      EXPECT_NEAR(ms->ov_mass_load_table[1][2], ms->soil_mass[1][2][1], 1e-15);
    }
  }
}

TEST(SoilConstituents, ExchangeWithTheSurfaceIsBookedOnce) {
  auto ms = soil_cells(2);
  double added = 0.0, released = 0.0;
  for (int s = 0; s < 10; ++s) {
    ms->ov_to_soil_mass[1][1] = 2.0;   // infiltrated
    ms->soil_to_ov_mass[1][2] = 1.5;   // released to the surface water
    ms->soil_to_ov_mass[1][1] = -0.5;  // taken from the surface water
    added += 2.0 + 0.5;
    released += 1.5;
    soil_step(*ms, 600.0);
  }
  const double soil = ms->soil_mass[1][1][1] + ms->soil_mass[1][2][1];
  EXPECT_NEAR(soil + ms->soil_decay_mass_total[1] * 1000.0, 2 * 72.875 + added - released, 1e-10);
  EXPECT_NEAR(ms->soil_infil_mass_total[1], 0.020, 1e-15);
  EXPECT_NEAR(ms->soil_to_ov_mass_total[1], 0.010, 1e-15);
  EXPECT_EQ(ms->ov_to_soil_mass[1][1], 0.0);
  EXPECT_EQ(ms->soil_to_ov_mass[1][2], 0.0);
}

}  // namespace
