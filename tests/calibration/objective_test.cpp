// The criteria that score a run against the observations, the observation
// file, and the results file every run appends to.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calibration/calib_objective.h"
#include "framework/error_record.h"
#include "stand_in.h"

namespace kavro {
namespace {

using kavro_test::calibration_folder;
using kavro_test::read_file;
using kavro_test::write_file;

struct row {
  double obs_peak, peak_weight, obs_volume, volume_weight, sim_peak, sim_volume;
};

void load(calib_objective& o, dvec& peaks, dvec& volumes, const std::vector<row>& rows) {
  const long n = static_cast<long>(rows.size());
  o.obs_peak.allocate(n);
  o.peak_weight.allocate(n);
  o.obs_volume.allocate(n);
  o.volume_weight.allocate(n);
  peaks.allocate(n);
  volumes.allocate(n);
  o.n_obs = static_cast<int>(n);
  for (long i = 1; i <= n; ++i) {
    const row& r = rows[static_cast<std::size_t>(i - 1)];
    o.obs_peak[i] = r.obs_peak;
    o.peak_weight[i] = r.peak_weight;
    o.obs_volume[i] = r.obs_volume;
    o.volume_weight[i] = r.volume_weight;
    peaks[i] = r.sim_peak;
    volumes[i] = r.sim_volume;
  }
}

constexpr double failed = 999999.99;

struct criteria_case {
  const char* what;
  std::vector<row> rows;
  double cost, rmse, log_error, hmle, max_peak;
};

class Criteria : public calibration_folder {};

TEST_F(Criteria, TableOfCases) {
  const double nan = std::nan("");
  const criteria_case cases[] = {
      {"volumes only", {{10, 0, 100, 1, 20, 110}, {5, 0, 50, 1, 1, 40}}, 0.1 + 0.2, nan, nan, -1.0, -99999.999},
      {"observed peak 0 is a plain difference", {{0, 1, 1, 0, 0.3, 1}}, 0.3, nan, nan, nan, 0.3},
      {"observed volume 0 is a plain difference", {{1, 0, 0, 1, 1, 5}}, 5.0, nan, nan, nan, nan},
      {"observed volume 1e-17 is divided", {{1, 0, 1e-17, 1, 1, 5}}, (5 - 1e-17) / 1e-17, nan, nan, nan, nan},
      {"weighted peak missing", {{3, 1, 10, 1, 4, 10}, {2, 1, 10, 1, -5, 10}}, failed, failed, failed, failed, 4},
      {"unweighted peak missing", {{3, 1, 10, 0, 3.3, 10}, {2, 0, 10, 0, -5, 10}}, 0.1, failed, failed, nan, 3.3},
      {"identical values", {{3, 1, 10, 1, 3, 10}, {7, 2, 30, 0.5, 7, 30}}, 0.0, 0.0, 0.0, nan, 7},
      {"equal observed peaks", {{2, 1, 1, 0, 1, 1}, {2, 1, 1, 0, 2, 1}, {2, 1, 1, 0, 4, 1}}, nan, nan, nan, 5.0 / 3.0,
       4},
      {"observed weighted peak 0", {{0, 1, 1, 0, 1, 1}, {2, 1, 1, 0, 2, 1}}, nan, nan, nan, failed, 2},
      {"no weighted row", {{2, 0, 1, 0, 1, 1}}, -1.0, 0.0, 0.0, -1.0, -99999.999},
      // Peak and weight columns swapped: every weighted peak is 1, whose
      // logarithms give the estimator no scale.
      {"observed peaks all 1", {{1, 0.01, 5, 1, 2, 5}, {1, 0.5, 4, 1, 3, 4}}, nan, nan, nan, failed, 3},
  };
  for (const auto& c : cases) {
    calib_objective o;
    dvec peaks, volumes;
    load(o, peaks, volumes, c.rows);
    const double params[] = {0.0, 0.5, 10.0};
    const double cost = o.evaluate(peaks, volumes, 0, 2, params);
    const auto check = [&](double got, double want, const char* name) {
      if (std::isnan(want)) return;
      EXPECT_FALSE(std::isnan(got)) << c.what << " " << name;
      if (std::fabs(want) > 1e6 && want != failed)
        EXPECT_NEAR(got / want, 1.0, 1e-12) << c.what << " " << name;
      else
        EXPECT_NEAR(got, want, 1e-9) << c.what << " " << name;
    };
    check(cost, c.cost, "cost");
    EXPECT_EQ(o.cost, cost);
    check(o.rmse, c.rmse, "rmse");
    check(o.log_error, c.log_error, "log error");
    check(o.hmle, c.hmle, "hmle");
    check(o.max_peak, c.max_peak, "max peak");
    EXPECT_FALSE(std::isnan(o.hmle)) << c.what;
  }
}

TEST_F(Criteria, RowsBeyondTheSeriesCountAsMissing) {
  calib_objective o;
  dvec peaks, volumes;
  load(o, peaks, volumes, {{3, 1, 10, 1, 3, 10}, {2, 0, 10, 1, 2, 10}});
  peaks.allocate(1);
  volumes.allocate(1);
  peaks[1] = 3;
  volumes[1] = 10;
  EXPECT_EQ(peak_volume_cost(o, peaks, volumes, 0), failed);
  EXPECT_EQ(calib_rmse(o, peaks, volumes), failed);
  dvec absent;
  EXPECT_EQ(peak_volume_cost(o, absent, absent, 0), failed);
  EXPECT_EQ(max_peak_criterion(o, absent), -99999.999);
}

TEST_F(Criteria, CostAndEventFilesOfARun) {
  calib_objective o;
  dvec peaks, volumes;
  load(o, peaks, volumes, {{2, 1, 10, 1, 3, 8}});
  const double params[] = {0.0, 1.0};
  o.evaluate(peaks, volumes, 0, 1, params);
  EXPECT_EQ(read_file("0_cost.out"), "p:3.000000, 1.000000  v:8.000000, -2.000000  \nTotal Points: 2\ncost: 0.700000\n" +
                                         std::string(79, '-') + "\n");
  const std::string table = read_file("0_obs.log");
  EXPECT_NE(table.find("1    \t1.00  \t2.00        \t3.00        \t-1.00       \t1.00  \t10.00       \t8.00        \t"
                       "2.00        \n\n\n"),
            std::string::npos)
      << table;
}

TEST_F(Criteria, ResultsFileHasOneHeaderAndOneRowPerRun) {
  calib_objective o;
  dvec peaks, volumes;
  load(o, peaks, volumes, {{2, 0, 1, 0, 1, 1}});
  const double params[] = {0.0, 0.5, 10.0};
  for (int run = 0; run < 3; ++run) {
    o.evaluate(peaks, volumes, 0, 2, params);
    o.record_results(0, 0, 0, 0, 1, 1, 1);
    EXPECT_TRUE(o.results.all_results.empty());
  }
  const std::string text = read_file("results_all.out");
  const std::string header =
      "--Cost--\t----HMLE----\t----RMSE----\t-Log Error--\t--Max Peak--\t--Max Vol---\t: params\n";
  ASSERT_EQ(text.substr(0, header.size()), header);
  EXPECT_EQ(text.find(header, 1), std::string::npos);
  EXPECT_EQ(kavro_test::count_lines("results_all.out"), 4);
  const std::string row = text.substr(header.size(), text.find('\n', header.size()) + 1 - header.size());
  EXPECT_EQ(row.substr(0, 9), "-1.00   \t") << row;
  EXPECT_EQ(row.substr(row.size() - 18), "0.5000  10.0000  \n") << row;
}

TEST_F(Criteria, ObservationFile) {
  struct obs_case {
    const char* what;
    const char* text;
    int result, rows, code;
  };
  const obs_case cases[] = {
      {"good", "2\n1 1 10 1\n2, 0.5, 20, 0\n", 1, 2, 0},
      {"short row", "2\n1 1 10 1\n2 0.5 20\n", -1, 0, 135},
      {"too few rows", "3\n1 1 10 1\n", -1, 0, 0},
      {"no rows", "0\n", -1, 0, 0},
      {"not finite", "1\n1 1 nan 1\n", -1, 0, 0},
      // A count is judged against the rows that follow before anything is sized.
      {"a count of 1e9", "1e9\n1 1 10 1\n", -1, 0, 0},
      {"a count beyond the int range", "99999999999\n1 1 10 1\n", -1, 0, 0},
      {"a count that is no whole number", "1.5\n1 1 10 1\n", -1, 0, 0},
      {"a value with a letter", "1\n1 1 10x 1\n", -1, 0, 0},
  };
  for (const auto& c : cases) {
    write_file("obs.txt", c.text);
    error_rec.code = 0;
    calib_objective o;
    testing::internal::CaptureStdout();
    EXPECT_EQ(o.read_observations("obs.txt"), c.result) << c.what;
    const std::string out = testing::internal::GetCapturedStdout();
    if (c.result == -1 && c.code == 0) {
      EXPECT_NE(out.find("Error: observation file obs.txt, line "), std::string::npos) << c.what << out;
    }
    EXPECT_EQ(o.n_obs, c.rows) << c.what;
    EXPECT_EQ(error_rec.code, c.code) << c.what;
    if (c.result == 1) {
      EXPECT_EQ(o.obs_volume[2], 20.0);
      EXPECT_EQ(o.peak_weight[2], 0.5);
    }
  }
  error_rec.code = 0;
  calib_objective o;
  EXPECT_EQ(o.read_observations("missing.txt"), -1);
}

}  // namespace
}  // namespace kavro
