// Whole runs of the permafrost column as a user runs them: 7 x 7 flat cells
// over one permafrost soil type, three weeks of hourly weather at 5 C on a
// soil profile at 20 C, its temperatures at 0.5, 1 and 2 m against the
// conduction solution; the same files for 1 and 4 threads and for the runs
// of a batch; companion files that give no profile stop the run before it
// writes anything, naming the file and the value.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "hydromet/permafrost_setup.h"
#include "hydromet/permafrost_soil.h"
#include "hydromet/soil_temperature.h"
#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::read_file;
using kavro_test::write_file;

std::string grid(const std::string& value) {
  std::string s = "north: 2070\nsouth: 2000\neast: 570\nwest: 500\nrows: 7\ncols: 7\n";
  for (int r = 0; r < 7; ++r) {
    for (int c = 0; c < 7; ++c) s += value + (c < 6 ? " " : "\n");
  }
  return s;
}

std::string node_depths() {
  std::string s = "ID 1\n";
  for (int i = 0; i <= 200; ++i) s += format_string("%.1f\n", i * 0.1);
  return s;
}

const char* const project_text =
    "KAVROPROJECT\n"
    "WATERSHED_MASK    mask.asc\nELEVATION         elevation.asc\nALBEDO            albedo.asc\n"
    "CONDUCTIVITY      conductivity.asc\nCAPILLARY         capillary.asc\nPOROSITY          porosity.asc\n"
    "MOISTURE          moisture.asc\nPORE_INDEX        pore_index.asc\nRESIDUAL_SAT      residual_sat.asc\n"
    "ROWS 7\nCOLS 7\nGRIDSIZE 10\nOUTROW 7\nOUTCOL 7\nOUTSLOPE 0.001\nMANNING_N 0.05\nTIMESTEP 300\n"
    "TOT_TIME 30240\nHYD_FREQ 1440\nMAP_FREQ 100000\nLONG_TERM\nHMET_VRX w.vrx\nLATITUDE 40\nLONGITUDE -105\n"
    "GMT -7\nET_CALC_DEARDORFF\nINF_REDIST\nPRECIP_FILE r.gag\nMAPPING_TABLE m.cmt\nPERMAFROST_KOTU pm.msk\n"
    "KOTU_TIMESTEP 3600\nOUT_KOTU_TEMP kt.out\nSUMMARY s.txt\nOUTLET_HYDRO o.txt\n";

class PermafrostRun : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::pair<const char*, const char*> maps[] = {
        {"mask.asc", "1"},          {"elevation.asc", "100.0"}, {"albedo.asc", "0.2"},
        {"conductivity.asc", "1.0"}, {"capillary.asc", "11.0"}, {"porosity.asc", "0.45"},
        {"moisture.asc", "0.15"},    {"pore_index.asc", "0.3"}, {"residual_sat.asc", "0.05"},
        {"pm.msk", "1"},             {"kt.idx", "1"}};
    for (const auto& [name, value] : maps) write_file(dir / name, grid(value));
    write_file(dir / "m.cmt", table("201"));
    write_file(dir / "ti.txt", "ID 1\n0.0 20.0\n20.0 20.3\n");
    write_file(dir / "zn.txt", node_depths());
    write_file(dir / "zo.txt", "ID 1\n0.5\n1.0\n2.0\n");
    std::string w;
    for (int d = 1; d <= 21; ++d)
      for (int h = 0; h < 24; ++h) w += format_string("2010 7 %d %d 29.92 60 5 0 41 0.0 0.0\n", d, h);
    write_file(dir / "w.vrx", w);
    write_file(dir / "r.gag", "EVENT\nNRGAG 1\nNRPDS 2\nCOORD 545.0 2035.0\nGAGES 2010 8 1 00 00 1.0\n"
                              "GAGES 2010 8 1 01 00 0.0\n");
    write_file(dir / "p.prj", project_text);
  }
  static std::string table(const std::string& nodes) {
    std::string type = "1 soil";
    type.resize(90, ' ');
    return "KAVRO_INDEX_MAP_TABLES\nINDEX_MAP kt.idx Permafrost\nPERMAFROST_LAYER_SOIL Permafrost\nNUM_IDS 1\n"
           "MAX_NUMBER_LAYERS 1\nMAX_INIT_PT 2\nMAX_DN 201\nINIT_TEMP_FILE ti.txt\nDEPTH_NODE_FILE zn.txt\n"
           "OUTPUT_NODE_FILE zo.txt\nID DESCRIPTION\n" +
           type + "1  2  " + nodes + "  3  50.0  0.0  0.3  0.0  0.0  1.0  0.0  1.5  2.0  2000000.0\n";
  }
  kavro_test::run_result run(const std::vector<std::string>& options = {}, const std::string& extra = "") {
    write_file(dir / "p.prj", std::string(project_text) + extra);
    std::vector<std::string> args = options;
    args.push_back("p.prj");
    return kavro_test::run_program(kavro_test::kavro_binary(), args, dir.path());
  }
  kavro_test::scratch_dir dir;
};

std::vector<double> numbers_of(const std::string& line) {
  std::istringstream in(line);
  std::vector<double> v;
  for (double x; in >> x;) v.push_back(x);
  return v;
}

TEST_F(PermafrostRun, ColumnFollowsTheConductionSolutionAndAnyThreadCountWritesTheSame) {
  const kavro_test::run_result r = run({}, "NUM_THREADS 1\n");
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const std::string one = read_file(dir / "kt.out");
  const auto lines = kavro_test::lines_of(one);
  ASSERT_GE(lines.size(), 21u) << one;
  // Row 20, after 480 hourly solves: depth, temperature of 0.5, 1 and 2 m.
  const std::vector<double> row = numbers_of(lines[20]);
  ASSERT_EQ(row.size(), 8u) << lines[20];
  const double kappa = 1.5 / 2.3e6, t = 480 * 3600.0;
  const double model[3] = {8.9244, 12.4396, 17.2891};
  for (int i = 0; i < 3; ++i) {
    const double z = row[2 + 2 * i];
    EXPECT_NEAR(row[3 + 2 * i], model[i], 2e-4) << z << " m";
    EXPECT_NEAR(row[3 + 2 * i], 20 + 0.015 * z - 15 * std::erfc(z / (2 * std::sqrt(kappa * t))), 6e-3) << z;
  }
  EXPECT_TRUE(fs::exists(dir / "temprof_out.txt"));

  ASSERT_EQ(run({}, "NUM_THREADS 4\n").exit_code, 0);
  EXPECT_EQ(read_file(dir / "kt.out"), one) << "4 threads";
  const kavro_test::run_result batch = run({"-b2"});
  ASSERT_EQ(batch.exit_code, 0) << batch.out;
  EXPECT_EQ(read_file(dir / "0000_kt.out"), one);
  EXPECT_EQ(read_file(dir / "0001_kt.out"), one);
  EXPECT_TRUE(fs::exists(dir / "0001_temprof_out.txt"));
}

// Solves every 5400 s on 240 s steps fall between steps: each solve comes at
// the first step after its time and spans the 5520 s since the last one.
TEST_F(PermafrostRun, AnIntervalThatTheTimeStepDoesNotDivideSolvesAtTheNextStep) {
  write_file(dir / "ti.txt", "ID 1\n0.0 -2.0\n20.0 -1.7\n");
  write_file(dir / "p.prj", kavro_test::with_card(kavro_test::with_card(project_text, "KOTU_TIMESTEP", "5400"),
                                                   "TIMESTEP", "240"));
  const kavro_test::run_result r = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const auto lines = kavro_test::lines_of(read_file(dir / "kt.out"));
  ASSERT_GE(lines.size(), 21u);
  // The same column solved alone: 313 solves of 5520 s by day 20.
  permafrost_layer_soil_record t;
  file_wrapper in;
  ASSERT_TRUE(in.open((dir / "m.cmt").string(), "r"));
  std::string line;
  while (read_line(line, in) && line.rfind("PERMAFROST_LAYER_SOIL", 0) != 0) {
  }
  // The companion files are named relative to the project.
  const std::string kept_folder = project_folder;
  set_project_folder(dir.path().string());
  const int types = read_permafrost_soil_file(in, t, 49);
  project_folder = kept_folder;
  ASSERT_EQ(types, 1);
  size_soil_temperature_work(t, 1);
  std::vector<double> temp(203);
  for (int j = 1; j <= 201; ++j) temp[j] = initial_profile_temperature(t, 1, t.Depth[1][j]);
  for (int k = 0; k < 313; ++k) solve_soil_column(t, 1, 5520.0, 5.0, temp.data(), t.work_by_thread[0]);
  const std::vector<double> row = numbers_of(lines[20]);
  ASSERT_EQ(row.size(), 8u) << lines[20];
  const int nodes[3] = {6, 11, 21};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(row[3 + 2 * i], temp[nodes[i]], 1e-4) << row[2 + 2 * i] << " m";
  // The ground thawed from the top: 0.5 m is above freezing, 2 m not yet.
  EXPECT_GT(row[3], 0.0);
  EXPECT_LT(row[7], -1.0);
}

TEST_F(PermafrostRun, CompanionFilesThatGiveNoProfileStopTheRun) {
  struct bad_case {
    const char* what;
    std::function<void(const kavro_test::scratch_dir&)> spoil;
    std::vector<std::string> message;  // parts of the console
  };
  const bad_case cases[] = {
      {"no depth-node file", [](const kavro_test::scratch_dir& d) { fs::remove(d / "zn.txt"); },
       {"where is the dep_node_file?", "zn.txt"}},
      {"no ID 1 in the output-node file",
       [](const kavro_test::scratch_dir& d) { write_file(d / "zo.txt", "ID 2\n0.5\n1.0\n2.0\n"); },
       {"zo.txt has no line \"ID 1\""}},
      {"two nodes", [](const kavro_test::scratch_dir& d) { write_file(d / "m.cmt", table("2")); },
       {"m.cmt", "the whole number 2 is beyond the range 3 to 201"}},
      {"more nodes than MAX_DN", [](const kavro_test::scratch_dir& d) { write_file(d / "m.cmt", table("202")); },
       {"m.cmt", "the whole number 202"}},
      {"a falling depth list",
       [](const kavro_test::scratch_dir& d) {
         std::string z = node_depths();
         z.replace(z.rfind("20.0"), 4, "19.0");
         write_file(d / "zn.txt", z);
       },
       {"zn.txt", "node 201 at 19 m does not lie below node 200 at 19.9 m"}},
  };
  const std::set<std::string> inputs = {"mask.asc", "elevation.asc", "pm.msk", "kt.idx", "m.cmt",
                                        "ti.txt",   "zn.txt",        "zo.txt", "w.vrx",  "r.gag"};
  for (const bad_case& c : cases) {
    SetUp();
    c.spoil(dir);
    const auto before = kavro_test::files_of(dir.path());
    const kavro_test::run_result r = run();
    EXPECT_EQ(r.exit_code, 1) << c.what << "\n" << r.out;
    for (const std::string& m : c.message) EXPECT_NE(r.out.find(m), std::string::npos) << c.what << ": " << m << "\n" << r.out;
    // The inputs are as they were (the project file is rewritten by run()).
    for (const auto& [path, bytes] : before)
      if (inputs.count(path.filename().string()) != 0) {
        EXPECT_EQ(read_file(path), bytes) << c.what << " changed " << path;
      }
  }
}

}  // namespace
}  // namespace kavro
