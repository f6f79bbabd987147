// A run cut in two continues exactly. On the 12 x 5 plane of 20 m cells
// draining into one explicit channel link, under Green-Ampt infiltration,
// 50 mm/h falls for 25 min. C runs 60 min straight; A runs the first 30 min
// and writes its hotstarts; B starts at 9:30 from A's hotstarts under a dry
// gauge and runs the last 30 min. A's outlet rows are C's first 30, B's
// flows are C's last 30 (B's time column counts its own minutes), and B's
// hotstarts are byte for byte C's: for either overland solver, for 1 and 4
// threads and for every run of a batch.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace kavro_test {
namespace {

namespace fs = std::filesystem;

std::string common_cards(const std::string& overtype, int threads) {
  return "GREEN_AMPT\nCONDUCTIVITY k.asc\nCAPILLARY cap.asc\nPOROSITY por.asc\nMOISTURE moi.asc\n"
         "OVERTYPE " +
         overtype + "\nNUM_THREADS " + std::to_string(threads) + "\n";
}

// The plane project of run `name` with its own summary, outlet file and
// hotstarts, plus `cards`.
void write_project(const scratch_dir& dir, const std::string& name, const std::string& base, const std::string& cards) {
  std::string p = without_card(without_card(without_card(base, "RAIN_INTENSITY"), "RAIN_DURATION"), "START_TIME");
  p = without_card(without_card(without_card(p, "TOT_TIME"), "SUMMARY"), "OUTLET_HYDRO");
  p += cards;
  p += "SUMMARY " + name + "_summary.txt\nOUTLET_HYDRO " + name + "_outlet.txt\n";
  p += "WRITE_OV_HOTSTART " + name + ".hot\nWRITE_CHAN_HOTSTART " + name + "\nWRITE_SM_HOTSTART " + name + ".sm\n";
  write_file(dir / (name + ".prj"), p);
}

void set_up(const scratch_dir& dir, const std::string& overtype, int threads) {
  for (const char* folder : {"channel_runs/plane", "continuation"})
    for (const auto& e : fs::directory_iterator(data_dir() / folder))
      fs::copy_file(e.path(), dir / e.path().filename().string(), fs::copy_options::overwrite_existing);
  const std::string base = read_file(dir / "p.prj") + common_cards(overtype, threads);
  write_project(dir, "c", base, "TOT_TIME 60\nSTART_TIME 9 0\nRAIN_INTENSITY 50\nRAIN_DURATION 25\n");
  write_project(dir, "a", base, "TOT_TIME 30\nSTART_TIME 9 0\nRAIN_INTENSITY 50\nRAIN_DURATION 25\n");
  write_project(dir, "b", base,
                "TOT_TIME 30\nSTART_TIME 9 30\nPRECIP_FILE dry.dat\nOV_INIT_DEPTH a.hot\nREAD_CHAN_HOTSTART a\n"
                "READ_SM_HOTSTART a.sm\n");
}

void run_ok(const scratch_dir& dir, const std::vector<std::string>& args) {
  const run_result r = run_program(kavro_binary(), args, dir.path());
  ASSERT_EQ(r.exit_code, 0) << args.back() << "\n" << r.out << r.err;
}

// The flow column of outlet rows first..last (1-based) of a hydrograph.
std::vector<std::string> flows(const std::string& text, size_t first, size_t last) {
  std::vector<std::string> out;
  const std::vector<std::string> rows = lines_of(text);
  for (size_t i = first; i <= last && i <= rows.size(); ++i) {
    const std::string& row = rows[i - 1];
    const size_t start = row.find_first_not_of(' ', row.find_first_of(' ', row.find_first_not_of(' ')));
    out.push_back(start == std::string::npos ? std::string() : row.substr(start));
  }
  return out;
}

const char* const hotstart_suffixes[] = {".hot", ".hot.ovs", ".dht", ".qht", ".sm", ".sm.gaf"};

TEST(ContinuationRun, ARunCutInTwoContinuesTheStraightRunByteForByte) {
  for (const char* overtype : {"ade", "explicit"}) {
    for (int threads : {1, 4}) {
      SCOPED_TRACE(std::string(overtype) + ", " + std::to_string(threads) + " threads");
      scratch_dir dir;
      set_up(dir, overtype, threads);
      for (const char* run : {"c.prj", "a.prj", "b.prj"}) run_ok(dir, {run});
      const std::string c = read_file(dir / "c_outlet.txt");
      const std::vector<std::string> c_rows = lines_of(c);
      ASSERT_EQ(c_rows.size(), 60u);
      const std::vector<std::string> a_rows = lines_of(read_file(dir / "a_outlet.txt"));
      ASSERT_EQ(a_rows.size(), 30u);
      EXPECT_EQ(a_rows, std::vector<std::string>(c_rows.begin(), c_rows.begin() + 30));
      const std::string b = read_file(dir / "b_outlet.txt");
      ASSERT_EQ(lines_of(b).size(), 30u);
      EXPECT_EQ(flows(b, 1, 30), flows(c, 31, 60));
      // The water is still moving at the cut: the check is not one of an
      // empty watershed.
      EXPECT_NE(flows(c, 31, 31), flows(c, 60, 60));
      for (const char* suffix : hotstart_suffixes) {
        ASSERT_TRUE(fs::exists(dir / (std::string("b") + suffix))) << suffix;
        EXPECT_EQ(read_file(dir / (std::string("b") + suffix)), read_file(dir / (std::string("c") + suffix)))
            << suffix;
      }
    }
  }
}

TEST(ContinuationRun, EveryRunOfABatchContinuesAlike) {
  scratch_dir dir;
  set_up(dir, "ade", 2);
  run_ok(dir, {"c.prj"});
  run_ok(dir, {"a.prj"});
  run_ok(dir, {"-b2", "b.prj"});
  for (const char* suffix : hotstart_suffixes) {
    const std::string straight = read_file(dir / (std::string("c") + suffix));
    for (const char* prefix : {"0000_", "0001_"}) {
      const fs::path p = dir / (std::string(prefix) + "b" + suffix);
      ASSERT_TRUE(fs::exists(p)) << p;
      EXPECT_EQ(read_file(p), straight) << p;
    }
  }
  EXPECT_EQ(flows(read_file(dir / "0001_b_outlet.txt"), 1, 30), flows(read_file(dir / "c_outlet.txt"), 31, 60));
}

}  // namespace
}  // namespace kavro_test
