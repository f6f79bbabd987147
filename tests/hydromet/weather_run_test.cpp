// Long-term runs driven by hourly weather, as a user runs them: one July
// day of VRX station weather over a small flat watershed (tests/data/
// weather_runs) runs its 24 hours and ends with the data; weather files that
// cannot be read are refused before the run starts; the event list for the
// host and the optimisation output; thread counts and batch runs.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "framework/alloc.h"
#include "framework/run_clock.h"
#include "hydromet/hmet_readers.h"
#include "hydromet/hydromet_steps.h"
#include "test_support.h"
#include "weather_grid_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::read_file;
using kavro_test::write_file;

class WeatherRun : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& entry : fs::directory_iterator(kavro_test::data_dir() / "weather_runs"))
      fs::copy_file(entry.path(), dir / entry.path().filename().string());
  }
  // Runs day.prj with `extra` cards appended.
  kavro_test::run_result run(const std::string& extra = "", const std::vector<std::string>& options = {}) {
    write_file(dir / "day.prj", read_file(kavro_test::data_dir() / "weather_runs" / "day.prj") + extra);
    std::vector<std::string> args = options;
    args.push_back("day.prj");
    return kavro_test::run_program(kavro_test::kavro_binary(), args, dir.path());
  }
  std::vector<std::string> pet_lines(const std::string& console) {
    std::vector<std::string> out;
    for (const std::string& line : kavro_test::lines_of(console))
      if (line.find(" PET cm/h ") != std::string::npos) out.push_back(line);
    return out;
  }
  kavro_test::scratch_dir dir;
};

// The value in column `k` (from 0) of a line of blank-separated words.
double column(const std::string& line, int k) {
  std::vector<std::string> words;
  std::string w;
  for (char c : line + " ") {
    if (c == ' ') {
      if (!w.empty()) words.push_back(w);
      w.clear();
    } else {
      w += c;
    }
  }
  return k < static_cast<int>(words.size()) ? std::strtod(words[static_cast<std::size_t>(k)].c_str(), nullptr)
                                            : std::nan("");
}

TEST_F(WeatherRun, ADayOfStationWeatherRunsItsHoursAndEndsWithTheData) {
  const auto r = run();
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const auto pet = pet_lines(r.out);
  ASSERT_EQ(pet.size(), 24u) << r.out;
  for (int h = 0; h < 24; ++h) {
    SCOPED_TRACE(pet[static_cast<std::size_t>(h)]);
    char head[32];
    std::snprintf(head, sizeof head, "2010/7/15 %2d:00 PET cm/h ", h);
    EXPECT_EQ(pet[static_cast<std::size_t>(h)].rfind(head, 0), 0u);
    const double value = column(pet[static_cast<std::size_t>(h)], 4);
    if (h <= 4 || h >= 20) {
      EXPECT_NEAR(value, 0.0042, 1e-9);
    }
    if (h == 14) {
      EXPECT_NEAR(value, 0.0585, 1e-9);
    }
  }
  EXPECT_NE(r.out.find("End of meteorology data reached.  KAVRO terminated"), std::string::npos);
  EXPECT_GT(r.out.find("End of meteorology data reached."), r.out.find("2010/7/15 23:00 PET"));

  const auto evap = kavro_test::lines_of(read_file(dir / "evap_out"));
  ASSERT_EQ(evap.size(), 25u);
  EXPECT_NE(evap[0].find(" avg_theta_L1  avg_theta_L2"), std::string::npos);
  const std::string& fourteen = evap[15];
  ASSERT_EQ(fourteen.rfind("2010/7/15  14:00", 0), 0u) << fourteen;
  EXPECT_NEAR(column(fourteen, 3), 0.058493, 1e-6);      // avg_pot
  EXPECT_NEAR(column(fourteen, 8), 25.0, 1e-6);          // temp
  EXPECT_NEAR(column(fourteen, 9), 25.0, 1e-6);          // gridded_temp
  EXPECT_NEAR(column(fourteen, 10), 32.8727, 2e-5);      // soil_temp
  EXPECT_NEAR(column(evap[1], 10), 16.1297, 2e-4) << "the first night cools the ground from the air's 25 C";
}

TEST_F(WeatherRun, StartsAndStepsThatMissTheWeatherAreRefusedBeforeTheRun) {
  const auto r = run("START_DATE 2010 7 16\nSTART_TIME 0 0\n");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out.find("Running...."), std::string::npos);
  EXPECT_NE(r.out.find("START_DATE 7/16/2010 00:00"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("7/15/2010 23:00"), std::string::npos) << r.out;

  // Steps of 7 minutes never meet the next hour: refused, not run forever.
  const auto seven = run("TIMESTEP 420\n");
  EXPECT_EQ(seven.exit_code, 1);
  EXPECT_NE(seven.out.find("its time step (420 s, card TIMESTEP) must divide an hour"), std::string::npos)
      << seven.out;
  EXPECT_EQ(seven.out.find("Running...."), std::string::npos);

  // A start inside the data runs from there to the end.
  const auto inside = run("START_DATE 2010 7 15\nSTART_TIME 20 0\n");
  ASSERT_EQ(inside.exit_code, 0) << inside.out;
  const auto pet = pet_lines(inside.out);
  ASSERT_EQ(pet.size(), 4u) << inside.out;
  EXPECT_EQ(pet[0].rfind("2010/7/15 20:00", 0), 0u);
}

TEST_F(WeatherRun, UnreadableWeatherFilesAreRefusedNamingLineAndField) {
  const auto vrx_lines = kavro_test::lines_of(read_file(dir / "w.vrx"));
  auto with_line = [&](int n, const std::string& text) {
    std::string out;
    for (std::size_t k = 0; k < vrx_lines.size(); ++k) out += (k + 1 == static_cast<std::size_t>(n) ? text : vrx_lines[k]) + "\n";
    return out;
  };
  std::string sa_25_groups = "12345678   TMPD  201007  15 25";
  for (int i = 0; i < 25; ++i) sa_25_groups += "0000 00050  ";
  struct refusal {
    const char* label;
    const char* card;  // the weather card
    const char* file;  // its file
    std::string text;
    std::vector<std::string> expected;
    bool short_cloud_grid = false;  // gridded: the cloud grid of the first hour holds 5 values
  };
  const std::string header = "~ 23183 PHOENIX                AZ  -7  N33 26  W112  1   339\n YR MO DA HR\n";
  const refusal cases[] = {
      {"ten numbers", "HMET_VRX", "w.vrx", with_line(3, "2010 7 15 2 29.92 50 0 5 77 600.0"),
       {"Error: Problem encountered in hmet_VRX file, line 3, near parameter 11", "Yr  Mo  Day Hr  Press."}},
      {"hour 25", "HMET_VRX", "w.vrx", with_line(4, "2010 7 15 25 29.92 50 0 5 77 600.0 800.0"),
       {"line 4, near parameter 4", "hour 25"}},
      {"pressure not a number", "HMET_VRX", "w.vrx", with_line(2, "2010 7 15 1 nan 50 0 5 77 600.0 800.0"),
       {"line 2, near parameter 5", "\"nan\""}},
      {"temperature not whole", "HMET_VRX", "w.vrx", with_line(5, "2010 7 15 4 29.92 50 0 5 41.5 600.0 800.0"),
       {"line 5, near parameter 9", "\"41.5\""}},
      {"pressure with a letter after it", "HMET_VRX", "w.vrx", with_line(3, "2010 7 15 2 29.92p 50 0 5 77 600.0 800.0"),
       {"line 3, near parameter 5", "\"29.92p\""}},
      {"hour beyond any whole number", "HMET_VRX", "w.vrx", with_line(4, "2010 7 15 1e308 29.92 50 0 5 77 600.0 800.0"),
       {"line 4, near parameter 4", "\"1e308\""}},
      {"SAMSON hour 25", "HMET_SAMSON", "w.sam",
       header + kavro_test::samson_hour_line(10, 7, 15, 1, 500, 100, 3, 10.0, 60, 850, 2.5) + "\n" +
           kavro_test::samson_hour_line(10, 7, 15, 25, 500, 100, 3, 10.0, 60, 850, 2.5) + "\n",
       {"hmet_SAMSON file", "line 4, columns 11-12", "hour 25"}},
      {"Surface Airways line of 25 groups", "HMET_SURFAWAYS", "w.sa", sa_25_groups + "\n",
       {"hmet_NCDC file", "line 1, columns 28-30", "25 values"}},
      {"gridded hour 25", "HMET_ASCII", "index.txt", "g_2010071523\ng_2010071525\n",
       {"Problem encountered in hmet_ASCII file, line 2", "hour 25"}},
      {"grid of 5 values", "HMET_ASCII", "index.txt", "g_2010071523\n",
       {"g_2010071523_Clod.asc", "asks for 9 values", "holds 5"}, true},
      {"no temperature grid", "HMET_ASCII", "index.txt", "g_2010071523\ng_2010071524\n",
       {"ERROR!!! CANNOT OPEN Temperature FILE", "g_2010071524_Temp.asc", "line 2"}},
  };
  const std::string one_cell = "ncols 1\nnrows 1\nxllcorner 500\nyllcorner 2000\ncellsize 90\nNODATA_value -9999\n5\n";
  const std::string five_values =
      "ncols 3\nnrows 3\nxllcorner 500\nyllcorner 2000\ncellsize 30\nNODATA_value -9999\n1 2 3 4 5\n";
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.label);
    write_file(dir / c.file, c.text);
    for (const char* s : {"_Clod", "_Prcp", "_Pres", "_RlHm", "_Temp", "_Drad", "_Grad", "_WndS"}) {
      const bool bad = c.short_cloud_grid && std::string(s) == "_Clod";
      write_file(dir / (std::string("g_2010071523") + s + ".asc"), bad ? five_values : one_cell);
      if (std::string(s) != "_Temp") write_file(dir / (std::string("g_2010071524") + s + ".asc"), one_cell);
    }
    const std::string project =
        kavro_test::without_card(read_file(kavro_test::data_dir() / "weather_runs" / "day.prj"), "HMET_VRX");
    write_file(dir / "p.prj", project + c.card + " " + c.file + "\n");
    const std::string before = read_file(dir / c.file);
    const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out.find("Running...."), std::string::npos);
    for (const std::string& e : c.expected) EXPECT_NE(r.out.find(e), std::string::npos) << e << "\n" << r.out;
    EXPECT_EQ(read_file(dir / c.file), before) << "the weather file is left as it was";
  }
}

TEST_F(WeatherRun, TheHostsEventListAndTheOptimisationOutput) {
  write_file(dir / "three.gag",
             "EVENT\nNRGAG 1\nNRPDS 2\nCOORD 545.0 2045.0\nGAGES 2010 7 15 02 00 1.0\nGAGES 2010 7 15 03 00 0.0\n"
             "EVENT\nNRGAG 1\nNRPDS 2\nCOORD 545.0 2045.0\nGAGES 2010 7 15 08 30 1.0\nGAGES 2010 7 15 09 30 0.0\n"
             "EVENT\nNRGAG 1\nNRPDS 2\nCOORD 545.0 2045.0\nGAGES 2010 7 15 17 15 1.0\nGAGES 2010 7 15 18 15 0.0\n");
  auto host = run("PRECIP_FILE three.gag\nQLN\nVOPA vopa.dat\nQLN_EVENT_NUM 0\n");
  EXPECT_EQ(host.exit_code, 1);
  EXPECT_NE(host.out.find("No simulations performed.  KAVRO terminated."), std::string::npos) << host.out;
  EXPECT_EQ(read_file(dir / "exchange" / "QLN_PRECIP.SUM"),
            "3\n2010  7 15  2  0\n2010  7 15  8 30\n2010  7 15 17 15\n");

  const auto optimised = run("OPTIMIZE\n");
  ASSERT_EQ(optimised.exit_code, 0) << optimised.out << optimised.err;
  EXPECT_TRUE(fs::exists(dir / "kavro_optim.out"));
  EXPECT_NE(optimised.err.find("writing output for optimization to file kavro_optim.out"), std::string::npos);

  fs::create_directory(dir / "folder");
  const auto folder = run("OPTIMIZE folder\n");
  EXPECT_EQ(folder.exit_code, 1);
  // The output check names the card before any file is opened.
  EXPECT_NE(folder.out.find("Error: card OPTIMIZE (line 36) names the output file folder, which cannot be created"),
            std::string::npos)
      << folder.out << folder.err;
  EXPECT_EQ(folder.out.find("Running...."), std::string::npos);
}

TEST_F(WeatherRun, ThreadCountsAndBatchRunsWriteTheSameDay) {
  std::string evap[2], console[2];
  int k = 0;
  for (const char* threads : {"1", "4"}) {
    const auto r = run(std::string("NUM_THREADS ") + threads + "\n");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    evap[k] = read_file(dir / "evap_out");
    for (const auto& line : pet_lines(r.out)) console[k] += line + "\n";
    ++k;
  }
  EXPECT_FALSE(console[0].empty());
  EXPECT_EQ(console[0], console[1]);
  EXPECT_EQ(evap[0], evap[1]);
  // Every file of both runs of a batch as the single run wrote it.
  const std::string single_summary = read_file(dir / "s.txt"), single_outlet = read_file(dir / "o.txt");
  const auto batch = run("", {"-b2"});
  ASSERT_EQ(batch.exit_code, 0) << batch.out;
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("0000_", 0) != 0 || name.find("out_time") != std::string::npos) continue;
    const std::string second = "0001_" + name.substr(5);
    ASSERT_TRUE(fs::exists(dir / second)) << second;
    EXPECT_EQ(read_file(entry.path()), read_file(dir / second)) << name;
    ++compared;
  }
  EXPECT_GE(compared, 4);
  EXPECT_EQ(read_file(dir / "0000_evap_out"), evap[0]);
  EXPECT_EQ(read_file(dir / "0001_s.txt"), single_summary);
  EXPECT_EQ(read_file(dir / "0001_o.txt"), single_outlet);
}

// ---- The cells of a hilly watershed for 1 and 4 threads ---------------------

struct hour_state {
  std::vector<char> shade;
  std::vector<double> T, R_short, R_long, pet, aet, ground, cfgi;
};

template <class A>
std::vector<double> values_of(const A& a) {
  return std::vector<double>(a.data(), a.data() + a.size() + 1);
}

std::vector<hour_state> hilly_day(int threads, const fs::path& weather) {
  std::mt19937 rng(2029);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  struct hill {
    double r, c, height, width;
  };
  std::vector<hill> hills;
  for (int k = 0; k < 12; ++k) hills.push_back({120 * u(rng), 160 * u(rng), 50 + 400 * u(rng), 5 + 20 * u(rng)});
  auto z = [&](int r, int c) {
    double h = 1200.0;
    for (const hill& p : hills)
      h += p.height * std::exp(-((r - p.r) * (r - p.r) + (c - p.c) * (c - p.c)) / (2 * p.width * p.width));
    return h;
  };
  auto ms = kavro_test::weather_grid(120, 160, 30.0, z, 1300.0);
  ms->hmet_vrx_on = 1;
  ms->hmet_path = weather.string();
  ms->fs_hmet_surfaways.open(weather.string(), "r");
  ms->et_calc_penman_on = 1;
  ms->cfgi_on = 1;
  alloc_dvec(ms->cfgi_value, ms->n_cells, "cfgi_value");
  alloc_dvec(ms->Rs, ms->n_cells, "Rs");
  for (long j = 1; j <= ms->n_cells; ++j) {
    ms->albedo[j] = 0.15 + 0.1 * u(rng);
    ms->veg[j] = 2.0 * u(rng);
    ms->Kt[j] = 0.3 + 0.6 * u(rng);
    ms->Rs[j] = 30.0 + 70.0 * u(rng);
    ms->swe_scaled[j] = u(rng) < 0.1 ? 0.3 : 0.0;
  }
  ms->hmet_call_no = 1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(read_hmet(*ms, 1), hmet_scan_done);
  ms->hmet_call_no = 2;
  ms->hmet_interval_days = ms->lt_et_interval_days = 1.0 / 24.0;
  ms->time_tol = 1.1574074074074074e-07;
  const int saved = omp_get_max_threads();
  omp_set_num_threads(threads);
  std::vector<hour_state> out;
  for (int h = 0; h < 24; ++h) {
    ms->now = ms->next_hmet_time = ms->next_lt_et_time = julian_date(2010, 1, 8, h, 0, 0.0);
    ms->cur_year = 2010, ms->cur_month = 1, ms->cur_day = 8, ms->cur_hour = h;
    hmet_step(*ms);
    longterm_et_step(*ms);
    hour_state s;
    s.shade.assign(ms->cell_hour_flags.data(), ms->cell_hour_flags.data() + ms->cell_hour_flags.cell_count());
    s.T = values_of(ms->temper_gridded);
    s.R_short = values_of(ms->R_short);
    s.R_long = values_of(ms->R_long);
    s.pet = values_of(ms->pot_et);
    s.aet = values_of(ms->pot_aet);
    s.ground = values_of(ms->ground_temp);
    s.cfgi = values_of(ms->cfgi_value);
    out.push_back(std::move(s));
  }
  omp_set_num_threads(saved);
  testing::internal::GetCapturedStdout();
  return out;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(WeatherThreads, AHillyWatershedGivesTheSameCellsForAnyThreadCount) {
  kavro_test::scratch_dir dir;
  std::string text;
  for (int h = 0; h < 24; ++h) {
    char line[128];
    std::snprintf(line, sizeof line, "2010 1 8 %d %.2f %d %d %d %d %.1f %.1f\n", h, 25.0 + 0.1 * (h % 5), 40 + h,
                  h % 11, 3 + h % 7, 10 + h, h >= 8 && h <= 16 ? 300.0 + 20 * h : 0.0,
                  h >= 8 && h <= 16 ? 450.0 + 20 * h : 0.0);
    text += line;
  }
  kavro_test::write_file(dir / "w.vrx", text);
  const auto one = hilly_day(1, dir / "w.vrx");
  const auto four = hilly_day(4, dir / "w.vrx");
  ASSERT_EQ(one.size(), 24u);
  ASSERT_EQ(four.size(), 24u);
  long shaded_by_terrain = 0;
  for (int h = 0; h < 24; ++h) {
    SCOPED_TRACE(h);
    EXPECT_TRUE(one[h].shade == four[h].shade);
    EXPECT_TRUE(same_bits(one[h].T, four[h].T));
    EXPECT_TRUE(same_bits(one[h].R_short, four[h].R_short));
    EXPECT_TRUE(same_bits(one[h].R_long, four[h].R_long));
    EXPECT_TRUE(same_bits(one[h].pet, four[h].pet));
    EXPECT_TRUE(same_bits(one[h].aet, four[h].aet));
    EXPECT_TRUE(same_bits(one[h].ground, four[h].ground));
    EXPECT_TRUE(same_bits(one[h].cfgi, four[h].cfgi));
  }
  // A winter noon on these hills: some cells lie in the shadow of others.
  for (std::size_t k = 0; k < one[12].shade.size(); k += 24) shaded_by_terrain += one[12].shade[k + 12] == 1;
  EXPECT_GT(shaded_by_terrain, 0);
}

}  // namespace
}  // namespace kavro
