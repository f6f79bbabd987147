// Batch runs of the small hillslope (two hours, a one-hour storm) whose
// hydrograph interval is a replacement key on a card that comes before the
// replacement cards: every run of the batch takes its own value, a run equals
// a single run of the same value, and a key that no pair replaces is refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::read_file;
using kavro_test::write_file;

class BatchRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& entry : fs::directory_iterator(kavro_test::data_dir() / "hillslope"))
      fs::copy_file(entry.path(), dir / entry.path().filename().string());
    write_file(dir / "params.txt", "1\n[R] \"%d\"\n");
    write_file(dir / "values.txt", "5\n10\n");
  }
  // The project with HYD_FREQ `value`, the replacement cards after it.
  void write_project(const std::string& value, bool replacement_cards = true) {
    std::string p = kavro_test::with_card(read_file(dir / "sample.prj"), "HYD_FREQ", value);
    if (replacement_cards) p += "REPLACE_PARAMS    params.txt\nREPLACE_VALS      values.txt\n";
    write_file(dir / "p.prj", p);
  }
  kavro_test::run_result run(const std::vector<std::string>& args) {
    return kavro_test::run_program(kavro_test::kavro_binary(), args, dir.path());
  }
  kavro_test::scratch_dir dir;
};

TEST_F(BatchRuns, AKeyBeforeTheReplacementCardsTakesEachRunsValue) {
  write_project("[R]");
  const auto batch = run({"-b2", "p.prj"});
  ASSERT_EQ(batch.exit_code, 0) << batch.out;
  EXPECT_EQ(batch.out.find("Error"), std::string::npos) << batch.out;
  // 120 minutes of hydrograph every 5 and every 10 minutes.
  EXPECT_EQ(kavro_test::count_lines(dir / "0000_outlet_hydro.txt"), 24);
  EXPECT_EQ(kavro_test::count_lines(dir / "0001_outlet_hydro.txt"), 12);

  // A single run reads the first value line, as run 0 of the batch does.
  const auto single = run({"p.prj"});
  ASSERT_EQ(single.exit_code, 0) << single.out;
  for (const char* name : {"outlet_hydro.txt", "summary.txt", "maskmap"})
    EXPECT_EQ(read_file(dir / name), read_file(dir / (std::string("0000_") + name))) << name;

  // And that run equals the run of the literal value, up to the summary's
  // note of the replacement.
  write_project("5", false);
  const auto literal = run({"p.prj"});
  ASSERT_EQ(literal.exit_code, 0) << literal.out;
  EXPECT_EQ(read_file(dir / "outlet_hydro.txt"), read_file(dir / "0000_outlet_hydro.txt"));
}

TEST_F(BatchRuns, AKeyThatNoPairReplacesIsRefused) {
  struct case_t {
    const char* name;
    bool replacement_cards;
  };
  for (const case_t& c : {case_t{"a key the list does not hold", true}, case_t{"no replacement cards", false}}) {
    SCOPED_TRACE(c.name);
    write_project("[Q]", c.replacement_cards);
    const auto r = run({"p.prj"});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_NE(r.out.find("Error: card HYD_FREQ on line 18 of the project file p.prj holds the key [Q], which no "
                         "replacement pair replaced"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Running...."), std::string::npos) << r.out;
  }
}

}  // namespace
}  // namespace kavro
