// The sediment budgets of the run log and the bed elevation file, on records
// filled by hand: a budget that closes shows no error, one that loses a
// known volume shows that share, and a bed file that cannot be opened costs
// only itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../framework/event_test_support.h"
#include "channel/link_kinds.h"
#include "framework/file_wrapper.h"
#include "output/event_summary.h"
#include "output/final_summary.h"
#include "output/output_steps.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::figure;
using kavro_test::read_file;

class SedimentSummary : public testing::Test {
 protected:
  void SetUp() override {
    ms = new_record();
    make_cells(*ms, 2, 10.0);
    set_output_folder(dir.path().string());
    ASSERT_TRUE(ms->fs_summary.open((dir / "summary.txt").string(), "w"));
    ms->sed_control.erosion_on = 1;
    ms->sed_transport_mode = 1;
    ms->ov_sed = std::make_unique<ov_sed_record>();
  }
  void TearDown() override { set_output_folder(""); }

  // n size classes with zero budgets; `sand` marks the sand classes.
  void classes(int n, std::initializer_list<int> sand = {}) {
    ms->sed_control.n_sed_classes = n;
    ms->ov_sed->tot_sed.allocate(n, 4);
    ms->sand.allocate(n);
    for (int c : sand) ms->sand[c] = 1;
    for (dvec* v : {&ms->sed_to_chan_total, &ms->sed_to_chan_by_class, &ms->sed_to_superlink_total,
                    &ms->sed_to_superlink_event})
      v->allocate(n);
  }
  // One channel network with a lake: link 1 ordinary (2 nodes), 2 a lake,
  // 3 a structure (1 node).
  void network() {
    ms->LINKS = 3;
    ms->ltype.allocate(3);
    ms->og_nx1.allocate(3);
    ms->ltype[1] = trapezoid_bit | erodible_bit;
    ms->ltype[2] = lake_bit;
    ms->ltype[3] = structure_bit;
    ms->og_nx1[1] = 2;
    ms->og_nx1[2] = 5;
    ms->og_nx1[3] = 1;
    for (dmat* m : {&ms->bel, &ms->new_bel, &ms->org_bel}) m->allocate(2, 3);
    ms->org_bel[1][1] = 100.75;
    ms->org_bel[2][1] = 100.5;
    ms->new_bel[1][1] = 100.5;
    ms->new_bel[2][1] = 100.25;
    ms->bel[1][1] = 100.625;
    ms->bel[2][1] = 100.375;
    ms->org_bel[1][3] = 99.0;
    ms->new_bel[1][3] = 98.5;
    ms->bel[1][3] = 99.125;
  }
  template <class F>
  std::string summary_of(F&& f, std::string* console = nullptr) {
    const std::string out = printed_by(std::forward<F>(f));
    if (console) *console = out;
    const std::string name = ms->fs_summary.name;
    ms->fs_summary.close();
    return read_file(name);
  }

  kavro_test::scratch_dir dir;
  std::unique_ptr<main_state> ms;
};

// 12.5 m3 eroded; 7 deposited, 1.5 suspended and 3.5 through the outlet
// leave 0.5 m3 unaccounted for: 4 percent, in the run and the event report.
TEST_F(SedimentSummary, OverlandClassBudgetShowsTheVolumeItLost) {
  for (const bool event : {false, true}) {
    SetUp();
    classes(1);
    auto& u = ms->ov_sed->tot_sed;
    u[1][1] = -12.5, u[1][2] = 1.5, u[1][3] = 7.0, u[1][4] = 3.5;
    const std::string text =
        summary_of([&] { event ? write_event_sediment_budgets(*ms) : (void)write_final_constituent_summaries(*ms); });
    EXPECT_NE(text.find("Overland Sediment Summary\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Total sediment 1 eroded from surface:             12.50000000 m3\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("Total sediment 1 routed through outlet             3.50000000 m3\n"), std::string::npos);
    EXPECT_NE(text.find("Mass balance error for sediment 1     4.0000 percent \n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Channel sediment"), std::string::npos);
    EXPECT_EQ(text.find("running totals for simulation - NOT EVENT") != std::string::npos, event);
    // No channel sediment: no bed file.
    EXPECT_FALSE(std::filesystem::exists(dir / "new_bed_elevations.txt"));
  }
}

// Sediment carried as constituents has no class budget; erosion without
// anything eroded divides by nothing.
TEST_F(SedimentSummary, ConstituentModeAndEmptyBudgets) {
  classes(2, {2});
  ms->sed_transport_mode = 2;
  std::string text = summary_of([&] { write_run_sediment_summary(*ms); });
  EXPECT_EQ(text, "\n");
  SetUp();
  classes(2, {2});
  ms->ov_sed_out_on = 1;
  network();
  text = summary_of([&] { write_run_sediment_summary(*ms); });
  EXPECT_EQ(text.find("nan"), std::string::npos) << text;
  EXPECT_EQ(occurrences(text, "percent \n"), 2);
  EXPECT_DOUBLE_EQ(figure(text, "Mass balance error for sediment 1"), 0.0);
  EXPECT_DOUBLE_EQ(figure(text, "Overall channel sediment mass cons. error:"), 0.0);
}

// The channel books: what came in from the land and the lakes equals what
// left, settled and stays; a volume taken off one output shows as its share.
TEST_F(SedimentSummary, ChannelSandAndWashLoadBalancesClose) {
  const struct {
    bool lakes;
    double lost;  // wash load missing from the books (m3)
    double wash_error, overall_error;
  } cases[] = {{false, 0.0, 0.0, 0.0}, {true, 0.0, 0.0, 0.0}, {false, 0.5, 10.0, 2.5}, {true, 0.6, 10.0, 0.6 / 21.0 * 100.0}};
  for (const auto& c : cases) {
    SetUp();
    classes(2, {2});
    network();
    ms->ov_sed_out_on = 1;
    ms->lakes_on = c.lakes;
    ms->n_lakes = 1;
    for (dvec* v : {&ms->tot_lake_sand_in, &ms->tot_lake_depo_in}) v->allocate(1);
    for (dmat* m : {&ms->GLOBAL_SS_vol_chan_to_lake, &ms->GLOBAL_SS_vol_lake_to_chan, &ms->GLOBAL_sed_vol_overland_to_lake,
                    &ms->GLOBAL_SS_vol_overland_to_lake, &ms->GLOBAL_SS_vol_lake_settled, &ms->SS_vol_lake,
                    &ms->SS_conc_vol_lake, &ms->SS_conc_lake})
      m->allocate(1, 2);
    // Sand: 10 in the beds, 5 from the land; 3 out, 11 stay (1 more into the lake with lakes).
    ms->vol_sand_chan_init_total = 10.0;
    ms->vol_sand_to_chan_total = 5.0;
    ms->vol_sand_out_total = 3.0;
    ms->vol_sand_chan_final = c.lakes ? 11.0 : 12.0;
    ms->tot_lake_sand_in[0] = ms->tot_lake_sand_in[1] = 1.0;
    // Wash load: 5 from the land (plus 1 back from the lake with lakes).
    ms->sed_to_chan_total[0] = 5.0;
    ms->GLOBAL_SS_vol_lake_to_chan[0][0] = 1.0;
    ms->GLOBAL_SS_vol_chan_to_lake[0][0] = 2.0;
    ms->vol_washload_out_total = (c.lakes ? 2.0 : 3.0) - c.lost;
    ms->vol_washload_susp_final = 2.0;
    ms->sed_control.adjust_channel_bed_on = 0;
    std::string console;
    const std::string text = summary_of([&] { EXPECT_TRUE(write_run_sediment_summary(*ms)); }, &console);
    EXPECT_NEAR(figure(text, "Mass conservation error for wash load:"), c.wash_error, 1e-6) << text;
    EXPECT_NEAR(figure(text, "Mass conservation error for sand load:"), 0.0, 1e-6);
    EXPECT_NEAR(figure(text, "Overall channel sediment mass cons. error:"), c.overall_error, 1e-6);
    EXPECT_EQ(text.find("Lake Summary") != std::string::npos, c.lakes);
    EXPECT_EQ(text.find("Summary for lake 1 \n") != std::string::npos, c.lakes);
    // The fine class gets the lake note, the sand class does not.
    EXPECT_EQ(occurrences(text, "NOTE:  Interactions between sediment"), c.lakes ? 1 : 0);
    EXPECT_EQ(text.find("between sediment 2 and lakes"), std::string::npos);
    EXPECT_EQ(console, "");
  }
}

// The bed file: one line per node of every link, one line per lake link,
// the structure flag; the adjusted bed (one blank before the flag) or the
// bed the sand budget gives (two blanks).
TEST_F(SedimentSummary, BedElevationFileHoldsEveryNode) {
  for (const int adjust : {0, 1}) {
    SetUp();
    classes(1);
    network();
    ms->ov_sed_out_on = 1;
    ms->sed_control.adjust_channel_bed_on = adjust;
    EXPECT_TRUE(write_new_bed_elevations(*ms));
    ms->fs_final_out_3.close();
    const std::string bed = read_file(dir / "new_bed_elevations.txt");
    const std::string expected =
        adjust ? "Link Node  New Elev(m) Old ELev (m) struct_flag: 0 no structure, 1 - structure, 2 - lake \n"
                 "1 1    100.625    100.750 0 \n"
                 "1 2    100.375    100.500 0 \n"
                 "Link     2 is a lake     2  \n"
                 "3 1     99.125     99.000 1 \n"
               : "Link Node  New Elev(m) Old ELev (m) struct_flag: 0 no structure, 1 - structure, 2 - lake \n"
                 "1 1    100.500    100.750  0 \n"
                 "1 2    100.250    100.500  0 \n"
                 "Link     2 is a lake     2  \n"
                 "3 1     98.500     99.000  1 \n";
    EXPECT_EQ(bed, expected);
  }
  // A node count larger than the bed arrays is never read past.
  SetUp();
  classes(1);
  network();
  ms->og_nx1[1] = 40;
  EXPECT_TRUE(write_new_bed_elevations(*ms));
  ms->fs_final_out_3.close();
  EXPECT_EQ(kavro_test::count_lines(dir / "new_bed_elevations.txt"), 5);
}

// A bed file that cannot be opened is reported and makes the run end with
// an error, but the summaries after it and the final maps are still written.
TEST_F(SedimentSummary, UnopenableBedFileCostsOnlyItself) {
  classes(1);
  network();
  ms->ov_sed_out_on = 1;
  // Every folder the name could go to holds a folder of that name.
  set_output_folder("");
  const std::filesystem::path started_in = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  std::filesystem::create_directory(dir / "new_bed_elevations.txt");
  ms->flood_grid_on = 1;
  ms->map_grid_files = 1;
  ms->flood_grid_path = (dir / "maxdepth.asc").string();
  ms->flood_depth_max.allocate(2);
  ms->flood_depth_max[1] = 0.25;
  std::string console;
  const std::string text = summary_of([&] { write_final_summary(*ms); }, &console);
  EXPECT_NE(console.find("Can't open the file for printing updated bed elevations: "), std::string::npos) << console;
  EXPECT_NE(console.find("new_bed_elevations.txt\n"), std::string::npos);
  EXPECT_EQ(error_rec.stop, 1);
  EXPECT_NE(text.find("Overall channel sediment mass cons. error:"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir / "maxdepth.asc"));
  std::filesystem::current_path(started_in);
  error_rec.stop = 0;
}

// The event report: the class budgets run from the start of the run, the
// channel budget is the event's and counts the wash load it began with.
TEST_F(SedimentSummary, EventChannelBudgetCountsTheWashLoadItBeganWith) {
  classes(1);
  ms->ov_sed_out_on = 1;
  ms->vol_washload_susp_init = 4.0;
  ms->sed_to_chan_by_class[0] = ms->sed_to_chan_by_class[1] = 6.0;
  ms->vol_washload_out = 7.0;
  ms->vol_washload_susp_final = 3.0;
  ms->vol_sand_chan_init = 2.0;
  ms->vol_sand_to_chan = 1.0;
  ms->vol_sand_out = 0.5;
  ms->vol_sand_chan_final = 2.5;
  ms->max_washload_rate = 0.125;
  const std::string text = summary_of([&] { write_event_sediment_budgets(*ms); });
  EXPECT_NE(text.find("Total sediment 1 transported into channels this event:       6.00 m3\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Initial wash load in suspension:                 4.00000000 m3 \n"), std::string::npos);
  EXPECT_NE(text.find("Maximum rate of wash-load discharge:       0.12500000 cms\n"), std::string::npos);
  EXPECT_NE(text.find("\n Event channel sediment mass-balance:\n"), std::string::npos);
  EXPECT_DOUBLE_EQ(figure(text, "Mass conservation error for wash load:"), 0.0);
  EXPECT_DOUBLE_EQ(figure(text, "Overall channel sediment mass cons. error:"), 0.0);
  EXPECT_EQ(text.find("Lake Summary"), std::string::npos);
}

}  // namespace
}  // namespace kavro
