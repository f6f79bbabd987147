// The card sweep: the small hillslope of tests/data/hillslope with each
// keyword of the card table added alone, with the value 1, with a number no
// card can take (1e308), with a file name and with no value. Every
// run must end with exit 0 or 1, within its time, without a signal or a
// sanitizer report, and never with exit 0 after printing "Error". The
// keywords are split into shards that CTest runs side by side. The sweep runs
// in the sanitizer build (make sanitize, CI) or with KAVRO_CARD_SWEEP=1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "input/project_cards.h"
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

constexpr int shard_count = 16;

std::vector<std::string> distinct_keywords() {
  std::vector<std::string> out;
  for (const card_keyword& k : project_card_keywords()) {
    std::string upper(k.keyword);
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (std::find(out.begin(), out.end(), upper) == out.end()) out.push_back(upper);
  }
  return out;
}

class CardSweep : public testing::TestWithParam<int> {};

TEST_P(CardSweep, EveryCardEndsCleanly) {
#ifndef KAVRO_SANITIZE_BUILD
  // Some 1,900 runs: worth their time where the sanitizers watch them.
  if (!std::getenv("KAVRO_CARD_SWEEP")) GTEST_SKIP() << "runs in the sanitizer build (or with KAVRO_CARD_SWEEP=1)";
#endif
  const fs::path sample = data_dir() / "hillslope";
  const std::string project = read_file(sample / "sample.prj");
  const std::vector<std::string> keywords = distinct_keywords();
  ASSERT_GT(keywords.size(), 400u);
  for (std::size_t i = static_cast<std::size_t>(GetParam()); i < keywords.size(); i += shard_count) {
    for (const char* value : {" 1", " 1e308", " file.txt", ""}) {
      const std::string line = keywords[i] + value;
      SCOPED_TRACE(line);
      scratch_dir dir;
      for (const char* name : {"mask.asc", "elevation.asc"}) fs::copy_file(sample / name, dir / name);
      write_file(dir / "sample.prj", project + line + "\n");
      const run_result r = run_program("/usr/bin/timeout", {"20", kavro_binary().string(), "sample.prj"}, dir.path(),
                                       "", {"OMP_NUM_THREADS=1"});
      EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << "exit " << r.exit_code << "\n" << r.out << r.err;
      EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
      if (r.exit_code == 0) {
        EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, CardSweep, testing::Range(0, shard_count));

}  // namespace
}  // namespace kavro
