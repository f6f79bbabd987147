// Rain through whole runs of the 8-cell project (cells of 10 m, 800 m2): the
// rain of every kind of event reaches the cells whole, every volume is
// booked, and bad rain files stop the run with a message saying why.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "framework/main_state.h"
#include "framework/run_driver.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;
using kavro_test::write_file;


// The project of tests/data/run, 90 minutes in steps of 30 s, without its
// uniform storm.
std::string event_project(const std::string& rain_cards) {
  std::string p = read_file(kavro_test::data_dir() / "run" / "p.prj");
  for (const char* card : {"TOT_TIME", "TIMESTEP", "RAIN_INTENSITY", "RAIN_DURATION"}) {
    const auto at = p.find(card);
    p.erase(at, p.find('\n', at) + 1 - at);
  }
  return p + "TOT_TIME          90\nTIMESTEP          30\n" + rain_cards;
}

std::string no_start_date(std::string p) {
  for (const char* card : {"START_DATE", "START_TIME"}) {
    const auto at = p.find(card);
    p.erase(at, p.find('\n', at) + 1 - at);
  }
  return p;
}

std::string gauge_event(const char* card, double v1, double v2, double v3) {
  char text[400];
  std::snprintf(text, sizeof text,
                "EVENT \"storm of March\"\nNRGAG 1\nNRPDS 3\nCOORD 520.0 1015.0\n%s 2001 3 1 10 00 %g\n"
                "%s 2001 3 1 10 30 %g\n%s 2001 3 1 11 00 %g\n",
                card, v1, card, v2, card, v3);
  return text;
}

class RainRun : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"mask.asc", "elevation.asc"})
      std::filesystem::copy_file(kavro_test::data_dir() / "run" / name, dir / name);
  }
  kavro_test::run_result run_program(const std::string& project) {
    write_file(dir / "p.prj", project);
    return kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
  }

  // The volumes of a run through the driver, read when its loop has ended.
  struct volumes {
    double precip_total = 0, on_cells = 0, discharged = 0, cleanup_error = 0, in_units = 0;
    int rain_steps = 0;
    bool ended = false;
    bool stopped = false;
    std::string out;
  };
  volumes run_in_process(const std::string& project, void (*tweak)(main_state&) = nullptr) {
    write_file(dir / "p.prj", project);
    run_plan plan = default_run_plan();
    volumes v;
    auto summary = plan.final_summary;
    plan.final_summary = [&](main_state& ms) {
      v.ended = true;
      v.precip_total = ms.vol_precip_total;
      v.rain_steps = ms.n_rain_steps;
      v.discharged = ms.vol_discharge_total;
      v.cleanup_error = ms.ov_cleanup_error_total;
      for (long i = 1; i <= ms.n_cells; ++i) v.on_cells += ms.ov_depth[i] * ms.dx * ms.dx;
      if (ms.bmp_list) {
        for (long k = 1; k <= ms.bmp_list->n_units; ++k) v.in_units += ms.bmp_list->units[k].storage;
        v.in_units += ms.bmp_list->total_vol_seep + ms.bmp_list->total_vol_evap;
      }
      if (summary) summary(ms);
    };
    if (tweak) {
      plan.init_steps.push_back({"tweak", [tweak](main_state& ms, const run_call&) { tweak(ms); }, true, {}});
    }
    const auto old_cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    testing::internal::CaptureStdout();
    v.stopped = run_simulation_with(plan, "p.prj", nullptr, "").stopped_on_error;
    v.out = testing::internal::GetCapturedStdout();
    std::filesystem::current_path(old_cwd);
    return v;
  }
  kavro_test::scratch_dir dir;
};

// Every kind of rain delivers its recorded depth, over 120 steps of 30 s,
// and all of it stands on the cells.
TEST_F(RainRun, EveryEventDeliversItsRecordedDepth) {
  struct rain_case {
    const char* name;
    std::string cards;
    std::string file;
    double volume;
  } cases[] = {
      {"uniform 36 mm/h for 60 min", "RAIN_INTENSITY    36.0\nRAIN_DURATION     60\n", "", 28.8},
      {"GAGES 0, 5, 5 mm", "PRECIP_FILE       rain.dat\n", gauge_event("GAGES", 0, 5, 5), 8.0},
      {"RATES 10, 20, 99 mm/h", "PRECIP_FILE       rain.dat\n", gauge_event("RATES", 10, 20, 99), 12.0},
      {"ACCUM 0, 2, 5 mm", "PRECIP_FILE       rain.dat\n", gauge_event("ACCUM", 0, 2, 5), 4.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string project = event_project(c.cards);
    if (!c.file.empty()) {
      write_file(dir / "rain.dat", c.file);
      project = no_start_date(project);
    }
    const volumes v = run_in_process(project);
    ASSERT_TRUE(v.ended) << v.out;
    EXPECT_NEAR(v.precip_total, c.volume, 1e-9);
    EXPECT_EQ(v.rain_steps, 120);
    const double booked = v.on_cells + v.discharged - v.cleanup_error;
    EXPECT_LE(std::fabs(v.precip_total - booked), 1e-12 * v.precip_total);
  }
}

TEST_F(RainRun, AnnouncesTheFileItReadsBeforeAndDuringTheRun) {
  write_file(dir / "rain.dat", gauge_event("GAGES", 0, 5, 5));
  const auto r = run_program(no_start_date(event_project("PRECIP_FILE       rain.dat\n")));
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const auto running = r.out.find("Running....");
  const auto scan = r.out.find("using precipitation data from file: rain.dat\n"
                               "End of precipitation input file reached.\n"
                               "Precip. file contains 1 events, simulating first event only\n"
                               "because LONG_TERM project file card not set in project file.\n");
  EXPECT_LT(scan, running) << r.out;
  EXPECT_GT(r.out.find("reading precip data from file: rain.dat\n"), running);
  const std::string log = read_file(dir / "summary.txt");
  EXPECT_NE(log.find("using precipitation data from file: rain.dat"), std::string::npos) << log;
  EXPECT_NE(log.find("reading precip data from file: rain.dat"), std::string::npos) << log;
}

TEST_F(RainRun, BadRainFilesStopTheRunAndSayWhy) {
  struct bad_case {
    const char* name;
    std::string file;
    std::string message;
    bool before_loop;
  } cases[] = {
      {"ACCUM falling", gauge_event("ACCUM", 0, 1, 0.5),
       "On line no. 3, the accumulated precip. for gage number 1 is:  0.50000 mm\n", true},
      {"no EVENT card", "NRGAG 1\nNRPDS 1\n", "Data was not correctly read from the rainfall input file.\n", true},
      {"NRGAG 0", "EVENT \"dry gauge\"\nNRGAG 0\nNRPDS 2\nGAGES 2001 3 1 10 00\nGAGES 2001 3 1 10 30\n",
       "dry gauge", true},
      {"two lines at one time",
       "EVENT \"twice\"\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nGAGES 2001 3 1 10 00 1\nGAGES 2001 3 1 10 00 2\n",
       "On line no. 2, the given time of the recorded data is:    2001/3/1 10:00\n", true},
      {"more lines than an event may hold", "EVENT \"long\"\nNRGAG 1\nNRPDS 100000\nCOORD 0 0\n",
       "NRPDS 100000 of the rainfall event entitled:\n   \"long\"\nin the file rain.dat\n", true},
      {"negative depth", gauge_event("GAGES", 0, -1, 5),
       "You have a negative precip value for gage 1, rain period 1\nCheck your rainfall inputs for event 1 \n",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir / "rain.dat", c.file);
    const auto r = run_program(no_start_date(event_project("PRECIP_FILE       rain.dat\n")));
    EXPECT_EQ(r.exit_code, 1) << r.out;
    const auto at = r.out.find(c.message);
    ASSERT_NE(at, std::string::npos) << r.out;
    const auto running = r.out.find("Running....");
    if (c.before_loop) {
      EXPECT_EQ(running, std::string::npos) << r.out;
    } else {
      EXPECT_LT(running, at);
    }
  }
  write_file(dir / "rain.dat", gauge_event("ACCUM", 0, 1, 0.5));
  const auto r = run_program(no_start_date(event_project("PRECIP_FILE       rain.dat\n")));
  EXPECT_NE(r.out.find("monotonically.  Program exiting on error."), std::string::npos) << r.out;
}

// Radar grids of 2 x 2 cells of 20 m over the model grid (west 500, north
// 1030): 1.0 in/h from 10:00, 2.0 in/h from 10:30, the event ends at 11:00.
std::string radar_grid(double value, double west = 500.0) {
  char text[300];
  std::snprintf(text, sizeof text,
                "ncols 2\nnrows 2\nxllcorner %g\nyllcorner 990\ncellsize 20\nNODATA_value -9999\n%g %g\n%g %g\n", west,
                value, value, value, value);
  return text;
}

const char* const radar_event =
    "EVENT \"radar storm\"\nNRGAG FILES\nNRPDS 3\nRADAR 2001 3 1 10 00 r1.asc\nRADAR 2001 3 1 10 30 r2.asc\n"
    "RADAR 2001 3 1 11 00 r3.asc\n";

TEST_F(RainRun, RadarGridsRainFromTheirOwnLineOn) {
  write_file(dir / "r1.asc", radar_grid(1.0));
  write_file(dir / "r2.asc", radar_grid(2.0));
  write_file(dir / "r3.asc", radar_grid(0.0));
  write_file(dir / "rain.dat", radar_event);
  const volumes v = run_in_process(no_start_date(event_project("PRECIP_FILE       rain.dat\n")));
  ASSERT_TRUE(v.ended) << v.out;
  EXPECT_NEAR(v.precip_total, 30.48, 1e-9);
  const auto first = v.out.find("Reading radar precip file r1.asc.\nPeak rainfall rate read: 25.400000 mm/hr\n"
                                "Peak rainfall applied to watershed: 25.400000 mm/hr\n");
  const auto second = v.out.find("Reading radar precip file r2.asc.\nPeak rainfall rate read: 50.800000 mm/hr\n");
  EXPECT_NE(first, std::string::npos) << v.out;
  EXPECT_LT(first, second);
  EXPECT_EQ(v.out.find("r3.asc."), std::string::npos);
}

TEST_F(RainRun, RadarGridsThatDoNotCoverTheGridOrCannotBeReadStop) {
  write_file(dir / "rain.dat", radar_event);
  write_file(dir / "r1.asc", radar_grid(1.0, 490.0));  // east edge at 530, the grid reaches 540
  auto r = run_program(no_start_date(event_project("PRECIP_FILE       rain.dat\n")));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("Error!! p_I="), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Error in creating radar mapping to grid.\n"), std::string::npos) << r.out;

  write_file(dir / "r1.asc", radar_grid(1.0));
  write_file(dir / "r2.asc", "ncols 2\nnrows 2\nxllcorner 500\nyllcorner 990\ncellsize 20\nNODATA_value -9\n1 1\n");
  r = run_program(no_start_date(event_project("PRECIP_FILE       rain.dat\n")));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("Error in reading radar precip file r2.asc\n"), std::string::npos) << r.out;
}

// Radar grids and gauge lines are read by the number rule: a header value
// that places no grid, a value that is no number, a rain beyond any storm
// stop the run naming the file, the line and the text; an output named like
// a radar grid is refused before anything is written. The inputs stay as
// they were and no run ends on a signal.
TEST_F(RainRun, BadRadarGridsGaugeValuesAndOutputsOverGridsAreRefused) {
  struct bad_case {
    const char* name;
    std::string rain, r1, r2, extra;  // rain.dat, r1.asc, r2.asc, project lines
    std::string message;
  };
  const std::string good1 = radar_grid(1.0), good2 = radar_grid(2.0);
  std::string word_in_r2 = good2;
  word_in_r2.replace(word_in_r2.rfind("2 2\n2 2"), 7, "2 7abc\n2 2");
  std::string huge_ncols = good1;
  huge_ncols.replace(0, 7, "ncols -1e308");
  const bad_case cases[] = {
      {"corner far beyond the grid", radar_event, radar_grid(1.0, -1e308), good2, "",
       "lies beyond the radar grid r1.asc"},
      {"a column count no number can be", radar_event, huge_ncols, good2, "",
       "radar grid r1.asc, line 1 (ncols): the whole number -1e308 is beyond the range 1 to 1000000"},
      {"a word among the rain rates", radar_event, good1, word_in_r2, "",
       "radar grid r2.asc, line 7, row 1, column 2: the value \"7abc\" is not a number"},
      {"a flood map over a radar grid", radar_event, good1, good2, "FLOOD_GRID        r3.asc\n",
       "card FLOOD_GRID (line 17) names the output file r3.asc, which line 6 of the precipitation file rain.dat (card "
       "PRECIP_FILE (line 16)) names as an input"},
      {"a gauge depth beyond any rain", gauge_event("GAGES", 0, 1e308, 5), "", "", "",
       "event \"\"storm of March\"\", data line 2, gage 1: the value 1e+308 is beyond any rain"},
      {"a gauge depth with a letter", std::string(gauge_event("GAGES", 0, 1, 5)).replace(
                                          std::string(gauge_event("GAGES", 0, 1, 5)).rfind(" 5"), 2, " 5p"),
       "", "", "", "data line 3, gage 1: the value \"5p\" is not a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    kavro_test::scratch_dir here;
    for (const char* name : {"mask.asc", "elevation.asc"})
      std::filesystem::copy_file(kavro_test::data_dir() / "run" / name, here / name);
    write_file(here / "rain.dat", c.rain);
    if (!c.r1.empty()) write_file(here / "r1.asc", c.r1);
    if (!c.r2.empty()) write_file(here / "r2.asc", c.r2);
    write_file(here / "r3.asc", radar_grid(0.0));
    write_file(here / "p.prj", no_start_date(event_project("PRECIP_FILE       rain.dat\n" + c.extra)));
    const auto inputs = kavro_test::files_of(here.path());
    const auto r = kavro_test::run_program("/usr/bin/timeout", {"20", kavro_test::kavro_binary().string(), "p.prj"},
                                           here.path());
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    for (const auto& [path, text] : inputs) EXPECT_EQ(read_file(path), text) << path;
  }
}

TEST_F(RainRun, ANonRealDepthStopsTheRainStep) {
  const volumes v = run_in_process(event_project("RAIN_INTENSITY    36.0\nRAIN_DURATION     60\n"),
                                   [](main_state& ms) { ms.ov_depth[5] = std::nan(""); });
  EXPECT_FALSE(v.ended);
  EXPECT_TRUE(v.stopped);
  EXPECT_NE(v.out.find("A non-real number for water depth has been detected for overland cell 5 after applying "
                       "rainfall\n"),
            std::string::npos)
      << v.out;
}

// A BMPS table of the mapping-table file with one unit of `area` m2 on cell
// 1 (index map ID 1), taking half of its cell's water each step.
void write_bmp_table(const kavro_test::scratch_dir& dir, double area) {
  char row[200];
  std::snprintf(row, sizeof row, "%6d%-80s1 1 1 %g 1000 0 50 50 0 0\n", 1, "pond", area);
  write_file(dir / "t.cmt", std::string("KAVRO_INDEX_MAP_TABLES\nINDEX_MAP w.idx Map\nBMPS Map\nNUM_IDS 1\nNUM_CON 0\nh\n") +
                                row);
  write_file(dir / "w.idx",
             "north: 1030\nsouth: 1000\neast: 540\nwest: 500\nrows: 3\ncols: 4\n0 1 0 0\n0 0 0 0\n0 0 0 0\n");
}

TEST_F(RainRun, StorageUnitsKeepTheRainTheyTake) {
  write_bmp_table(dir, 20.0);
  const volumes v = run_in_process(event_project("RAIN_INTENSITY    36.0\nRAIN_DURATION     60\nOV_BMP\n"
                                                 "MAPPING_TABLE     t.cmt\n"));
  ASSERT_TRUE(v.ended) << v.out;
  EXPECT_NEAR(v.precip_total, 28.8, 1e-9);
  EXPECT_GT(v.in_units, 1.0);
  // What the units did not take is on the cells or left through the outlet.
  EXPECT_LE(std::fabs(v.precip_total + v.cleanup_error - v.on_cells - v.discharged - v.in_units),
            1e-12 * v.precip_total);
}

TEST_F(RainRun, StorageUnitsNeedTheirTableAndAPlaceOnTheirCell) {
  auto r = run_program(event_project("RAIN_INTENSITY    36.0\nRAIN_DURATION     60\nOV_BMP\n"));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("Error: the OV_BMP card needs the BMPS table"), std::string::npos) << r.out;
  write_bmp_table(dir, 120.0);
  r = run_program(event_project("RAIN_INTENSITY    36.0\nRAIN_DURATION     60\nOV_BMP\nMAPPING_TABLE     t.cmt\n"));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("Error: the BMP on cell 1 has an area of 120.000000 m2, larger than the cell"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("Running...."), std::string::npos);
}

}  // namespace
}  // namespace kavro
