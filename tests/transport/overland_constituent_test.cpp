// Constituents on the land surface: one row per constituent, the initial
// masses, the release of pending amounts and the transport sweeps checked
// against conservation, the moments of a pulse on a uniform flow, decay in a
// still pond and the thread count.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/grid_connectivity.h"
#include "transport/constituent_math.h"
#include "transport/nutrient_setup.h"
#include "transport/ov_constituent_kinetics.h"
#include "transport/ov_constituent_transport.h"
#include "transport/transport_steps.h"

namespace {

using kavro::main_state;

// A rows x cols grid of dx-metre cells numbered row by row, still water of
// depth h, `n_contam` contaminants as the table reader leaves them (rows
// already in the eight table arrays) and then added as constituents.
std::unique_ptr<main_state> constituent_grid(int rows, int cols, double dx, double h, int n_contam = 1) {
  kavro::error_rec = kavro::error_record{};
  auto ms = std::make_unique<main_state>();
  ms->rows = ms->grid_rows = rows;
  ms->cols = ms->grid_cols = cols;
  const int n = rows * cols;
  ms->n_cells = n;
  ms->dx = dx;
  ms->mask.allocate(rows + 1, cols + 1);
  int k = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) ms->mask[r][c] = ++k;
  for (kavro::dvec* v : {&ms->ov_depth, &ms->ov_depth_old, &ms->ov_qx, &ms->ov_qy, &ms->rain_rate, &ms->ri_eff,
                         &ms->porosity, &ms->soil_moisture})
    v->allocate(n);
  for (kavro::ivec* v : {&ms->rightcon, &ms->belowcon, &ms->abovecon, &ms->leftcon}) v->allocate(n);
  kavro::build_cell_neighbours(rows, cols, ms->rightcon, ms->belowcon, ms->abovecon, ms->leftcon, ms->mask);
  for (long j = 1; j <= n; ++j) ms->ov_depth[j] = ms->ov_depth_old[j] = h;
  ms->outlet_cell = n;
  ms->time_tol = 1.1574074074074074e-7;
  ms->now = 1000.0;
  ms->ov_contam_on = ms->ov_contam_transport_on = 1;
  ms->contam_table_read = 1;
  ms->n_contaminants = n_contam;
  for (kavro::checked_array_2d<double>* a :
       {&ms->ov_disp_table, &ms->ov_decay_table, &ms->ov_uptake_table, &ms->ov_mass_load_table, &ms->gw_cell_conc,
        &ms->ov_constituent_conc, &ms->ov_con_maxconc})
    a->add_rows(n_contam, n);
  ms->precip_conc.grow(n_contam);
  ms->water_soil_partition_coef.grow(n_contam);
  kavro::add_constituents(*ms, n_contam, n, 0, 0);
  ms->last_ov_contam_time = ms->now;
  ms->next_ov_contam_time = ms->now;
  return ms;
}

// Moves the transport clock one interval of dt seconds on and runs the step.
void transport_once(main_state& ms, double dt) {
  ms.now += dt / kavro::seconds_per_day;
  ms.next_ov_contam_time = ms.now;
  ms.ov_contam_interval_days = dt / kavro::seconds_per_day;
  kavro::ov_contam_transport_step(ms);
}

double surface_mass(const main_state& ms, int i = 1) {
  double s = 0.0;
  for (long j = 1; j <= ms.n_cells; ++j) s += ms.ov_constituent_mass[i][j];
  return s;
}

// Mass-weighted mean and variance of a coordinate of the cell centres (m).
struct moments {
  double mean, var, peak;
};
moments pulse_moments(const main_state& ms, bool along_rows) {
  double m0 = 0, m1 = 0, m2 = 0, peak = 0;
  for (int r = 1; r <= ms.rows; ++r)
    for (int c = 1; c <= ms.cols; ++c) {
      const long j = ms.mask[r][c];
      const double z = ((along_rows ? r : c) - 0.5) * ms.dx;
      const double m = ms.ov_constituent_mass[1][j];
      m0 += m;
      m1 += m * z;
      m2 += m * z * z;
      peak = std::max(peak, ms.ov_constituent_conc[1][j]);
    }
  const double mean = m1 / m0;
  return {mean, m2 / m0 - mean * mean, peak};
}

void set_block(main_state& ms, int r0, int r1, int c0, int c1, double conc) {
  const double area = ms.dx * ms.dx;
  for (int r = r0; r <= r1; ++r)
    for (int c = c0; c <= c1; ++c) {
      const long j = ms.mask[r][c];
      ms.ov_constituent_conc[1][j] = conc;
      ms.ov_constituent_mass[1][j] = conc * ms.ov_depth[j] * area;
    }
}

TEST(ConstituentSetup, OneRowPerConstituentAndInitialMasses) {
  auto ms = constituent_grid(2, 2, 10.0, 0.02, 2);
  EXPECT_EQ(ms->n_constituents, 2);
  for (const kavro::checked_array_2d<double>* a :
       {&ms->ov_disp_table, &ms->ov_decay_table, &ms->ov_constituent_conc, &ms->ov_con_maxconc, &ms->gw_cell_conc,
        &ms->ov_mass_load_table, &ms->ov_constituent_mass, &ms->ov_decay_cell_mass})
    EXPECT_EQ(a->size(), 2) << a->name();
  EXPECT_EQ(ms->precip_conc.size(), 2);
  EXPECT_EQ(ms->water_soil_partition_coef.size(), 2);
  EXPECT_EQ(ms->constituent_type[2], 1);

  // Table values: decay per day, 50 g/m3 on the water, a dry cell.
  for (long j = 1; j <= 4; ++j) {
    ms->ov_decay_table[1][j] = 1.0;
    ms->ov_constituent_conc[1][j] = 50.0;
  }
  ms->ov_depth[4] = 0.0;
  kavro::init_soil_constituent_mass(*ms);
  EXPECT_NEAR(ms->ov_decay_table[1][1], 1.1574074e-5, 1e-12);
  EXPECT_DOUBLE_EQ(ms->ov_constituent_mass[1][1], 100.0);
  EXPECT_EQ(ms->ov_constituent_mass[1][4], 0.0);
  EXPECT_EQ(ms->ov_constituent_conc[1][4], 0.0);
  EXPECT_DOUBLE_EQ(ms->OV_MASS_INIT[1], 0.3);

  // A later call (the nutrients) adds rows only for the new constituents.
  kavro::add_constituents(*ms, 9, ms->n_cells, 1, 0);
  EXPECT_EQ(ms->n_constituents, 11);
  EXPECT_EQ(ms->ov_constituent_conc.size(), 11);
  EXPECT_EQ(ms->first_nsm_constituent, 3);
  EXPECT_EQ(ms->constituent_type[3], 2);
  EXPECT_DOUBLE_EQ(ms->ov_constituent_mass[1][1], 100.0);
}

TEST(ConstituentSetup, SoilLayerOneHoldsTheLoad) {
  kavro::error_rec = kavro::error_record{};
  auto ms = std::make_unique<main_state>();
  ms->n_cells = 2;
  ms->dx = 10.0;
  ms->ov_contam_on = ms->ov_contam_transport_on = 1;
  ms->soil_contam_on = 1;
  ms->green_ampt_on = 1;
  ms->mixing_layer_depth_cm = 5.0;
  ms->n_soil_layers = 1;
  for (kavro::dvec* v : {&ms->ov_depth, &ms->porosity}) v->allocate(2);
  for (long j = 1; j <= 2; ++j) ms->porosity[j] = 0.45;
  ms->ov_mass_load_table.add_rows(1, 2);
  ms->ov_mass_load_table[1][1] = ms->ov_mass_load_table[1][2] = 10.0;  // mg/kg
  kavro::add_constituents(*ms, 1, 2, 0, 0);
  kavro::init_soil_constituent_mass(*ms);
  EXPECT_NEAR(ms->soil_mass[1][1][1], 72.875, 1e-9);
  EXPECT_NEAR(ms->ov_mass_load_table[1][2], 72.875, 1e-9);
  EXPECT_NEAR(ms->OV_LAND_MASS_INIT[1], 2 * 0.072875, 1e-12);
  EXPECT_NEAR(kavro::soil_dissolved_fraction(0.30, 0.45, 2.0), 0.0933126, 1e-7);
}

TEST(ConstituentKinetics, EdgeCases) {
  // Release of pending amounts against their own interval.
  struct release_case {
    double x, t, amount, expected;
  };
  for (const release_case& c : {release_case{300, 600, 8.0, 4.0}, release_case{600, 600.4, 8.0, 8.0},
                                release_case{10, 10, 3.0, 3.0}, release_case{0, 0, 2.0, 2.0}})
    EXPECT_DOUBLE_EQ(kavro::release_fraction(c.x, c.t, c.amount), c.expected) << c.x << " " << c.t;

  // 36 mm/h on a 10 m cell for 100 s at concentration 1 adds 0.1 g.
  auto ms = constituent_grid(1, 1, 10.0, 0.0);
  ms->precip_conc[1] = 1.0;
  kavro::size_constituent_work(*ms);
  ms->con_rain_depth[1] = 36.0 / 3.6e6 * 100.0;  // as the rain step books it
  kavro::precip_constituent_load(*ms, 1);
  EXPECT_NEAR(ms->ov_constituent_mass[1][1], 0.1, 1e-15);
  EXPECT_NEAR(ms->ov_precip_cell_mass[1][1], 0.1, 1e-15);
  EXPECT_NEAR(ms->ov_constituent_conc[1][1], 1.0, 1e-12);  // 1 mm of water at concentration 1

  // A decay sink larger than the cell mass empties the cell and its accumulator.
  auto pond = constituent_grid(1, 1, 10.0, 0.1);
  set_block(*pond, 1, 1, 1, 1, 2.0);  // 20 g
  pond->ov_decay_cell_mass[1][1] = 50.0;
  pond->decay_secs = 10.0;
  transport_once(*pond, 10.0);
  EXPECT_EQ(pond->ov_constituent_mass[1][1], 0.0);
  EXPECT_EQ(pond->ov_decay_cell_mass[1][1], 0.0);
  EXPECT_DOUBLE_EQ(pond->OV_MASS_DECAY[1], 0.02);
}

TEST(ConstituentTransport, PulseOnUniformFlowInOneDirection) {
  for (double disp : {0.0, 0.5}) {
    auto ms = constituent_grid(100, 1, 10.0, 0.05);
    for (long j = 1; j <= ms->n_cells; ++j) {
      ms->ov_qy[j] = 0.05;
      ms->ov_disp_table[1][j] = disp;
    }
    set_block(*ms, 21, 25, 1, 1, 100.0);
    const double m0 = surface_mass(*ms);
    ASSERT_DOUBLE_EQ(m0, 2500.0);
    const moments a = pulse_moments(*ms, true);
    for (int s = 0; s < 300; ++s) transport_once(*ms, 10.0);
    const moments b = pulse_moments(*ms, true);
    EXPECT_NEAR(surface_mass(*ms) / m0, 1.0, 1e-12);
    EXPECT_NEAR(b.mean - a.mean, 300.0, 300.0 * 1e-9);
    EXPECT_NEAR(a.var, 200.0, 1e-9);
    // Numerical spreading v dx t, plus 2 D t with dispersion (whose far
    // tail meets the closed upper edge).
    EXPECT_NEAR(b.var, 3200.0 + 2.0 * disp * 3000.0, disp == 0.0 ? 3200.0 * 1e-9 : 6200.0 * 1e-6) << disp;
    if (disp == 0.0) {
      EXPECT_NEAR(b.peak, 35.1639, 1e-4);
    }
  }
}

TEST(ConstituentTransport, PulseOnUniformFlowInTwoDirections) {
  auto ms = constituent_grid(60, 60, 10.0, 0.05);
  for (long j = 1; j <= ms->n_cells; ++j) {
    ms->ov_qx[j] = 0.04;
    ms->ov_qy[j] = 0.03;
  }
  set_block(*ms, 6, 9, 6, 9, 100.0);
  const double m0 = surface_mass(*ms);
  ASSERT_DOUBLE_EQ(m0, 8000.0);
  const moments ay = pulse_moments(*ms, true), ax = pulse_moments(*ms, false);
  int toggles = 0;
  for (int s = 0; s < 150; ++s) {
    const int before = ms->ov_contam_toggle;
    transport_once(*ms, 10.0);
    toggles += ms->ov_contam_toggle != before;
  }
  EXPECT_EQ(toggles, 150);
  const moments by = pulse_moments(*ms, true), bx = pulse_moments(*ms, false);
  EXPECT_NEAR(surface_mass(*ms) / m0, 1.0, 1e-12);
  EXPECT_NEAR(bx.mean - ax.mean, 120.0, 120.0 * 1e-9);
  EXPECT_NEAR(by.mean - ay.mean, 90.0, 90.0 * 1e-9);
  EXPECT_NEAR(ax.var, 125.0, 1e-9);
  EXPECT_NEAR(bx.var, 1325.0, 1325.0 * 1e-9);
  EXPECT_NEAR(by.var, 1025.0, 1025.0 * 1e-9);
  EXPECT_NEAR(bx.peak, 21.9131, 1e-4);
}

TEST(ConstituentTransport, DecayInAStillPondIsExactPerStep) {
  auto ms = constituent_grid(4, 4, 5.0, 0.1);
  const double k = 1.0 / kavro::seconds_per_day;
  for (long j = 1; j <= ms->n_cells; ++j) {
    ms->ov_decay_table[1][j] = k;
    ms->ov_constituent_conc[1][j] = 50000.0;
    ms->ov_constituent_mass[1][j] = 50000.0 * 0.1 * 25.0;
  }
  ms->ov_kin_table2_last = ms->now;
  const double dt = 60.0;
  for (int s = 0; s < 20; ++s) {
    const double before = surface_mass(*ms);
    ms->now += dt / kavro::seconds_per_day;
    ms->ov_kin_table2_next = ms->now;
    ms->next_ov_contam_time = ms->now;
    ms->ov_contam_interval_days = dt / kavro::seconds_per_day;
    kavro::ov_constituent_kinetics_step(*ms);
    kavro::ov_contam_transport_step(*ms);
    EXPECT_NEAR(surface_mass(*ms), before * (1.0 - k * dt), 1e-12 * before);
    EXPECT_NEAR(ms->OV_MASS_DECAY[1] * 1000.0 + surface_mass(*ms), 16 * 125000.0, 1e-6);
  }
}

TEST(ConstituentTransport, SameBitsForOneAndFourThreads) {
  std::vector<std::vector<double>> results;
  for (int threads : {1, 4}) {
    omp_set_num_threads(threads);
    auto ms = constituent_grid(120, 80, 10.0, 0.05, 2);
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int i = 1; i <= 2; ++i)
      for (long j = 1; j <= ms->n_cells; ++j) {
        ms->ov_qx[j] = 0.05 * u(gen);
        ms->ov_qy[j] = 0.05 * u(gen);
        ms->ov_disp_table[i][j] = u(gen);
        ms->ov_constituent_conc[i][j] = 100.0 * u(gen);
        ms->ov_constituent_mass[i][j] = ms->ov_constituent_conc[i][j] * 0.05 * 100.0;
        ms->ov_decay_cell_mass[i][j] = u(gen);
      }
    ms->decay_secs = 10.0;
    for (int s = 0; s < 50; ++s) transport_once(*ms, 10.0);
    std::vector<double> out;
    for (int i = 1; i <= 2; ++i) {
      for (long j = 1; j <= ms->n_cells; ++j) out.push_back(ms->ov_constituent_mass[i][j]);
      out.push_back(ms->OV_MASS_DECAY[i]);
      out.push_back(ms->event_ov_neg_mass[i]);
    }
    results.push_back(out);
  }
  omp_set_num_threads(omp_get_num_procs());
  ASSERT_EQ(results[0].size(), results[1].size());
  EXPECT_EQ(0, std::memcmp(results[0].data(), results[1].data(), results[0].size() * sizeof(double)));
}

}  // namespace
