// Whole runs of the lumped basin models on the channel hillside
// (tests/data/channel_runs/plane: 12 x 5 cells of 20 m, one link in column
// 5): all 20 mm of rain infiltrate, the model turns them into an hourly
// outflow, and the channels receive exactly that outflow, once.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "framework/main_state.h"
#include "framework/run_driver.h"
#include "subsurface/lumped_models.h"
#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;
using kavro_test::figure;
using kavro_test::read_file;
using kavro_test::run_result;
using kavro_test::scratch_dir;
using kavro_test::without_timing;
using kavro_test::write_file;

const std::string sac_text =
    "KAVRO_SACRAMENTO\nnum_basins 1\nuztwm 50\nuzfwm 40\nuzk 0.3\nzperc 40\nrexp 2.0\nlztwm 130\nlzfsm 25\n"
    "lzfpm 60\nlzsk 0.05\nlzpk 0.01\npfree 0.1\nuztwc 0.5\nuzfwc 0.5\nlztwc 0.3\nlzfsc 0.2\nlzfpc 0.4\nsaved 0\n";
const std::string cgw_text =
    "KAVRO_CONCEPTUAL_GW\nslow_max 100\nfast_max 40\nslow_rate 0.02\nfast_rate 0.25\nslow_content 0.6\n"
    "fast_content 0.5\nunderflow_percent 0\n";

// The hillside in `dir` with Green-Ampt soil that takes all the rain, run
// for 210 min, and `cards` added.
void copy_hillside(const fs::path& dir, const std::string& cards) {
  const fs::path plane = kavro_test::data_dir() / "channel_runs" / "plane";
  for (const auto& e : fs::directory_iterator(plane)) fs::copy_file(e.path(), dir / e.path().filename());
  const std::vector<std::string> mask = kavro_test::lines_of(read_file(dir / "mask.asc"));
  std::string header;
  for (std::size_t i = 0; i < 6; ++i) header += mask[i] + "\n";
  const auto uniform = [&](const char* name, const char* value) {
    std::string text = header;
    for (int r = 0; r < 12; ++r) text += std::string(value) + " " + value + " " + value + " " + value + " " + value + "\n";
    write_file(dir / name, text);
  };
  uniform("k.asc", "20");
  uniform("c.asc", "8");
  uniform("p.asc", "0.45");
  uniform("m.asc", "0.25");
  write_file(dir / "sac.txt", sac_text);
  write_file(dir / "cgw.txt", cgw_text);
  // The link map: link 1 in column 5, no link elsewhere.
  std::string links = header;
  for (int r = 0; r < 12; ++r) links += "0 0 0 0 1\n";
  write_file(dir / "links.asc", links);
  std::string project = kavro_test::with_card(read_file(dir / "p.prj"), "TOT_TIME", "210");
  project += "GREEN_AMPT\nCONDUCTIVITY k.asc\nCAPILLARY c.asc\nPOROSITY p.asc\nMOISTURE m.asc\n" + cards;
  write_file(dir / "p.prj", project);
}

std::set<std::string> written_files(const fs::path& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string n = e.path().filename().string();
    if (n.find(".asc") == std::string::npos && n != "p.prj" && n != "sac.txt" && n != "cgw.txt" && n != "chan.txt" &&
        n != "chan.gst")
      out.insert(n);
  }
  return out;
}

// What a run through the driver ends with: the lumped model's outflow
// booked (m3), the part of its last hour the run did not reach, and what the
// channels received from it.
struct lumped_end {
  bool ended = false;
  int steps = 0;
  double booked = 0, undelivered = 0, to_channels = 0, one_channel_step = 0, area = 0, chan_interval = 0;
  double recharge_mm = 0, store_error_mm = 0;
  double last_flow = 0;  // the model's flow of its last hour (m3/s)
};

lumped_end run_here(const fs::path& dir) {
  run_plan plan = default_run_plan();
  auto summary = plan.final_summary;
  lumped_end e;
  plan.final_summary = [&](main_state& ms) {
    summary(ms);
    e.ended = true;
    e.area = ms.watershed_area;
    e.to_channels = ms.vol_lumped_to_chan_total;
    e.chan_interval = ms.chan_interval;
    if (ms.sacramento_on) {
      e.steps = ms.sac_step_count;
      e.booked = ms.vol_sac_outflow_total;
      e.undelivered = ms.sac_channel_outflow * (ms.next_sac_time - ms.now) * 86400.0;
    } else {
      e.steps = ms.cgw_step_count;
      e.booked = ms.cgw_outflow_total_mm * ms.watershed_area / 1000.0;
      e.undelivered = ms.cgw_channel_outflow * (ms.next_cgw_time - ms.now) * 86400.0;
      e.last_flow = ms.cgw_channel_outflow;
      e.recharge_mm = ms.cgw_recharge_mm;
      e.store_error_mm = ms.cgw_storage_init_mm + ms.cgw_recharge_mm - ms.cgw_outflow_total_mm -
                         (ms.cgw_slow_content + ms.cgw_fast_content);
    }
  };
  const auto old_cwd = fs::current_path();
  fs::current_path(dir);
  testing::internal::CaptureStdout();
  const run_outcome out = run_simulation_with(plan, "p.prj", nullptr, "");
  // The model's step at the top of an hour comes before the channel step
  // that closes the interval ending then, so each change of the hourly
  // flow reaches the channels one channel step early: the delivered volume
  // may differ from the booked one by one channel step of the largest
  // hourly flow, which no hour's flow exceeds booked / 3600 s.
  testing::internal::GetCapturedStdout();
  fs::current_path(old_cwd);
  e.ended = e.ended && out.result == 0 && !out.stopped_on_error;
  e.one_channel_step = e.booked / 3600.0 * e.chan_interval;
  return e;
}

// The hourly inputs the hillside gives the model: the storm's 20 mm are all
// in the soil by the second hour's step; no evapotranspiration.
struct hourly_reference {
  double outflow_mm = 0, final_mm = 0;
};
hourly_reference sacramento_reference() {
  auto ms = std::make_unique<main_state>();
  ms->sac_uztwm = 50, ms->sac_uzfwm = 40, ms->sac_uzk = 0.3, ms->sac_zperc = 40, ms->sac_rexp = 2;
  ms->sac_lztwm = 130, ms->sac_lzfsm = 25, ms->sac_lzfpm = 60, ms->sac_lzsk = 0.05, ms->sac_lzpk = 0.01;
  ms->sac_pfree = 0.1, ms->sac_saved = 0;
  ms->sac_uztwc = 25, ms->sac_uzfwc = 20, ms->sac_lztwc = 39, ms->sac_lzfsc = 5, ms->sac_lzfpc = 24;
  ms->sac_pbase = 0.01 * 60 + 0.05 * 25;
  hourly_reference r;
  for (double p : {0.0, 20.0, 0.0, 0.0}) {
    double et = 0, deep = 0;
    sacramento_sma(*ms, et, p, deep);
    r.outflow_mm += ms->sac_outflow_mm;
  }
  r.final_mm = ms->sac_uztwc + ms->sac_uzfwc + ms->sac_lztwc + ms->sac_lzfsc + ms->sac_lzfpc;
  return r;
}

TEST(LumpedRuns, SacramentoFeedsTheChannelOnce) {
  scratch_dir dir;
  copy_hillside(dir.path(), "SACRAMENTO sac.txt\n");
  const run_result r = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Sac Weights: 1.000000"), std::string::npos);
  const std::string summary = read_file(dir / "summary.txt");
  const hourly_reference ref = sacramento_reference();
  EXPECT_NEAR(figure(summary, "Input rainfall (mm):"), 20.0, 1e-3);
  EXPECT_NEAR(figure(summary, "Subsurface runoff (mm):"), ref.outflow_mm, 1e-3);
  EXPECT_NEAR(figure(summary, "Final volume of subsurface water (mm):"), ref.final_mm, 1e-3);
  EXPECT_LT(std::fabs(figure(summary, "Sacramento simulation total residual water balance:")), 1e-9);
  const double lateral = figure(summary, "Total lateral inflow into channels=");
  EXPECT_GT(lateral, 100.0);
  EXPECT_NEAR(figure(summary, "Total amount of discharge=") + figure(summary, "Final volume in channels="), lateral,
              0.01);
  // The event balance counts the infiltrated water once, in the stores,
  // and the last hour's outflow the channels have not taken yet as still
  // underground: what is left is the channel step by which each hour's
  // flow reaches the channels early.
  EXPECT_LT(std::fabs(figure(summary, "mass conservation error:")), 0.01);
  // The outflow reaches the channels from below: the surface stores close
  // with it as an input (without it they read about -31 percent).
  EXPECT_LT(std::fabs(figure(summary, "Mass balance error of surface components =")), 1e-4);

  // In process: what the channels received is what the model gave, less
  // the part of the last hour the run did not reach.
  scratch_dir again;
  copy_hillside(again.path(), "SACRAMENTO sac.txt\n");
  const lumped_end e = run_here(again.path());
  ASSERT_TRUE(e.ended);
  EXPECT_EQ(e.steps, 4);
  EXPECT_NEAR(e.to_channels, e.booked - e.undelivered, e.one_channel_step + 1e-9);
  EXPECT_NEAR(e.booked, ref.outflow_mm * e.area / 1000.0, 1e-6);
  EXPECT_LT(e.to_channels, e.booked);
}

TEST(LumpedRuns, SacramentoRunsAlikeOnAnyThreadCountAndInABatch) {
  scratch_dir one, four, batch;
  copy_hillside(one.path(), "SACRAMENTO sac.txt\nNUM_THREADS 1\n");
  copy_hillside(four.path(), "SACRAMENTO sac.txt\nNUM_THREADS 4\n");
  copy_hillside(batch.path(), "SACRAMENTO sac.txt\nNUM_THREADS 2\n");
  const run_result r1 = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, one.path());
  const run_result r4 = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, four.path());
  ASSERT_EQ(r1.exit_code, 0) << r1.out;
  ASSERT_EQ(r4.exit_code, 0) << r4.out;
  const std::set<std::string> files = written_files(one.path());
  EXPECT_EQ(files, written_files(four.path()));
  for (const std::string& f : files)
    EXPECT_EQ(without_timing(read_file(one / f)), without_timing(read_file(four / f))) << f;
  const run_result rb = kavro_test::run_program(kavro_test::kavro_binary(), {"-b2", "p.prj"}, batch.path());
  ASSERT_EQ(rb.exit_code, 0) << rb.out;
  const kavro_test::batch_comparison b = kavro_test::compare_batch_runs(batch.path());
  EXPECT_EQ(b.differing, std::vector<std::string>{});
  EXPECT_GE(b.compared, 3);
}

TEST(LumpedRuns, TwoStoreModelFeedsTheChannelOnce) {
  scratch_dir dir;
  copy_hillside(dir.path(), "CONCEPTUAL_GW cgw.txt\nLINKS links.asc\n");
  const run_result r = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("CGW Weights: 1.000000"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(dir / "upslope.out"));
  const std::string summary = read_file(dir / "summary.txt");
  EXPECT_LT(std::fabs(figure(summary, "mass conservation error:")), 0.01);
  // The stores stand outside the run balance: the infiltration leaves it,
  // their outflow to the channels (their start contents included) comes
  // back in, and both balances close (without it: -110 and -113 percent).
  EXPECT_LT(std::fabs(figure(summary, "Mass balance error of surface components =")), 1e-4);
  EXPECT_LT(std::fabs(figure(summary, "Overall mass balance error =")), 1e-4);
  scratch_dir again;
  copy_hillside(again.path(), "CONCEPTUAL_GW cgw.txt\nLINKS links.asc\n");
  const lumped_end e = run_here(again.path());
  ASSERT_TRUE(e.ended);
  EXPECT_EQ(e.steps, 4);
  EXPECT_NEAR(e.to_channels, e.booked - e.undelivered, e.one_channel_step + 1e-9);
  EXPECT_NEAR(e.recharge_mm, 20.0, 1e-6);
  // All the rain infiltrates: the outlet's tail is the two stores'
  // recession, the channel passing on the last hour's flow.
  const std::vector<std::string> rows = kavro_test::progress_lines(r.out);
  ASSERT_FALSE(rows.empty());
  const double q_end = kavro_test::parse_progress(rows.back()).qout;
  EXPECT_NEAR(q_end, e.last_flow, 0.01 * e.last_flow);
  EXPECT_NEAR(e.store_error_mm, 0.0, 1e-9);
}

TEST(LumpedRuns, RefusedBeforeTheTimeLoop) {
  struct refusal {
    const char* what;
    std::string cards;
    std::vector<std::string> remove;  // cards taken out of the hillside project
    const char* message;
    const char* timestep = "5";
  };
  const std::vector<refusal> cases = {
      {"Sacramento without channels", "SACRAMENTO sac.txt\n", {"CHANNEL_INPUT", "CHAN_EXPLIC", "STREAM_CELL"}, "SACRAMENTO needs CHANNEL_INPUT"},
      {"two-store model without channels", "CONCEPTUAL_GW cgw.txt\n", {"CHANNEL_INPUT", "CHAN_EXPLIC", "STREAM_CELL"},
       "CONCEPTUAL_GW needs CHANNEL_INPUT"},
      {"a store without capacity", "SACRAMENTO bad.txt\n", {}, "card uztwm is 0"},
      {"a missing parameter file", "SACRAMENTO none.txt\n", {}, "Cannot open Sacramento input parameter file: none.txt"},
      {"a two-store file without its header", "CONCEPTUAL_GW nohead.txt\nLINKS links.asc\n", {},
       "have the proper header: KAVRO_CONCEPTUAL_GW"},
      {"both models at once", "SACRAMENTO sac.txt\nCONCEPTUAL_GW cgw.txt\nLINKS links.asc\n", {},
       "SACRAMENTO and CONCEPTUAL_GW cannot run together"},
      // The hourly step would be missed after the first hour.
      {"a time step that does not divide an hour", "SACRAMENTO sac.txt\n", {},
       "the SACRAMENTO model runs once an hour: the time step (7 s, card TIMESTEP) must divide an hour", "7"},
      {"the two-store model at 13 s", "CONCEPTUAL_GW cgw.txt\nLINKS links.asc\n", {},
       "the CONCEPTUAL_GW model runs once an hour: the time step (13 s, card TIMESTEP)", "13"},
  };
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.what);
    scratch_dir dir;
    copy_hillside(dir.path(), c.cards);
    std::string bad = sac_text;
    bad.replace(bad.find("uztwm 50"), 8, "uztwm 0");
    write_file(dir / "bad.txt", bad);
    write_file(dir / "nohead.txt", cgw_text.substr(cgw_text.find('\n') + 1));
    write_file(dir / "p.prj", kavro_test::with_card(read_file(dir / "p.prj"), "TIMESTEP", c.timestep));
    for (const std::string& card : c.remove)
      write_file(dir / "p.prj", kavro_test::without_card(read_file(dir / "p.prj"), card));
    const run_result r = kavro_test::run_program(kavro_test::kavro_binary(), {"p.prj"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
    EXPECT_EQ((r.out + r.err).find("event  1 elapsed"), std::string::npos);
  }
}

}  // namespace
}  // namespace kavro
