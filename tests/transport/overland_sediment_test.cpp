// The overland sediment model against hand values (viscosity, settling
// velocity, capacities, median diameter, splash and scour), the volume of
// every size class conserved step by step on a tilted plane for each
// capacity formula, settling in still and flowing water, and the same
// result for any thread count.
#include "transport/overland_sediment.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "sediment_fixture.h"
#include "transport/transport_seams.h"

namespace kavro {
namespace {

using kavro_test::component_total;
using kavro_test::sediment_plane;
using kavro_test::size_class;

constexpr int parent = 1, suspended = 2, deposited = 3, discharged = 4;

void expect_rel(double got, double want, double rel, const char* what) {
  EXPECT_NEAR(got, want, std::fabs(want) * rel) << what;
}

TEST(SedimentSetUp, ViscosityAndSettlingVelocity) {
  expect_rel(kinematic_viscosity(20.0), 9.988210e-7, 1e-6, "20 C");
  expect_rel(kinematic_viscosity(10.0), 1.300046e-6, 1e-6, "10 C");
  struct v_case {
    double d_mm, temp, w;
  };
  // Stokes' law up to 0.1 mm, the dimensionless-diameter form above.
  const v_case cases[] = {{0.01, 20, 9.003115e-5},
                          {0.05, 20, 2.250779e-3},
                          {0.1, 20, 9.003115e-3},
                          {0.3, 20, 0.0442822},
                          {0.3, 10, 0.0396403}};
  for (const v_case& c : cases)
    expect_rel(fall_velocity(c.d_mm / 1000.0, 2.65, kinematic_viscosity(c.temp)), c.w, 1e-6, "fall velocity");
}

TEST(SedimentSetUp, FineClassesFirstThenSand) {
  auto ms = sediment_plane(
      1, 2, 10, [](int, int) { return 0.0; }, {{0.3, 2.65, 0.2}, {0.01, 2.65, 0.3}, {0.05, 2.65, 0.5}}, 1,
      0.0625);
  const ov_sed_record& os = *ms->ov_sed;
  EXPECT_EQ(ms->n_fine_classes, 2);
  EXPECT_EQ(ms->n_sand_classes, 1);
  const int order[] = {2, 3, 1}, sand[] = {1, 0, 0};
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(os.sed_class[i], order[i - 1]);
    EXPECT_EQ(ms->sand[i], sand[i - 1]);
    EXPECT_DOUBLE_EQ(ms->sed_particle_density[i], 2645230.0);
  }
}

// One cell holding one suspended class of fraction 1 (volume `load`).
struct capacity_cell {
  d3d vol_sed{"vol_sed"}, sed_fract{"sed_fract"};
  dvec diam{"part_diam"}, grav{"spec_grav"};
  explicit capacity_cell(const std::vector<std::pair<double, double>>& classes) {
    const int n = static_cast<int>(classes.size());
    vol_sed.allocate(1, n, 4);
    sed_fract.allocate(1, n, 4);
    diam.allocate(n);
    grav.allocate(n);
    for (int c = 1; c <= n; ++c) {
      diam[c] = classes[c - 1].first;
      grav[c] = 2.65;
      vol_sed[1][c][suspended] = classes[c - 1].second;
    }
  }
  double capacity(int formula, double S, double h, double q) {
    return ov_transport_capacity(formula, 1, S, h, q, 10.0, 10.0, sed_fract, diam, grav, 1.0, diam.size(),
                                 10.0 * 10.0 / 2645.23, vol_sed, 1.0);
  }
  double d50() { return sediment_d50(1, diam.size(), diam, vol_sed, sed_fract); }
};

TEST(TransportCapacity, FormulasAgainstHandValues) {
  struct c_case {
    int formula;
    double S, h, q, want;
  };
  // One class of 0.05 mm (D50 50 micrometres), dt 10 s, dx 10 m, sed_K 1.
  const c_case cases[] = {
      {1, 0.02, 0.01, 0.002, 1.326791e-3},  {2, 0.02, 0.01, 0.002, 0.03047251},
      {3, 0.02, 0.01, 0.002, 5.689316e-05}, {4, 0.02, 0.01, 0.002, 5.574491e-4},
      {5, 0.02, 0.01, 0.002, 7.409013e-4},  {6, 0.02, 0.01, 0.002, 5.170848e-3},
      {6, 0.02, 0.05, 0.002, 0.1086452},    {7, 0.02, 0.01, 0.002, 0.002},
      {0, 0.02, 0.01, 0.002, 0.002},        {1, 0.02, 0.01, 1e-17, 0.0},
      {2, 0.02, 1e-17, 0.002, 0.0},         {7, 0.02, 0.01, 1e-17, 0.0},
  };
  for (const c_case& c : cases) {
    capacity_cell cell({{0.05, 1.0}});
    SCOPED_TRACE(testing::Message() << "formula " << c.formula << " h " << c.h << " q " << c.q);
    if (c.want == 0.0) {
      EXPECT_EQ(cell.capacity(c.formula, c.S, c.h, c.q), 0.0);
    } else {
      expect_rel(cell.capacity(c.formula, c.S, c.h, c.q), c.want, 1e-6, "capacity");
    }
  }
  // A D50 of exactly 190 micrometres falls in the last range of formula 5.
  capacity_cell coarse({{0.19, 1.0}});
  EXPECT_DOUBLE_EQ(coarse.d50(), 190.0);
  expect_rel(coarse.capacity(5, 0.02, 0.01, 0.002), 0.01401599, 1e-6, "formula 5, last range");
}

TEST(TransportCapacity, MedianDiameter) {
  struct d_case {
    const char* what;
    std::vector<std::pair<double, double>> classes;  // diameter (mm), suspended volume
    double want_um;
  };
  const d_case cases[] = {
      {"two classes", {{0.2, 0.7}, {0.02, 0.3}}, 38.6140},
      // Crossing at class 1 of three: the classes below it weigh with their
      // cumulative fraction 0.4 (their own fractions would give 237 um).
      {"three classes", {{1.0, 0.6}, {0.1, 0.2}, {0.01, 0.2}}, 146.7799},
      {"last class holds half", {{0.5, 0.5}, {0.03, 0.5}}, 30.0},
      {"last class holds all", {{0.5, 0.0}, {0.03, 2.0}}, 30.0},
  };
  for (const d_case& c : cases) {
    capacity_cell cell(c.classes);
    expect_rel(cell.d50(), c.want_um, 2e-6, c.what);  // figures to four decimals
  }
  // Fractions that never reach one half: the last class, in micrometres.
  capacity_cell thin({{0.5, 0.2}, {0.03, 0.2}});
  for (long c = 1; c <= 2; ++c) thin.vol_sed[1][c][suspended] = 0.0;
  thin.sed_fract[1][1][parent] = thin.sed_fract[1][2][parent] = 0.2;
  EXPECT_DOUBLE_EQ(thin.d50(), 30.0);
}

TEST(Detachment, RaindropSplash) {
  // 36 mm/h on 10 m cells for 10 s; drop size 2.380503 mm.
  const double coef = 3.75e-8, expo = 1.5545;
  struct r_case {
    double h, G;
  };
  const r_case cases[] = {{0.001, 2.233528e-4}, {0.005, 7.431821e-5}};
  for (const r_case& rc : cases) {
    auto ms = sediment_plane(
        1, 1, 10, [](int, int) { return 0.0; }, {{0.05, 2.65, 0.7}, {0.5, 2.65, 0.3}}, 1);
    ov_sed_record& os = *ms->ov_sed;
    raindrop_detachment(1, 36.0, rc.h, os.sed_fract, os.vol_sed, 10.0, 10.0, 60.0, coef, expo, 2,
                        ms->channel_cells, ms->ov_sed_vol_eroded);
    const double G = -(os.vol_sed[1][1][parent] + os.vol_sed[1][2][parent]);
    expect_rel(G, rc.G, 1e-6, "splashed volume");
    expect_rel(-os.vol_sed[1][1][parent], 0.7 * G, 1e-12, "class 1 share");
    expect_rel(-os.vol_sed[1][2][parent], 0.3 * G, 1e-12, "class 2 share");
    expect_rel(os.vol_sed[1][1][suspended] + os.vol_sed[1][2][suspended], G, 1e-12, "suspended");
    expect_rel(ms->ov_sed_vol_eroded[1][0], G, 1e-12, "eroded record");
  }
  // A deposit larger than G gives G in proportion to its classes.
  auto ms = sediment_plane(
      1, 1, 10, [](int, int) { return 0.0; }, {{0.05, 2.65, 0.7}, {0.5, 2.65, 0.3}}, 1);
  ov_sed_record& os = *ms->ov_sed;
  os.vol_sed[1][1][deposited] = 1e-3;
  os.vol_sed[1][2][deposited] = 3e-3;
  raindrop_detachment(1, 36.0, 0.001, os.sed_fract, os.vol_sed, 10.0, 10.0, 60.0, coef, expo, 2,
                      ms->channel_cells, ms->ov_sed_vol_eroded);
  expect_rel(os.vol_sed[1][1][suspended], 0.25 * 2.233528e-4, 1e-6, "deposit class 1");
  expect_rel(os.vol_sed[1][2][suspended], 0.75 * 2.233528e-4, 1e-6, "deposit class 2");
  EXPECT_EQ(os.vol_sed[1][1][parent], 0.0);
  // A channel cell never loses parent soil, to splash or to scour.
  auto ch = sediment_plane(
      1, 1, 10, [](int, int) { return 0.0; }, {{0.05, 2.65, 1.0}}, 1);
  ov_sed_record& cs = *ch->ov_sed;
  ch->channel_cells[1] = 1;
  raindrop_detachment(1, 36.0, 0.001, cs.sed_fract, cs.vol_sed, 10.0, 10.0, 60.0, coef, expo, 1,
                      ch->channel_cells, ch->ov_sed_vol_eroded);
  flow_detachment(1, 0.02, 0.01, cs.sed_fract, cs.vol_sed, 10.0, 10.0, 2e-5, 1.0, 0.0, 1, ch->channel_cells,
                  ch->ov_sed_vol_eroded, 1.0, 0, cs.sed_K);
  EXPECT_EQ(cs.vol_sed[1][1][parent], 0.0);
  EXPECT_EQ(cs.vol_sed[1][1][suspended], 0.0);
}

TEST(Detachment, FlowScour) {
  // tau = h 9792.342 S; potential T = tau u 2e-5 dt A / 2645.23 with u the
  // free share of the capacity.
  auto ms = sediment_plane(
      1, 1, 10, [](int, int) { return 0.0; }, {{0.05, 2.65, 1.0}}, 1);
  ov_sed_record& os = *ms->ov_sed;
  os.vol_sed[1][1][suspended] = 0.25;
  const double tau = 0.01 * 9792.342 * 0.02, T = tau * 2e-5 * 0.75 * 10.0 * 100.0 / 2645.23;
  const double got = flow_detachment(1, 0.02, 0.01, os.sed_fract, os.vol_sed, 10.0, 10.0, 2e-5, 1.0, 0.0, 1,
                                     ms->channel_cells, ms->ov_sed_vol_eroded, 1.0, 0, os.sed_K);
  expect_rel(got, T, 1e-12, "potential");
  expect_rel(-os.vol_sed[1][1][parent], T, 1e-12, "scoured parent soil");
  // A critical stress above tau scours nothing; a capacity already used up neither.
  const double before = os.vol_sed[1][1][parent];
  flow_detachment(1, 0.02, 0.01, os.sed_fract, os.vol_sed, 10.0, 10.0, 2e-5, 1.0, 5.0, 1, ms->channel_cells,
                  ms->ov_sed_vol_eroded, 1.0, 0, os.sed_K);
  flow_detachment(1, 0.02, 0.01, os.sed_fract, os.vol_sed, 10.0, 10.0, 2e-5, 1.0, 0.0, 1, ms->channel_cells,
                  ms->ov_sed_vol_eroded, 0.1, 0, os.sed_K);
  EXPECT_EQ(os.vol_sed[1][1][parent], before);
}

// Depths and face flows of a tilted plane from a fixed seed: every face
// flows downhill (right and down) with some reversed faces.
void random_flow(main_state& ms, std::mt19937& rng) {
  std::uniform_real_distribution<double> depth(0.0, 0.02), flow(0.0, 0.004);
  std::bernoulli_distribution dry(0.1), reverse(0.15);
  for (long j = 1; j <= ms.n_cells; ++j) {
    ms.ov_depth[j] = dry(rng) ? 0.0 : depth(rng);
    ms.ov_qx[j] = ms.rightcon[j] ? flow(rng) * (reverse(rng) ? -1.0 : 1.0) : 0.0;
    ms.ov_qy[j] = ms.belowcon[j] ? flow(rng) * (reverse(rng) ? -1.0 : 1.0) : 0.0;
    ms.rain_rate[j] = 36.0;
  }
  ms.qout = 2.0 * flow(rng);
}

std::unique_ptr<main_state> tilted_plane(int formula) {
  auto ms = sediment_plane(
      12, 8, 10, [](int r, int c) { return 100.0 - 0.1 * r - 0.05 * c; },
      {{0.02, 2.65, 0.3}, {0.3, 2.65, 0.5}, {0.05, 2.4, 0.2}}, formula, 0.0625, 12, 8);
  return ms;
}

// For every class: eroded soil = suspended + deposited + discharged.
void expect_class_balance(const main_state& ms, int step, const std::vector<double>& extra = {}) {
  for (int c = 1; c <= ms.sed_control.n_sed_classes; ++c) {
    const double eroded = -component_total(ms, c, parent);
    double held = component_total(ms, c, suspended) + component_total(ms, c, deposited) +
                  ms.ov_sed->vol_sed[ms.outlet_cell][c][discharged];
    if (!extra.empty()) held += extra[c];
    ASSERT_NEAR(held, eroded, 1e-12 * eroded) << "class " << c << " step " << step;
  }
}

TEST(OverlandSediment, EveryClassBalancesEveryStepForEveryFormula) {
  for (int formula = 1; formula <= 6; ++formula) {
    SCOPED_TRACE(testing::Message() << "formula " << formula);
    auto ms = tilted_plane(formula);
    std::mt19937 rng(20240611u + formula);
    for (int step = 1; step <= 200; ++step) {
      random_flow(*ms, rng);
      ov_sediment_transport(*ms, 10.0);
      book_overland_sediment_step(*ms);
      expect_class_balance(*ms, step);
    }
    EXPECT_GT(-component_total(*ms, 1, parent), 0.0);
    EXPECT_GT(ms->ov_sed->vol_sed[ms->outlet_cell][0][discharged], 0.0) << "sediment left through the outlet";
  }
}

TEST(OverlandSediment, ChannelLakeTakesAndGivesSediment) {
  auto ms = tilted_plane(1);
  // Cells of rows 5 and 6, columns 3 to 5, form lake 1.
  ms->lakes_on = 1;
  ms->n_lakes = 1;
  ms->lake_mask.allocate(ms->n_cells);
  ms->lake_elev.allocate(1);
  ms->lake_elev[1] = 99.5;
  for (int r = 5; r <= 6; ++r)
    for (int c = 3; c <= 5; ++c) ms->lake_mask[ms->mask[r][c]] = 1;
  const int n = ms->sed_control.n_sed_classes;
  for (dmat* m :
       {&ms->sed_vol_overland_to_lake, &ms->SS_vol_lake, &ms->SS_conc_vol_lake, &ms->SS_vol_lake_to_overland})
    m->allocate(1, n);
  ms->event_step = 1;
  // The lake holds fine sediment it can give back (at most 1e-4 m3 of each).
  ms->SS_vol_lake[1][1] = ms->SS_vol_lake[1][2] = 1e-4;
  ms->SS_conc_vol_lake[1][1] = ms->SS_conc_vol_lake[1][2] = 1e-3;
  std::mt19937 rng(7);
  for (int step = 1; step <= 200; ++step) {
    random_flow(*ms, rng);
    ov_sediment_transport(*ms, 10.0);
    book_overland_sediment_step(*ms);
    // Eroded = what the land holds (lake cells' fine sediment is the lake's)
    // + discharged + net delivered to the lake (gross in less given back).
    for (int c = 1; c <= n; ++c) {
      double land = 0.0;
      for (long j = 1; j <= ms->n_cells; ++j) {
        if (ms->lake_mask[j] && !ms->sand[c]) continue;
        land += ms->ov_sed->vol_sed[j][c][suspended] + ms->ov_sed->vol_sed[j][c][deposited];
      }
      const double eroded = -component_total(*ms, c, parent);
      const double right = land + ms->ov_sed->vol_sed[ms->outlet_cell][c][discharged] +
                           (ms->sand[c] ? 0.0 : ms->sed_vol_overland_to_lake[1][c]);
      ASSERT_NEAR(right, eroded, 1e-12 * eroded) << "class " << c << " step " << step;
    }
  }
  for (int j = 1; j <= ms->n_fine_classes; ++j) {
    EXPECT_GT(ms->SS_vol_lake_to_overland[1][j], 0.0);
    EXPECT_LE(ms->SS_vol_lake_to_overland[1][j], ms->SS_vol_lake[1][j]) << "never more than the lake holds";
  }
}

TEST(OverlandSediment, StillWaterSettlesOverTheDepth) {
  // One cell 0.1 m deep, no flow, no rain, 0.01 mm clay: w dt / h per step.
  auto ms = sediment_plane(
      1, 1, 10, [](int, int) { return 0.0; }, {{0.01, 2.65, 1.0}}, 1);
  ms->ov_depth[1] = 0.1;
  ms->ov_sed->vol_sed[1][1][suspended] = 1.0;
  ov_sediment_transport(*ms, 10.0);
  expect_rel(ms->ov_sed->vol_sed[1][1][deposited], 0.009003115, 1e-6, "first step");
  for (int step = 2; step <= 111; ++step) ov_sediment_transport(*ms, 10.0);
  expect_rel(ms->ov_sed->vol_sed[1][1][suspended], 0.3664579, 1e-6, "after 1,110 s");
  EXPECT_NEAR(ms->ov_sed->vol_sed[1][1][suspended] + ms->ov_sed->vol_sed[1][1][deposited], 1.0, 1e-15);
  // A dry cell lets its whole load settle.
  ms->ov_depth[1] = 0.0;
  ov_sediment_transport(*ms, 10.0);
  EXPECT_EQ(ms->ov_sed->vol_sed[1][1][suspended], 0.0);
}

TEST(OverlandSediment, FlowingWaterSettlesOverTheCellLength) {
  // u 0.1 m/s at 0.01 m over 10 m; no capacity (sed_K 0) keeps the load.
  auto ms = sediment_plane(
      1, 2, 10, [](int, int c) { return 1.0 - 0.01 * c; }, {{0.01, 2.65, 1.0}}, 1);
  ms->ov_sed->sed_K[1] = 0.0;
  ms->ov_depth[1] = 0.01;
  ms->ov_qx[1] = 0.1 * 0.01 * 10.0;
  ms->ov_sed->vol_sed[1][1][suspended] = 1.0;
  ov_sediment_transport(*ms, 10.0);
  const double w = fall_velocity(1e-5, 2.65, kinematic_viscosity(20.0));
  expect_rel(ms->ov_sed->vol_sed[1][1][suspended], std::exp(-10.0 * w / (0.1 * 0.01)), 1e-12,
             "kept in suspension");
}

TEST(OverlandSediment, ANotANumberVolumeIsReportedAndTheStepGoesOn) {
  auto ms = sediment_plane(
      1, 2, 10, [](int, int) { return 0.0; }, {{0.05, 2.65, 0.5}, {0.5, 2.65, 0.5}}, 1);
  ms->ov_sed->vol_sed[2][2][deposited] = std::nan("");
  testing::internal::CaptureStdout();
  ov_sediment_transport(*ms, 10.0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "PT 3 deposited soil particle  2=Nan at grid 2\n");
}

TEST(OverlandSediment, RoutingBookkeepingAfterTheStep) {
  auto ms = sediment_plane(
      1, 2, 10, [](int, int) { return 0.0; }, {{0.05, 2.65, 1.0}}, 1);
  ms->adjust_elev_on = 1;
  ms->ov_sed_vol_deposited[1][1] = ms->ov_sed_vol_deposited[1][0] = 3.0;
  ms->ov_sed_vol_eroded[2][1] = ms->ov_sed_vol_eroded[2][0] = 2.0;
  book_overland_sediment_step(*ms);
  EXPECT_DOUBLE_EQ(ms->ov_sed->ov_qsvol[1][1], 3.0);
  EXPECT_DOUBLE_EQ(ms->ov_sed->ov_qsvol[2][0], -2.0);
  EXPECT_DOUBLE_EQ(ms->elevation[1], 0.03);
  EXPECT_DOUBLE_EQ(ms->elevation[2], -0.02);
  EXPECT_EQ(ms->ov_sed_vol_deposited[1][1], 0.0);
  // Soil constituents read the step's volumes: they are kept.
  ms->soil_contam_on = 1;
  ms->ov_sed_vol_eroded[2][1] = 1.0;
  book_overland_sediment_step(*ms);
  EXPECT_EQ(ms->ov_sed_vol_eroded[2][1], 1.0);
}

TEST(OverlandSediment, SameVolumesForOneAndFourThreads) {
  std::vector<double> result[2];
  const int threads[2] = {1, 4};
  const int saved = omp_get_max_threads();
  for (int t = 0; t < 2; ++t) {
    omp_set_num_threads(threads[t]);
    // Large enough for the parallel loops to split.
    auto ms = sediment_plane(
        40, 40, 10, [](int r, int c) { return 100.0 - 0.1 * r - 0.05 * c; },
        {{0.02, 2.65, 0.3}, {0.3, 2.65, 0.7}}, 1, 0.0625, 40, 40);
    std::mt19937 rng(99);
    for (int step = 1; step <= 10; ++step) {
      random_flow(*ms, rng);
      ov_sediment_transport(*ms, 10.0);
      book_overland_sediment_step(*ms);
    }
    const d3d& v = ms->ov_sed->vol_sed;
    result[t].assign(v.data(), v.data() + v.cell_count());
  }
  omp_set_num_threads(saved);
  ASSERT_EQ(result[0].size(), result[1].size());
  EXPECT_TRUE(result[0] == result[1]) << "vol_sed differs between 1 and 4 threads";
}

}  // namespace
}  // namespace kavro
