// Stream analyzers: the letters and operator tokens of a definition, the
// comparisons node by node (a value at the threshold, NaN), the report
// layouts, the bindings that refuse what is not there, and the timing of
// timed tests.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "../framework/event_test_support.h"
#include "output/analyzers.h"
#include "test_support.h"

namespace kavro {
namespace {

// Two links of 3 and 1 nodes, four positions a link; every node 1 m deep
// over a bed at 100 m, discharge 0.
std::unique_ptr<main_state> channel_record() {
  auto ms = new_record();
  ms->LINKS = 2;
  ms->max_nodes_per_link = 4;
  ms->nx.allocate(2);
  ms->nx[1] = 3;
  ms->nx[2] = 1;
  for (dmat* m : {&ms->yp, &ms->bel, &ms->area, &ms->qp}) m->allocate(4, 2);
  for (int l = 1; l <= 2; ++l)
    for (int n = 1; n <= 4; ++n) {
      ms->bel[n][l] = 100.0;
      ms->yp[n][l] = 101.0;
    }
  ms->now = julian_date(2010, 7, 1, 9, 0, 0.0);
  return ms;
}

class Analyzers : public testing::Test {
 protected:
  void TearDown() override { error_rec.went_on = 0; }
};

TEST_F(Analyzers, LettersAndOperatorTokens) {
  EXPECT_EQ(parse_event_letters("tSs"), 25);
  EXPECT_EQ(parse_event_letters("tEecSsx"), 63);
  EXPECT_EQ(parse_output_letters("fcsd"), 60);
  EXPECT_EQ(parse_output_letters("tv"), 2) << "the later layout letter wins";
  EXPECT_EQ(parse_output_letters("vt"), 1);
  const std::vector<std::pair<std::string, int>> codes = {{"<=", 3}, {">=", 4}, {"==", 2}, {"<", 0}, {">", 1},
                                                          {"+", 5},  {"-", 6},  {"*", 7},  {"\\", 8}, {"x", 9}};
  for (const auto& [token, code] : codes) EXPECT_EQ(parse_operator_code(token), code) << token;
  std::string line = "2DS depth";
  EXPECT_EQ(parse_analyzer_type(line), 2);
  EXPECT_EQ(line, "depth");
  for (const auto& [text, type] : std::vector<std::pair<std::string, int>>{
           {"1DS", 1}, {"2DG", 0}, {"NSM_OV", 3}, {"NSM_ST", 4}, {"NSM_SL", 5}, {"3DS", -1}}) {
    std::string l = text + " x";
    EXPECT_EQ(parse_analyzer_type(l), type) << text;
  }
}

TEST_F(Analyzers, ComparisonsNodeByNode) {
  auto ms = channel_record();
  ms->qp[1][1] = 1.5;  // at the threshold
  ms->qp[2][1] = std::numeric_limits<double>::quiet_NaN();
  ms->qp[3][1] = 2.0;
  ms->qp[1][2] = 1.0;
  st2d_logical_OP op;
  op.init(&ms->qp, ms->LINKS, &ms->nx, ms->max_nodes_per_link, &ms->now, "flow");
  ASSERT_TRUE(op.bound());
  struct test_case {
    int (logical_OP::*test)(double);
    const char* text;
    std::vector<int> passed;  // link 1 nodes 1..3, link 2 node 1
  };
  const std::vector<test_case> cases = {
      {&logical_OP::test_lt, "< 1.500000", {0, 0, 0, 1}},  {&logical_OP::test_le, "<= 1.500000", {1, 0, 0, 1}},
      {&logical_OP::test_gt, "> 1.500000", {0, 0, 1, 0}},  {&logical_OP::test_ge, ">= 1.500000", {1, 0, 1, 0}},
      {&logical_OP::test_eq, "== 1.500000", {1, 0, 0, 0}},
  };
  for (const test_case& c : cases) {
    const int any = (op.*c.test)(1.5);
    const std::vector<int> got = {op.result[5], op.result[6], op.result[7], op.result[9]};
    EXPECT_EQ(got, c.passed) << c.text;
    EXPECT_EQ(any, 1) << c.text;
    EXPECT_EQ(op.op_text, c.text);
  }
  ms->qp[1][1] = ms->qp[3][1] = ms->qp[1][2] = std::numeric_limits<double>::quiet_NaN();
  for (const test_case& c : cases) EXPECT_EQ((op.*c.test)(1.5), 0) << "NaN passes no test: " << c.text;
}

// The console report of a 2DS analyzer defined by `definition` at
// notification `mask`.
std::string report_of(main_state& ms, const std::string& definition, int mask) {
  stanalyzer_2dst a;
  a.parse_definition(ms, definition);
  return printed_by([&] { a.on_event(ms, mask); });
}

TEST_F(Analyzers, DepthReportsInEveryLayout) {
  auto ms = channel_record();
  ms->yp[1][1] = 100.8;
  const std::string list = report_of(*ms, "depth S > 0.9 tscd", analyzer_run_initialised);
  EXPECT_NE(list.find("\n\nResults for logic test of the 2D stream array depth at the beginning of the simulation "
                      "at 07-01-2010, 9:0: 0.  Nodes with values > 0.900000:\n"),
            std::string::npos)
      << list;
  EXPECT_NE(list.find("Link   1, Node   2:        1.000000\n"), std::string::npos) << list;
  EXPECT_EQ(list.find("Link   1, Node   1:"), std::string::npos) << "0.8 m does not pass: " << list;
  EXPECT_NE(list.find("====> 3 out of 4 nodes passed the logic test.\n"), std::string::npos) << list;
  const std::string low = report_of(*ms, "DEPTH S < 0.9 tsd", analyzer_run_initialised);
  EXPECT_NE(low.find("Link   1, Node   1:        0.800000\n"), std::string::npos) << low;
  EXPECT_EQ(low.find("====>"), std::string::npos) << "no pass count without 'c'";
  const std::string pairs = report_of(*ms, "depth e < 0.9 cs", analyzer_event_ended);
  EXPECT_NE(pairs.find("at the end of an event at 07-01-2010, 9:0: 0.  Nodes with values < 0.900000:\n"
                       "[T, 0.8000][F, 1.0000][F, 1.0000][F, 1.0000]====> 1 out of 4 nodes"),
            std::string::npos)
      << pairs;
  const std::string table = report_of(*ms, "depth E < 0.9 vs", analyzer_event_read);
  EXPECT_NE(table.find("\n\nValues in the 2D stream array depth at the beginning of an event at 07-01-2010, "
                       "9:0: 0: \n   1:TFF\n   2:F\n"),
            std::string::npos)
      << table;
  EXPECT_EQ(report_of(*ms, "depth S < 0.9 c", analyzer_run_initialised), "") << "'c' alone writes nothing";
  EXPECT_EQ(report_of(*ms, "depth S + 0.9 csd", analyzer_run_initialised), "") << "'+' never reports";
  EXPECT_EQ(report_of(*ms, "depth s < 0.9 csd", analyzer_run_initialised), "") << "not one of its moments";
  EXPECT_EQ(report_of(*ms, "volume S < 0.9 csd", analyzer_run_initialised), "") << "no such array";
}

TEST_F(Analyzers, OneDimensionalBindingsReadOnlyWhatExists) {
  auto ms = channel_record();
  ms->n_constituents = 1;
  const auto set_up = [&](const std::string& definition) {
    auto a = std::make_unique<stanalyzer_1dst>();
    std::string printed = printed_by([&] { a->parse_definition(*ms, definition); });
    return std::make_pair(std::move(a), printed);
  };
  auto [out_of_range, message] = set_up("conc_2 S < 1 csd");
  EXPECT_EQ(message, "Error: 1DS Analyzer for conc with index 2 is out of range. Range for index is 1 to 1.\n");
  EXPECT_FALSE(out_of_range->op->bound());
  EXPECT_EQ(error_rec.went_on, 1) << "the run ends with an error";
  auto [upper, unable] = set_up("Conc_1 S < 1 csd");
  EXPECT_EQ(unable, "Error: unable to find 1DS array [Conc]\n");
  // A surface row shorter than the last link's positions (2 * 4 + 1) is
  // never read.
  ms->ov_constituent_conc.append_rows(1, 0.0, 8);
  auto [short_row, refused] = set_up("conc_1 S < 1 csd");
  EXPECT_EQ(refused, "Error: unable to find 1DS array [conc]\n");
  EXPECT_EQ(printed_by([&] { short_row->on_event(*ms, analyzer_run_initialised); }), "");
  auto [no_channel_rows, missing] = set_up("pointconc_1 S < 1 csd");
  EXPECT_EQ(missing, "Error: unable to find 1DS array [pointconc]\n");
  ms->n_constituents = 0;
  EXPECT_EQ(set_up("conc_1 S < 1 csd").second,
            "Error: Setting up 1DS analyzer when no constituents are being modeled.\n");
  ms->n_constituents = 1;
  ms->chan_point_conc.allocate(1, 12);
  ms->chan_point_conc[1][4 + 2] = 3.0;  // link 1, node 2
  auto [bound, none] = set_up("pointconc_1 S > 2 tsd");
  EXPECT_EQ(none, "");
  const std::string report = printed_by([&] { bound->on_event(*ms, analyzer_run_initialised); });
  EXPECT_NE(report.find("2D stream array pointconc_1 at"), std::string::npos) << report;
  EXPECT_NE(report.find("Link   1, Node   2:        3.000000\n"), std::string::npos) << report;
}

TEST_F(Analyzers, TimedTestsCountFromTheLastTest) {
  // 3,600 s with 5-minute steps from 9:00: the first step, then the first
  // step at least one hour after each test.
  auto ms = channel_record();
  const double start = ms->now, step = 300.0 / 86400.0;
  struct recorder : stanalyzer_2dst {
    std::vector<int>* tested = nullptr;
    int current = 0;
    void run_test(int) override { tested->push_back(current); }
  } a;
  std::vector<int> tested;
  a.tested = &tested;
  a.parse_definition(*ms, "depth t > 0.3 s 3600");
  for (int k = 0; k < 40; ++k) {
    ms->now = start + static_cast<double>(k + 1) * step;
    a.current = k;
    a.on_event(*ms, analyzer_step_done);
    a.on_event(*ms, analyzer_normal_end);  // not one of its letters
  }
  EXPECT_EQ(tested, (std::vector<int>{0, 12, 24, 36}));
}

TEST_F(Analyzers, DefinitionFile) {
  kavro_test::scratch_dir dir;
  auto ms = channel_record();
  const std::string blocker = (dir.path() / "blocker").string();
  kavro_test::write_file(blocker, "a file, not a folder\n");
  const std::string file = (dir.path() / "a.txt").string();
  kavro_test::write_file(file, "# the deep nodes\n2DS depth tSs > 0.3 fcsd 3600 " +
                                   (dir.path() / "deep.txt").string() + "\n" + "2DG depth S > 0.3 s\n" +
                                   "1DS conc_1 S < 1 s\n" + std::string(1100, 'x') + "\n" +
                                   "2DS flow S > 0.3 fs " + blocker + "/out.txt\n");
  const std::string printed = printed_by([&] { read_analyzer_file(*ms, file); });
  EXPECT_NE(printed.find("Error: line 5 of the analyzer file " + file + " holds 1100 characters, more than 1023"),
            std::string::npos)
      << printed;
  EXPECT_NE(printed.find("Error: Setting up 1DS analyzer when no constituents are being modeled.\n"),
            std::string::npos);
  EXPECT_EQ(occurrences(printed, "Warning: the analyzer output file"), 1) << printed;
  EXPECT_NE(printed.find("Set up 3 analyzers...\n"), std::string::npos) << printed;
  ASSERT_EQ(ms->analyzer_list.size(), 3u);
  EXPECT_TRUE(ms->analyzer_list[0]->output.is_open());
  EXPECT_FALSE(ms->analyzer_list[2]->output.is_open());
  printed_by([&] { notify_analyzers(*ms, analyzer_run_initialised); });
  ms->analyzer_list.clear();  // the files close with their analyzers
  EXPECT_NE(kavro_test::read_file(dir.path() / "deep.txt").find("====> 4 out of 4 nodes passed"), std::string::npos);
  ms->quiet = 1;
  EXPECT_EQ(printed_by([&] { read_analyzer_file(*ms, (dir.path() / "none.txt").string()); }), "")
      << "no file: no analyzers, no message";
}

}  // namespace
}  // namespace kavro
