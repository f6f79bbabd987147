// The life of a run record: built empty with its defaults, its files closed
// at the end of the run, and everything released by its teardown, run after
// run.
#include "framework/main_state_lifecycle.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/run_driver.h"
#include "framework/run_files.h"
#include "input/time_series.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;
using kavro_test::scratch_dir;
using kavro_test::write_file;

// Runs `fn` and returns what it printed on standard output.
template <class F>
std::string printed_by(F fn) {
  testing::internal::CaptureStdout();
  fn();
  return testing::internal::GetCapturedStdout();
}

int open_descriptors() {
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++n;
  }
  return n;
}

TEST(RecordLifecycle, SoilTypeTableStartsAllZero) {
  auto ms = std::make_unique<main_state>();
  const main_state& read_only = *ms;
  EXPECT_EQ(read_only.soil_type_table[99999].layer_porosity[3], 0.0);
  EXPECT_FALSE(ms->soil_type_table.allocated()) << "a run without soil tables takes no table";
  ms->soil_type_table[12].layer_ks[2] = 0.5;
  EXPECT_TRUE(ms->soil_type_table.allocated());
  EXPECT_EQ(read_only.soil_type_table[12].layer_ks[2], 0.5);
  ms->soil_type_table[12].layer_ks[2] = 0.0;
  for (long id : {0L, 1L, 4711L, 99999L}) {
    const auto& p = ms->soil_type_table[id];
    const auto* v = reinterpret_cast<const double*>(&p);
    for (size_t k = 0; k < sizeof(soil_type_params) / sizeof(double); ++k) ASSERT_EQ(v[k], 0.0) << id << ":" << k;
  }
  EXPECT_EQ(soil_type_store::size(), 100000);
}

TEST(RecordLifecycle, TearingDownAFreshRecordPrintsNothing) {
  const std::string out = printed_by([] {
    auto ms = std::make_unique<main_state>();
    close_all_files(*ms);
    main_state_destroy(*ms);
    ms.reset();
  });
  EXPECT_EQ(out, "");
}

TEST(RecordLifecycle, ABadRangeAccessIsReportedOnceByName) {
  const std::string out = printed_by([] {
    auto ms = std::make_unique<main_state>();
    ms->OV_MASS_INIT.grow(3);
    ms->OV_MASS_INIT[7] = 1.0;  // beyond the three cells
    ms->OV_MASS_INIT[8] = 1.0;
    main_state_destroy(*ms);
    ms.reset();
  });
  EXPECT_EQ(out, "Error: bad range addressed in array OV_MASS_INIT\n");
}

TEST(RecordLifecycle, CloseAllFilesClosesAndFlushesEveryFile) {
  scratch_dir dir;
  auto ms = std::make_unique<main_state>();
  struct opened {
    file_wrapper* w;
    const char* name;
  };
  const opened files[] = {{&ms->fs_summary, "summary.txt"},
                          {&ms->chan_depth_file, "depth.txt"},
                          {&ms->fs_elevation, "elev.txt"},
                          {&ms->fs_exchange, "exchange.txt"},
                          {&ms->sed_control.outlet_sed_flux_file, "sed.txt"},
                          {&ms->fs_unused_54, "unused.txt"}};
  for (const auto& f : files) {
    ASSERT_TRUE(f.w->open((dir / f.name).string(), "w"));
    std::fputs("written\n", f.w->fp);
  }
  const std::string out = printed_by([&] { close_all_files(*ms); });
  EXPECT_EQ(out, "");
  for (const auto& f : files) {
    EXPECT_FALSE(f.w->is_open()) << f.name;
    EXPECT_EQ(read_file(dir / f.name), "written\n") << f.name;
  }
  close_all_files(*ms);  // a second close has no effect
}

TEST(RecordLifecycle, TeardownEmptiesTheRunsSeriesLists) {
  scratch_dir dir;
  write_file(dir / "ts.txt",
             "KAVRO_TS\nInflow\nABSOLUTE\n2001 3 1 0 0 1.0\n2001 3 1 1 0 2.0\nEND_TS\n");
  auto ms = std::make_unique<main_state>();
  printed_by([&] { read_time_series_file((dir / "ts.txt").string()); });
  ASSERT_EQ(time_series_list.size(), 1u);
  main_state_destroy(*ms);
  EXPECT_TRUE(time_series_list.empty());
}

// A first run changes many fields; the second starts from the defaults.
TEST(RecordLifecycle, EveryRunStartsFromANewRecord) {
  scratch_dir dir;
  const auto old_cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  int run = 0;
  bool second_saw_defaults = false;
  run_plan plan;
  plan.init_steps.push_back({"touch",
                             [&](main_state& ms, const run_call&) {
                               if (run == 0) {
                                 ms.m3_to_ft3 = 1.0;
                                 ms.overtype = 7;
                                 ms.now = 2451545.0;
                                 ms.n_cells = 12;
                                 alloc_imat(ms.mask, 3, 4, "mask");
                                 ms.soil_type_table[99999].layer_ks[1] = 3.0;
                                 ms.OV_MASS_INIT.grow(4);
                                 ms.fs_summary.open("log.txt", "w");
                               } else {
                                 second_saw_defaults = ms.m3_to_ft3 == 35.314667 && ms.overtype == 2 && ms.now == 0.0 &&
                                                       ms.n_cells == 0 && ms.mask.empty() &&
                                                       ms.soil_type_table[99999].layer_ks[1] == 0.0 &&
                                                       ms.OV_MASS_INIT.size() == 0 && !ms.fs_summary.is_open();
                               }
                             },
                             true,
                             {}});
  for (run = 0; run < 2; ++run) printed_by([&] { run_simulation_with(plan, "p.prj", nullptr, ""); });
  std::filesystem::current_path(old_cwd);
  EXPECT_TRUE(second_saw_defaults);
}

TEST(RecordLifecycle, FiftyRunsLeaveNoFileOpen) {
  scratch_dir dir;
  // The small hillslope with the Q7 inflow series: every run opens its
  // mask, elevations, log, hydrograph and the process-wide Q7 file.
  const std::filesystem::path sample = kavro_test::data_dir() / "hillslope";
  for (const char* name : {"mask.asc", "elevation.asc"}) std::filesystem::copy_file(sample / name, dir / name);
  write_file(dir / "p.prj", kavro_test::read_file(sample / "sample.prj") + "Q7_INPUT q7.txt\n");
  const auto old_cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const int before = open_descriptors();
  bool all_ok = true;
  std::string first_output;
  for (int i = 0; i < 50; ++i) {
    const std::string printed =
        printed_by([&] { all_ok = !run_simulation_outcome("p.prj", nullptr, "").stopped_on_error && all_ok; });
    if (i == 0) first_output = printed;
    EXPECT_EQ(printed.find("previous file was not closed"), std::string::npos) << printed;
  }
  EXPECT_TRUE(all_ok) << first_output;
  EXPECT_TRUE(std::filesystem::exists(dir / "summary.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir / "q7.txt"));
  EXPECT_EQ(open_descriptors(), before);
  std::filesystem::current_path(old_cwd);
  EXPECT_EQ(kavro_test::count_lines(dir / "out_time.out"), 50);
}

}  // namespace
}  // namespace kavro
