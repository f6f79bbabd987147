// The lumped basin models: one Sacramento hour against a hand-checked
// result, the closed-box balance over many hours, the edge cases of the
// stores and of the parameter files, the terrain passes on small grids with
// known areas, and the two-store recession against its closed form.
#include "subsurface/lumped_models.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "subsurface/subsurface_steps.h"
#include "subsurface/terrain_passes.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::lines_of;
using kavro_test::scratch_dir;
using kavro_test::write_file;

// The parameter file of the hillside runs: capacities (mm), rates and the
// initial contents as fractions of their capacities (113 mm in all).
const std::string sac_cards =
    "uztwm 50\nuzfwm 40\nuzk 0.3\nzperc 40\nrexp 2.0\nlztwm 130\nlzfsm 25\nlzfpm 60\nlzsk 0.05\n"
    "lzpk 0.01\npfree 0.1\nuztwc 0.5\nuzfwc 0.5\nlztwc 0.3\nlzfsc 0.2\nlzfpc 0.4\nsaved 0\n";
const std::string sac_file = "KAVRO_SACRAMENTO\nnum_basins 1\n" + sac_cards;

std::unique_ptr<main_state> fresh_state() {
  error_rec = error_record{};
  return std::make_unique<main_state>();
}

// Loads `text` as the Sacramento file of a fresh record; the console and
// error streams are returned in `out`.
struct load_result {
  std::unique_ptr<main_state> ms;
  std::string out, err;
  int code = 0, stop = 0;
};
load_result load_sacramento(const std::string& text) {
  scratch_dir dir;
  write_file(dir.path() / "sac.txt", text);
  load_result r;
  r.ms = fresh_state();
  r.ms->sacramento_on = 1;
  r.ms->sacramento_path = (dir.path() / "sac.txt").string();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  load_sacramento_params(*r.ms);
  r.out = testing::internal::GetCapturedStdout();
  r.err = testing::internal::GetCapturedStderr();
  r.code = error_rec.code;
  r.stop = error_rec.stop;
  error_rec = error_record{};
  return r;
}

double sac_storage(const main_state& ms) {
  return ms.sac_uztwc + ms.sac_uzfwc + ms.sac_lztwc + ms.sac_lzfsc + ms.sac_lzfpc;
}

TEST(Sacramento, OneHourMatchesTheWorkedResult) {
  load_result r = load_sacramento(sac_file);
  ASSERT_EQ(r.stop, 0) << r.out << r.err;
  main_state& ms = *r.ms;
  EXPECT_NEAR(sac_storage(ms), 113.0, 1e-12);
  EXPECT_NEAR(ms.sac_pbase, 0.01 * 60 + 0.05 * 25, 1e-15);
  EXPECT_EQ(ms.num_basins, 1);
  double et = 0.5, deep = -1.0;
  const int n = sacramento_sma(ms, et, 30.0, deep);
  EXPECT_EQ(n, 5);
  EXPECT_NEAR(et, 0.25, 1e-6);
  EXPECT_EQ(deep, 0.0);
  EXPECT_NEAR(ms.sac_lztwc, 51.993151, 1e-6);
  EXPECT_NEAR(ms.sac_lzfsc, 3.245223, 1e-6);
  EXPECT_NEAR(ms.sac_lzfpc, 24.446832, 1e-6);
  EXPECT_NEAR(ms.sac_outflow_mm, 4.421422, 1e-6);
  EXPECT_NEAR(ms.sac_uztwc, 50.0, 1e-12);
  EXPECT_NEAR(ms.sac_uzfwc, 8.643372, 1e-6);
  EXPECT_LT(std::fabs(ms.sac_residual), 1e-12);
  // Percolation is what the lower zone gained besides its base flow.
  const double lower_gain = ms.sac_lztwc + ms.sac_lzfsc + ms.sac_lzfpc - (39.0 + 5.0 + 24.0);
  EXPECT_NEAR(lower_gain + 0.400207, 12.085414, 2e-6);
}

// Random hours in a closed box: what went in, less what left, is what the
// stores gained, after every hour; the step books the input volume and
// gives the channels the outflow as a rate over the hour.
TEST(Sacramento, ClosedBoxBalancesEveryHour) {
  load_result r = load_sacramento(sac_file);
  ASSERT_EQ(r.stop, 0);
  main_state& ms = *r.ms;
  ms.n_cells = 250;
  ms.watershed_area = 250 * 400.0;
  ms.sac_interval_days = 1.0 / 24.0;
  ms.time_tol = 1e-6;
  ms.now = ms.next_sac_time = 2450000.5;
  const double initial = sac_storage(ms);
  std::mt19937 gen(20261211);
  std::uniform_real_distribution<double> rain(0.0, 40.0), pet(0.0, 0.6);
  double in = 0.0, et = 0.0, out = 0.0;
  for (int hour = 1; hour <= 200; ++hour) {
    const double p = rain(gen);
    ms.pet_rate = pet(gen) / 10.0;
    ms.sac_infil_accum += p / 1000.0 * ms.n_cells;
    const double vol_before = ms.vol_sac_infil;
    sacramento_step(ms);
    ASSERT_EQ(ms.sac_step_count, hour);
    EXPECT_NEAR(ms.sac_input_mm, p, 1e-9);
    EXPECT_EQ(ms.vol_sac_infil, vol_before + ms.sac_input_mm * ms.watershed_area / 1000.0);
    EXPECT_DOUBLE_EQ(ms.sac_channel_outflow, ms.sac_outflow_mm * ms.watershed_area / 3600000.0);
    in += ms.sac_input_mm, et += ms.sac_et_mm, out += ms.sac_outflow_mm;
    const double scale = 1e-10 * std::max(in, 1.0);
    ASSERT_NEAR(in - et - out, sac_storage(ms) - initial, scale) << "hour " << hour;
    ASSERT_NEAR(ms.sac_residual, 0.0, scale);
    ASSERT_NEAR(ms.sac_rain_mm - ms.sac_aet_mm - ms.sac_subsurface_runoff_mm, sac_storage(ms) - ms.sac_storage_init_mm,
                scale);
    // A step that is not due leaves everything alone.
    ms.now += 0.5 / 24.0;
    sacramento_step(ms);
    ASSERT_EQ(ms.sac_step_count, hour);
    ms.now = ms.next_sac_time;
  }
  EXPECT_EQ(ms.sac_storage_init_mm, initial);
  EXPECT_NEAR(ms.vol_sac_outflow_total, out * ms.watershed_area / 1000.0, 1e-6);
  EXPECT_GT(out, 0.0);
  EXPECT_GT(et, 0.0);
}

// The stores' edge cases: each hour stays finite and closes its balance.
TEST(Sacramento, StoreEdgeCases) {
  struct store_case {
    const char* what;
    std::string extra;  // cards replacing those of the hillside file
    double p, pet;
    int increments;     // 0: not checked
  };
  const std::vector<store_case> cases = {
      // 25 mm fills the tension deficit exactly: twx = 0 and 4 mm of free
      // water give one increment.
      {"input that exactly fills the tension deficit", "uzfwc 0.1\n", 25.0, 0.0, 1},
      {"12 mm excess over 3 mm of free water", "uztwc 1\nuzfwc 0.075\n", 12.0, 0.0, 4},
      // Lower free stores both full and never drained: the split of the
      // percolation would be 0/0.
      {"full lower free stores without depletion", "lzsk 0\nlzpk 0\nlzfsc 1\nlzfpc 1\nuzfwc 1\n", 30.0, 0.0, 0},
      // A full supplementary store would give the primary share above 1.
      {"full supplementary store", "lzfsc 1\nlzfpc 0.1\nuzfwc 1\n", 30.0, 0.0, 0},
      {"evaporation beyond the tension water", "uztwc 0.02\nuzfwc 0.3\n", 0.0, 5.0, 0},
  };
  for (const store_case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = sac_file;
    for (const std::string& line : lines_of(c.extra)) {
      const std::string card = line.substr(0, line.find(' '));
      const auto at = text.find("\n" + card + " ");
      ASSERT_NE(at, std::string::npos);
      text.replace(at + 1, text.find('\n', at + 1) - at - 1, line);
    }
    load_result r = load_sacramento(text);
    ASSERT_EQ(r.stop, 0) << r.out << r.err;
    main_state& ms = *r.ms;
    const double before = sac_storage(ms);
    const double lzfsc_before = ms.sac_lzfsc;
    for (int hour = 0; hour < 3; ++hour) {
      double et = c.pet, deep = 0.0;
      const double start = sac_storage(ms);
      const int n = sacramento_sma(ms, et, c.p, deep);
      if (hour == 0 && c.increments > 0) {
        EXPECT_EQ(n, c.increments);
      }
      for (double v : {ms.sac_uztwc, ms.sac_uzfwc, ms.sac_lztwc, ms.sac_lzfsc, ms.sac_lzfpc, ms.sac_outflow_mm}) {
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_GE(v, -1e-12);
      }
      EXPECT_LE(ms.sac_lzfsc, ms.sac_lzfsm + 1e-12);
      EXPECT_LE(ms.sac_lztwc, ms.sac_lztwm + 1e-12);
      EXPECT_NEAR(start + c.p - et - ms.sac_outflow_mm, sac_storage(ms), 1e-10 * (before + 3 * c.p));
    }
    EXPECT_LT(std::fabs(ms.sac_residual), 1e-10 * (before + 3 * c.p));
    if (std::string(c.what) == "full supplementary store") {
      EXPECT_LE(ms.sac_lzfsc, lzfsc_before + 1e-12);
    }
  }
}

// The reader: bounds that only warn, and the faults that stop the run.
TEST(Sacramento, ParameterFileCases) {
  struct file_case {
    const char* what;
    std::string text;
    bool stops;
    const char* message;  // expected on the console or the error stream
  };
  const auto replace = [](std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::vector<file_case> cases = {
      {"content above 1", replace(sac_file, "uztwc 0.5", "uztwc 1.5"), false, "WARNING:uztwc changed!"},
      {"content below 0", replace(sac_file, "lzfsc 0.2", "lzfsc -0.2"), false, "WARNING:lzfsc changed!"},
      {"depletion above 1", replace(sac_file, "uzk 0.3", "uzk 1.2"), false, "WARNING:uzk changed!"},
      {"depletion below 0", replace(sac_file, "lzsk 0.05", "lzsk -0.1"), false, "WARNING:lzsk changed!"},
      {"saved above the primary content", replace(sac_file, "saved 0", "saved 30"), false, "WARNING:saved changed!"},
      {"keywords in any case", replace(sac_file, "uztwm 50", "UZTWM 50"), false, ""},
      {"num_basins after the 17th card", "KAVRO_SACRAMENTO\n" + sac_cards + "num_basins x\n", false, ""},
      {"no header", sac_cards, true, "have the proper header: KAVRO_SACRAMENTO"},
      {"a second uztwm", "KAVRO_SACRAMENTO\nuztwm 40\n" + sac_cards, true,
       "Duplicate cards read in Sacramento parameter file."},
      {"16 parameters", replace(sac_file, "saved 0\n", ""), true, "Only 16 parameters read."},
      {"zero capacity", replace(sac_file, "uztwm 50", "uztwm 0"), true, "card uztwm is 0"},
      {"negative capacity", replace(sac_file, "lzfpm 60", "lzfpm -5"), true, "card lzfpm is -5"},
      {"a value that is no number", replace(sac_file, "zperc 40", "zperc 4O"), true, "line 6, card zperc"},
      {"a value that is not finite", replace(sac_file, "rexp 2.0", "rexp nan"), true, "card rexp"},
  };
  for (const file_case& c : cases) {
    SCOPED_TRACE(c.what);
    load_result r = load_sacramento(c.text);
    EXPECT_EQ(r.stop, c.stops ? 1 : 0) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
    if (c.stops) continue;
    const main_state& ms = *r.ms;
    EXPECT_EQ(ms.sac_uztwc_init, ms.sac_uztwc);
    EXPECT_EQ(ms.sac_residual, 0.0);
    EXPECT_GE(ms.sac_uzk, 0.0);
    EXPECT_LE(ms.sac_uzk, 1.0);
    EXPECT_LE(ms.sac_saved, ms.sac_lzfpc);
  }
  EXPECT_NEAR(load_sacramento(replace(sac_file, "uztwc 0.5", "uztwc 1.5")).ms->sac_uztwc, 0.99 * 50, 1e-12);
  EXPECT_NEAR(load_sacramento(replace(sac_file, "lzfsc 0.2", "lzfsc -0.2")).ms->sac_lzfsc, 0.01 * 25, 1e-12);
  EXPECT_EQ(load_sacramento(replace(sac_file, "uzk 0.3", "uzk 1.2")).ms->sac_uzk, 0.5);
  EXPECT_EQ(load_sacramento(replace(sac_file, "lzsk 0.05", "lzsk -0.1")).ms->sac_lzsk, 0.05);
  EXPECT_EQ(load_sacramento(replace(sac_file, "saved 0", "saved 30")).ms->sac_saved, 0.4 * 60);
  EXPECT_EQ(sacramento_card_code("LzFpC"), 16);
  EXPECT_EQ(sacramento_card_code("saved"), 19);
  EXPECT_EQ(sacramento_card_code("KAVRO_SACRAMENTO"), 0);
  EXPECT_EQ(sacramento_card_code("uztw"), 20);

  auto ms = fresh_state();
  ms->sacramento_on = 1;
  ms->sacramento_path = "no_such_sacramento_file.txt";
  testing::internal::CaptureStdout();
  load_sacramento_params(*ms);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Cannot open Sacramento input parameter file: no_such_sacramento_file.txt"), std::string::npos);
  EXPECT_EQ(error_rec.stop, 1);
  error_rec = error_record{};
}

// A numbered grid from a table of elevations (rows north to south); cells
// at NaN are outside the watershed.
struct terrain {
  imat mask{"mask"};
  dvec elevation{"elevation"};
  int rows, cols, n = 0;
  terrain(const std::vector<std::vector<double>>& z) : rows(static_cast<int>(z.size())), cols(static_cast<int>(z[0].size())) {
    alloc_imat_zero(mask, rows + 1, cols + 1, "mask");
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c)
        if (!std::isnan(z[r - 1][c - 1])) mask[r][c] = ++n;
    alloc_dvec(elevation, n, "elevation");
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c)
        if (mask[r][c] > 0) elevation[mask[r][c]] = z[r - 1][c - 1];
  }
  terrain_pass_result passes(double dx) const { return terrain_passes(mask, rows, cols, n, elevation, dx); }
};

TEST(TerrainPasses, AreasAndIndicesOfSmallGrids) {
  struct grid_case {
    const char* what;
    std::vector<std::vector<double>> z;
    std::vector<double> index, area;
  };
  const std::vector<grid_case> cases = {
      {"3 x 1 strip", {{102}, {101}, {100}}, {std::log(200.0), std::log(400.0), std::log(150.0)}, {100, 200, 300}},
      {"3 x 2 plane falling 1 m per row and 0.5 m per column",
       {{102.5, 102.0}, {101.5, 101.0}, {100.5, 100.0}},
       {4.487387, 5.275845, 5.011458, 6.063383, 6.819099, 5.862130},
       {100, 122.2222222, 168.8888889, 268.6419753, 228.7901235, 600}},
  };
  for (const grid_case& c : cases) {
    SCOPED_TRACE(c.what);
    const terrain t(c.z);
    testing::internal::CaptureStdout();
    const terrain_pass_result r = t.passes(10.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_TRUE(r.converged);
    double outlet_area = 0.0;
    for (int k = 1; k <= t.n; ++k) {
      EXPECT_NEAR(r.index[k], c.index[k - 1], 1e-6) << "cell " << k;
      EXPECT_NEAR(r.area[k], c.area[k - 1], 1e-4) << "cell " << k;
      outlet_area = std::max(outlet_area, r.area[k]);
    }
    // All the area of the grid gathers at its one outlet.
    EXPECT_NEAR(outlet_area, 100.0 * t.n, 1e-9);
  }
}

TEST(TerrainPasses, CellsWithoutALowerNeighbour) {
  // A flat grid: every cell gets the fixed index.
  const terrain flat({{5, 5}, {5, 5}});
  const terrain_pass_result f = flat.passes(10.0);
  ASSERT_TRUE(f.converged);
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(f.index[k], 0.333);
  // A pit whose neighbours rise 5e-7 per metre on average: the slope is
  // reported and still used.
  const double rise = 5e-7 * 10.0;
  const terrain pit({{100 + rise, 100}});
  testing::internal::CaptureStdout();
  const terrain_pass_result p = pit.passes(10.0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("sslope<1.0e-6 in read_sacramento : 0.0000005000"), std::string::npos) << out;
  EXPECT_NEAR(p.index[2], std::log(200.0 / (2 * 10.0 * 5e-7)), 1e-9);
  // A ridge in a closed grid still ends: the passes need no outlet.
  const terrain bowl({{9, 8, 9}, {8, 1, 8}, {9, 8, 9}});
  const terrain_pass_result b = bowl.passes(1.0);
  ASSERT_TRUE(b.converged);
  EXPECT_NEAR(b.area[5], 9.0, 1e-12);
}

// The two stores drain as two linear reservoirs: the outflow of hour n is
// Q_s (1 - k_s)^(n-1) + Q_f (1 - k_f)^(n-1).
TEST(ConceptualGw, RecessionFollowsTheClosedForm) {
  auto owner = fresh_state();
  main_state& ms = *owner;
  ms.conceptual_gw_on = 1;
  ms.cgw_slow_max = 100, ms.cgw_fast_max = 40, ms.cgw_slow_rate = 0.02, ms.cgw_fast_rate = 0.25;
  ms.cgw_slow_content = 60, ms.cgw_fast_content = 20;
  ms.watershed_area = 1e6;
  ms.n_cells = 100;
  ms.cgw_interval_days = 1.0 / 24.0;
  ms.time_tol = 1e-6;
  ms.now = ms.next_cgw_time = 2450000.5;
  const std::vector<std::pair<int, double>> expected = {{1, 1.7222222}, {2, 1.3683333}, {6, 0.6308968}, {24, 0.2113072}};
  for (int hour = 1; hour <= 24; ++hour) {
    conceptual_gw_step(ms);
    const double closed = (0.02 * 60 * std::pow(0.98, hour - 1) + 0.25 * 20 * std::pow(0.75, hour - 1)) * 1e6 / 3.6e6;
    ASSERT_NEAR(ms.cgw_channel_outflow, closed, 1e-12 * closed) << "hour " << hour;
    for (const auto& [h, q] : expected)
      if (h == hour) {
        EXPECT_NEAR(ms.cgw_channel_outflow, q, 1e-7) << "hour " << hour;
      }
    ms.now = ms.next_cgw_time;
  }
  EXPECT_EQ(ms.cgw_step_count, 24);
  EXPECT_EQ(ms.cgw_storage_init_mm, 80.0);
  EXPECT_NEAR(ms.cgw_storage_init_mm + ms.cgw_recharge_mm - ms.cgw_outflow_total_mm,
              ms.cgw_slow_content + ms.cgw_fast_content, 1e-12);
}

TEST(ConceptualGw, RechargeSplitStaysWithinBothStores) {
  struct split_case {
    const char* what;
    double slow, fast;  // contents after this hour's release (rates 0)
    double slow_gain_lo, slow_gain_hi;
  };
  const std::vector<split_case> cases = {
      {"full slow store", 100, 10, 0, 0},
      {"fast store above its capacity", 50, 50, 0, 10},
      {"both stores above their capacities", 120, 50, 0, 0},
      {"both empty", 0, 0, 0, 10},
  };
  for (const split_case& c : cases) {
    SCOPED_TRACE(c.what);
    auto owner = fresh_state();
    main_state& ms = *owner;
    ms.cgw_slow_max = 100, ms.cgw_fast_max = 40;
    ms.cgw_slow_content = c.slow, ms.cgw_fast_content = c.fast;
    double qs = 0.0, qf = 0.0;
    EXPECT_EQ(conceptual_gw_stores(ms, 10.0, qs, qf), 0.0);
    const double slow_gain = ms.cgw_slow_content - c.slow, fast_gain = ms.cgw_fast_content - c.fast;
    EXPECT_TRUE(std::isfinite(slow_gain) && std::isfinite(fast_gain));
    EXPECT_GE(slow_gain, c.slow_gain_lo);
    EXPECT_LE(slow_gain, c.slow_gain_hi);
    EXPECT_GE(fast_gain, 0.0);
    EXPECT_NEAR(slow_gain + fast_gain, 10.0, 1e-12);
    EXPECT_LE(ms.cgw_slow_content, std::max(c.slow, 100.0));
  }
}

}  // namespace
}  // namespace kavro
