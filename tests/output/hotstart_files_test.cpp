// The files a run leaves for the next one: hotstart values read back to the
// very doubles the run ended with, the channel hotstart holds exactly the
// lines its reader reads, and one file that cannot be opened costs only
// itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../framework/event_test_support.h"
#include "channel/channel_steps.h"
#include "channel/link_kinds.h"
#include "framework/file_wrapper.h"
#include "input/ascii_map.h"
#include "input/cell_loaders.h"
#include "output/hotstart_files.h"
#include "overland/overland_solver_state.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;

void write_file_text(const std::string& name, const std::string& text) { kavro_test::write_file(name, text); }

class HotstartFiles : public testing::Test {
 protected:
  void SetUp() override {
    ms = fresh_record();
    started_in = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
  }
  void TearDown() override {
    std::filesystem::current_path(started_in);
    error_rec.code = error_rec.stop = 0;
  }
  // Five cells of 10 m in one row.
  static std::unique_ptr<main_state> fresh_record() {
    auto r = new_record();
    make_cells(*r, 5, 10.0);
    r->grid_rows = 1;
    r->grid_cols = 5;
    r->map_north = 10.0;
    r->map_south = 0.0;
    r->map_east = 50.0;
    r->map_west = 0.0;
    r->soil_moisture.allocate(5);
    return r;
  }

  kavro_test::scratch_dir dir;
  std::filesystem::path started_in;
  std::unique_ptr<main_state> ms;
};

TEST_F(HotstartFiles, OverlandAndSoilMoistureValuesReadBackBitwise) {
  const double depths[] = {1.0 / 3.0, 1e-7, 0.005, 0.0, 101.9};
  for (long k = 1; k <= 5; ++k) {
    ms->ov_depth[k] = depths[k - 1];
    ms->soil_moisture[k] = 0.45 - depths[k - 1] / 1000.0;
  }
  ms->project_params.use_write_ov_hotstart = 1;
  ms->project_params.write_ov_hotstart = "end.hot";
  ms->project_params.use_write_sm_hotstart = 1;
  ms->project_params.write_sm_hotstart = "end.sm";
  const std::string console = printed_by([&] { write_end_of_run_files(*ms); });
  EXPECT_EQ(console, "");
  EXPECT_EQ(error_rec.stop, 0);
  const std::string text = read_file(dir / "end.hot");
  EXPECT_NE(text.find("0.3333333333333333 1e-07 0.005 0 101.9 \n"), std::string::npos) << text;

  for (const char* name : {"end.hot", "end.sm"}) {
    auto next = fresh_record();
    file_wrapper f;
    ASSERT_TRUE(f.open(name, "r"));
    dvec values{"values"};
    values.allocate(5);
    read_cell_map(*next, f, name, map_reals_a, &values, nullptr);
    ASSERT_EQ(error_rec.code, 0) << name;
    const dvec& expected = std::string(name) == "end.hot" ? ms->ov_depth : ms->soil_moisture;
    for (long k = 1; k <= 5; ++k) EXPECT_EQ(values[k], expected[k]) << name << " cell " << k;
  }
}

// Under Green-Ampt the soil-moisture hotstart carries the infiltrated depth
// beside it, and the reader of the hotstart takes it back bitwise; without
// the companion the reader says so once and starts from none.
TEST_F(HotstartFiles, InfiltratedDepthTravelsWithTheSoilMoistureHotstart) {
  ms->green_ampt_on = 1;
  for (long k = 1; k <= 5; ++k) {
    ms->soil_moisture[k] = 0.2;
    ms->cum_infil[k] = 0.0056437163356950 * static_cast<double>(k) / 3.0;
  }
  ms->project_params.use_write_sm_hotstart = 1;
  ms->project_params.write_sm_hotstart = "end.sm";
  write_end_of_run_files(*ms);
  for (const bool companion : {true, false}) {
    if (!companion) std::filesystem::remove(dir / "end.sm.gaf");
    auto next = fresh_record();
    next->green_ampt_on = 1;
    next->project_params.use_read_sm_hotstart = 1;
    next->project_params.read_sm_hotstart = "end.sm";
    ASSERT_TRUE(next->read_sm_hotstart_file.open("end.sm", "r"));
    const std::string console = printed_by([&] { read_soil_moisture_hotstart(*next); });
    ASSERT_EQ(error_rec.code, 0) << console;
    EXPECT_EQ(next->cum_infil_from_hotstart, companion ? 1 : 0);
    EXPECT_EQ(occurrences(console, "no infiltrated depth beside the soil moisture hotstart (end.sm.gaf)"),
              companion ? 0 : 1)
        << console;
    for (long k = 1; k <= 5; ++k) EXPECT_EQ(next->cum_infil[k], companion ? ms->cum_infil[k] : 0.0) << k;
  }
}

// The overland solver's state beside the overland hotstart reads back to the
// same values; a damaged file is refused naming its line and changes nothing.
TEST_F(HotstartFiles, OverlandSolverStateReadsBackAndADamagedOneIsRefused) {
  ms->ov_toggle = 2;
  ms->ov_route_count = 353;
  ms->ade_change_factor = 0.25;
  ms->ade_ok_steps = 7;
  ms->ade_prev_substep = 1.0 / 3.0;
  ms->explicit_sweep_toggle = 1;
  ms->explicit_reduced_step = 0.1;
  ms->explicit_reduced_calls = 3;
  ms->explicit_reduced_active = 1;
  ms->ov_qx.allocate(5);
  ms->ov_qy.allocate(5);
  for (long k = 1; k <= 5; ++k) {
    ms->ov_qx[k] = 1e-4 / static_cast<double>(k);
    ms->ov_qy[k] = -2.0 / 7.0 * static_cast<double>(k);
  }
  ms->project_params.use_write_ov_hotstart = 1;
  ms->project_params.write_ov_hotstart = "end.hot";
  write_end_of_run_files(*ms);
  const std::string good = read_file(dir / "end.hot.ovs");
  {
    auto next = fresh_record();
    const std::string console = printed_by([&] { read_overland_solver_state(*next, "end.hot"); });
    ASSERT_EQ(error_rec.code, 0) << console;
    EXPECT_EQ(next->ov_toggle, 2);
    EXPECT_EQ(next->ov_route_count, 353);
    EXPECT_EQ(next->ade_change_factor, 0.25);
    EXPECT_EQ(next->ade_ok_steps, 7);
    EXPECT_EQ(next->ade_prev_substep, 1.0 / 3.0);
    EXPECT_EQ(next->explicit_sweep_toggle, 1);
    EXPECT_EQ(next->explicit_reduced_step, 0.1);
    EXPECT_EQ(next->explicit_reduced_calls, 3);
    EXPECT_EQ(next->explicit_reduced_active, 1);
    ASSERT_EQ(next->ov_qx.size(), 5);
    for (long k = 1; k <= 5; ++k) {
      EXPECT_EQ(next->ov_qx[k], ms->ov_qx[k]) << k;
      EXPECT_EQ(next->ov_qy[k], ms->ov_qy[k]) << k;
    }
  }
  struct damage {
    const char* from;
    const char* to;
    const char* message;
  };
  const damage cases[] = {
      {"ov_route_count 353", "ov_route_count 35x", "line 2: ov_route_count"},
      {"ade_prev_substep ", "ade_step ", "line 5: \"ade_step\" where \"ade_prev_substep\" belongs"},
      {"face_flows 5", "face_flows 4", "line 10: 4 face flows for a watershed of 5 cells"},
      {"face_flows 5", "face_flows 9", "line 10: the count of face flows"},
      {"-0.2857142857142857\n", "nan\n", "line 11: the face flow of cell 1"},
  };
  for (const damage& d : cases) {
    SCOPED_TRACE(d.to);
    std::string text = good;
    const size_t at = text.find(d.from);
    ASSERT_NE(at, std::string::npos) << text;
    text.replace(at, std::string(d.from).size(), d.to);
    write_file_text("end.hot.ovs", text);
    auto next = fresh_record();
    const std::string console = printed_by([&] { read_overland_solver_state(*next, "end.hot"); });
    EXPECT_EQ(error_rec.stop, 1);
    EXPECT_NE(console.find("Error in overland solver state file end.hot.ovs, " + std::string(d.message)),
              std::string::npos)
        << console;
    EXPECT_EQ(next->ov_route_count, 0);
    EXPECT_EQ(next->ov_toggle, 1);
    error_rec.code = error_rec.stop = 0;
  }
  // A file cut short is refused too.
  write_file_text("end.hot.ovs", good.substr(0, good.find("face_flows")));
  auto next = fresh_record();
  const std::string console = printed_by([&] { read_overland_solver_state(*next, "end.hot"); });
  EXPECT_NE(console.find("line 10: the file ends early"), std::string::npos) << console;
}

// Link 1 an ordinary trapezoid of two nodes, link 2 a structure: two lines
// in each file, nothing for the structure, and the reader gets the very
// values back.
TEST_F(HotstartFiles, ChannelHotstartHoldsTheLinesItsReaderReads) {
  auto channel = [](main_state& r) {
    r.LINKS = 2;
    r.ltype.allocate(2);
    r.nx.allocate(2);
    r.ltype[1] = trapezoid_bit;
    r.ltype[2] = structure_bit;
    r.nx[1] = 2;
    r.nx[2] = 1;
    for (dmat* m : {&r.yp, &r.qp, &r.area, &r.bel, &r.chan_depth}) m->allocate(2, 2);
  };
  channel(*ms);
  ms->yp[1][1] = 100.5, ms->yp[2][1] = 100.25, ms->yp[1][2] = 99.0;
  ms->area[1][1] = 0.75, ms->area[2][1] = 0.5;
  ms->qp[1][1] = 2.5, ms->qp[2][1] = 2.25, ms->qp[1][2] = 1.0;
  ASSERT_TRUE(ms->fs_chan_hotstart_out.open("c.dht", "w"));
  ASSERT_TRUE(ms->chan_hotstart_q_out_file.open("c.qht", "w"));
  ms->chan_hotstart_write_on = 1;
  write_end_of_run_files(*ms);
  ms->fs_chan_hotstart_out.close();
  ms->chan_hotstart_q_out_file.close();
  EXPECT_EQ(read_file(dir / "c.dht"), "1 1 100.5 0.75 \n2 1 100.25 0.5 \n");
  EXPECT_EQ(read_file(dir / "c.qht"), "1 1 2.5\n2 1 2.25\n");

  auto next = fresh_record();
  channel(*next);
  next->chan_wse_start_on = 1;
  ASSERT_TRUE(next->chan_hotstart_in_file.open("c.dht", "r"));
  ASSERT_TRUE(next->chan_hotstart_q_in_file.open("c.qht", "r"));
  read_chan_hotstart(*next);
  ASSERT_EQ(error_rec.code, 0);
  for (int n = 1; n <= 2; ++n) {
    EXPECT_EQ(next->yp[n][1], ms->yp[n][1]);
    EXPECT_EQ(next->area[n][1], ms->area[n][1]);
    EXPECT_EQ(next->qp[n][1], ms->qp[n][1]);
  }
  EXPECT_EQ(next->qp[1][2], 0.0);  // the structure is not in the files

  // A discharge file one line short names the node it missed.
  write_file_text("short.qht", "1 1 2.5\n");
  auto cut = fresh_record();
  channel(*cut);
  cut->chan_wse_start_on = 1;
  ASSERT_TRUE(cut->chan_hotstart_in_file.open("c.dht", "r"));
  ASSERT_TRUE(cut->chan_hotstart_q_in_file.open("short.qht", "r"));
  const std::string console = printed_by([&] { read_chan_hotstart(*cut); });
  EXPECT_NE(console.find("ends early at link 1 node 2"), std::string::npos) << console;
  EXPECT_EQ(error_rec.code, already_printed_code);
}

// A folder where the groundwater hotstart should go: the message, the run
// ends with an error, and the overland hotstart is written all the same.
TEST_F(HotstartFiles, UnwritableGroundwaterHotstartCostsOnlyItself) {
  std::filesystem::create_directory(dir / "hotstart_file");
  ms->gw_simulation_on = 1;
  ms->project_params.use_write_ov_hotstart = 1;
  ms->project_params.write_ov_hotstart = "end.hot";
  ms->ov_depth[2] = 0.125;
  const std::string console = printed_by([&] { write_end_of_run_files(*ms); });
  EXPECT_NE(console.find("Can't open gw hot start map for writing out hotstart info: "), std::string::npos)
      << console;
  EXPECT_NE(console.find("hotstart_file\n"), std::string::npos);
  EXPECT_EQ(error_rec.stop, 1);
  EXPECT_NE(read_file(dir / "end.hot").find("0 0.125 0 0 0 \n"), std::string::npos);
}

// Hotstarts that cannot be opened say which one; the run goes on.
TEST_F(HotstartFiles, UnwritableHotstartsNameTheirKind) {
  std::filesystem::create_directory(dir / "end.hot");
  std::filesystem::create_directory(dir / "end.sm");
  ms->project_params.use_write_ov_hotstart = 1;
  ms->project_params.write_ov_hotstart = "end.hot";
  ms->project_params.use_write_sm_hotstart = 1;
  ms->project_params.write_sm_hotstart = "end.sm";
  const std::string console = printed_by([&] { write_end_of_run_files(*ms); });
  EXPECT_NE(console.find("Can't open overland hotstart file for writing: "), std::string::npos) << console;
  EXPECT_NE(console.find("Can't open soil moisture hotstart file for writing: "), std::string::npos) << console;
  EXPECT_EQ(error_rec.stop, 0);
}

}  // namespace
}  // namespace kavro
