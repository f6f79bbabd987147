// Opening the run's files: which file wrappers are open after the step (open
// exactly when a card named the file), the errors of files that cannot be
// opened, the files the mapping table excuses, and what the step writes.
#include "output/run_files_open.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "input/map_table_check.h"
#include "input/project_settings.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;
using kavro_test::write_file;
using M = main_state;
using wrapper = file_wrapper M::*;

// The cards of every case: the four files that every run opens.
const std::string always_opened =
    "WATERSHED_MASK mask.asc\nELEVATION elev.asc\nSUMMARY sum.txt\nOUTLET_HYDRO outlet.txt\n";

// Every wrapper of the record that the step may open.
std::vector<wrapper> all_wrappers() {
  std::vector<wrapper> all(file_slot_members.begin(), file_slot_members.end());
  for (wrapper w :
       std::initializer_list<wrapper>{&M::outlet_hydro_file,        &M::overland_depth_location_file,
                                      &M::overland_depths_file,     &M::overland_wse_location_file,
                                      &M::overland_wse_file,        &M::gw_boundfile_file,
                                      &M::gw_well_level_file,       &M::gw_hycond_map_file,
                                      &M::gw_porosity_map_file,     &M::evap_out_file,
                                      &M::out_kotu_temp_file,       &M::channel_input_file,
                                      &M::chan_hotstart_q_out_file, &M::ov_init_depth_file,
                                      &M::swe_hotstart_file,        &M::read_sm_hotstart_file,
                                      &M::chan_hotstart_in_file,    &M::chan_hotstart_q_in_file,
                                      &M::chan_depth_file,          &M::chan_discharge_file,
                                      &M::chan_stage_file,          &M::chan_velocity_file,
                                      &M::flood_stream_file,        &M::chan_sed_flux_file,
                                      &M::pipe_head_file,           &M::pipe_tile_file,
                                      &M::pipe_flow_file,           &M::total_chan_n_file,
                                      &M::total_chan_kn_file,       &M::total_chan_p_file})
    all.push_back(w);
  return all;
}

class RunFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    error_rec = error_record{};
    set_project_folder(dir.path().string());
    const auto fixture = kavro_test::data_dir() / "settings";
    for (const char* name : {"mask.asc", "elev.asc"}) std::filesystem::copy_file(fixture / name, dir / name);
    write_file(dir / "plain", "");  // a plain file: no file can be created below it
  }
  void TearDown() override {
    ms.reset();
    run_log_file = nullptr;
    error_rec = error_record{};
    super_quiet = 0;
    project_folder.clear();
    output_folder.clear();
  }

  // Creates the input files `inputs`, reads the project of `cards` and opens
  // its files; `prepare` may change the record in between.
  M& open(const std::string& cards, const std::vector<std::string>& inputs = {},
          void (*prepare)(M&) = nullptr) {
    for (const std::string& name : inputs) write_file(dir / name, "");
    write_file(dir / "p.prj", "KAVROPROJECT\n" + always_opened + cards);
    ms = std::make_unique<M>();
    error_rec = error_record{};
    testing::internal::CaptureStdout();
    read_project((dir / "p.prj").string(), *ms);
    if (prepare) prepare(*ms);
    open_run_files(*ms);
    out = testing::internal::GetCapturedStdout();
    return *ms;
  }
  std::string bad_path(const char* name) const { return (dir / "plain" / name).string(); }

  kavro_test::scratch_dir dir;
  std::unique_ptr<M> ms;
  std::string out;
};

struct opened_case {
  const char* cards;
  std::vector<std::string> inputs;
  std::vector<wrapper> opened;  // besides the four of every run
};

TEST_F(RunFiles, AFileIsOpenExactlyWhenItsCardNamesIt) {
  const opened_case cases[] = {
      {"", {}, {}},
      {"GREEN_AMPT\nMOISTURE m.asc\nCONDUCTIVITY k.asc\nCAPILLARY c.asc\nPOROSITY p.asc\nPORE_INDEX pi.asc\n",
       {"m.asc", "k.asc", "c.asc", "p.asc", "pi.asc"},
       {&M::fs_moisture, &M::fs_conductivity, &M::fs_capillary, &M::fs_porosity}},
      {"INF_REDIST\nPORE_INDEX pi.asc\nRESIDUAL_SAT rs.asc\nSOIL_TYPE_MAP st.asc\nSOIL_LAYER_INPUT_FILE "
       "sl.txt\n",
       {"pi.asc", "rs.asc", "st.asc", "sl.txt"},
       {&M::fs_pore_index, &M::fs_residual_sat, &M::fs_soil_type_map, &M::fs_soil_layer_input_file,
        &M::evap_out_file}},
      {"INIT_SWE_DEPTH 0.25\n", {}, {}},
      {"INIT_SWE_DEPTH swe.asc\n", {"swe.asc"}, {&M::swe_hotstart_file}},
      {"CHAN_EXPLIC\nCHANNEL_INPUT ch.txt\nSTREAM_CELL sc.txt\nCHAN_DEPTH cd.out\nWRITE_CHAN_HOTSTART hs\n"
       "READ_CHAN_HOTSTART in\n",
       {"ch.txt", "sc.txt", "in.dht", "in.qht"},
       {&M::channel_input_file, &M::fs_stream_cell, &M::chan_depth_file, &M::fs_chan_hotstart_out,
        &M::chan_hotstart_q_out_file, &M::chan_hotstart_in_file, &M::chan_hotstart_q_in_file}},
      {"IN_HYD_LOCATION h.txt\nOUT_HYD_LOCATION h.out\nRUNOFF_MMPH r.out\nOV_INIT_DEPTH ov.asc\n"
       "READ_SM_HOTSTART sm.asc\n",
       {"h.txt", "ov.asc", "sm.asc"},
       {&M::fs_in_hyd_location, &M::fs_out_hyd, &M::fs_runoff_mmph, &M::ov_init_depth_file,
        &M::read_sm_hotstart_file}},
      {"WATER_TABLE wt.asc\nGW_SIMULATION\nGW_BOUNDFILE b.txt\nAQUIFER_BOTTOM ab.asc\nGW_POROSITY_MAP "
       "gp.asc\n"
       "GW_WELL_LEVEL wl.out\nOUT_WELL_LOCATION w.txt\n",
       {"wt.asc", "b.txt", "ab.asc", "gp.asc", "w.txt"},
       {&M::gw_boundfile_file, &M::fs_water_table, &M::fs_aquifer_bottom, &M::gw_porosity_map_file,
        &M::gw_well_level_file, &M::fs_out_well_location}},
      {"LONG_TERM\nHMET_SAMSON met.dat\nET_CALC_PENMAN\nINF_REDIST\nALBEDO a.asc\nVHEIGHT v.asc\n",
       {"met.dat", "a.asc", "v.asc"},
       {&M::fs_hmet_surfaways, &M::fs_albedo, &M::fs_vheight, &M::evap_out_file}},
      {"STORM_SEWER s.txt\nPIPE_HEAD ph.out\nCONTAM_MAP cm.asc\nNUTRIENTS\nTOTAL_CHAN_N tn.out\nFLOOD_STREAM "
       "fs.out\n",
       {"cm.asc"},
       {&M::pipe_head_file, &M::fs_contam_map, &M::total_chan_n_file, &M::flood_stream_file}},
  };
  for (const opened_case& c : cases) {
    SCOPED_TRACE(c.cards);
    M& m = open(c.cards, c.inputs);
    EXPECT_EQ(error_rec.code, 0) << error_rec.what << " " << error_rec.name;
    std::vector<wrapper> expected = {&M::fs_watershed_mask, &M::fs_elevation, &M::fs_summary,
                                     &M::outlet_hydro_file};
    expected.insert(expected.end(), c.opened.begin(), c.opened.end());
    int n_open = 0;
    for (wrapper w : all_wrappers()) {
      const bool want = std::find(expected.begin(), expected.end(), w) != expected.end();
      EXPECT_EQ((m.*w).is_open(), want) << (m.*w).name;
      n_open += (m.*w).is_open() ? 1 : 0;
    }
    EXPECT_EQ(n_open, static_cast<int>(expected.size()));
    EXPECT_EQ(run_log_file, &m.fs_summary);
  }
}

struct failure_case {
  std::string cards;
  std::vector<std::string> inputs;
  void (*prepare)(M&);
  int code;  // 0: the failure is excused
  std::string what;
  std::string name;
};

void green_ampt_table(M& m) { m.map_table_present[map_table::green_ampt] = 1; }
void richards_table(M& m) { m.map_table_present[map_table::richards_brooks] = 1; }

TEST_F(RunFiles, FailuresNameTheFileOrAreExcused) {
  const std::string bad = bad_path("x.out");
  const failure_case cases[] = {
      {"GREEN_AMPT\nCONDUCTIVITY k.asc\n", {}, nullptr, 4, "Ks", "k.asc"},
      {"GREEN_AMPT\nCONDUCTIVITY k.asc\n", {}, green_ampt_table, 0, "", ""},
      {"INF_RICHARDS\nRICHARDS_C_OPTION brooks\n", {}, nullptr, 4, "soil type", ""},
      {"INF_RICHARDS\nRICHARDS_C_OPTION brooks\n", {}, richards_table, 0, "", ""},
      {"INF_REDIST\n", {}, nullptr, 0, "", ""},
      {"INIT_SWE_DEPTH swe.asc\n", {}, nullptr, 4, "SWE input hotstart", "swe.asc"},
      {"WRITE_CHAN_HOTSTART\n", {}, nullptr, 4, "channel depth", ""},
      {"IN_HYD_LOCATION h.txt\nOUT_HYD_LOCATION " + bad + "\n", {"h.txt"}, nullptr, 51, bad, "h.txt"},
      {"IN_HYD_LOCATION h.txt\nOUT_HYD_LOCATION h.out\nOUT_CON_LOCATION " + bad + "\n",
       {"h.txt"},
       nullptr,
       49,
       bad,
       "h.txt"},
      {"IN_THETA_LOCATION t.txt\nOUT_THETA_LOCATION " + bad + "\n",
       {"t.txt"},
       nullptr,
       48,
       "t.txt",
       bad + " (out_theta_location_file)"},
      // A missing hotstart is recorded and the later files still open ...
      {"OV_INIT_DEPTH ov.asc\nRUNOFF_MMPH r.out\n", {}, nullptr, 4, "overland hotstart", "ov.asc"},
      // ... unless a later file fails, whose error stands.
      {"OV_INIT_DEPTH ov.asc\nCHAN_DEPTH " + bad + "\n", {}, nullptr, 4, "output channel depth", bad},
  };
  for (const failure_case& c : cases) {
    SCOPED_TRACE(c.cards);
    M& m = open(c.cards, c.inputs, c.prepare);
    EXPECT_EQ(error_rec.code, c.code);
    if (c.code == 0) continue;
    EXPECT_EQ(error_rec.stop, 1);
    EXPECT_EQ(error_rec.what, c.what);
    EXPECT_EQ(error_rec.name, c.name);
    if (c.what == "overland hotstart") {
      EXPECT_TRUE(m.fs_runoff_mmph.is_open());
    }
  }
}

TEST_F(RunFiles, MissingElevationStopsBeforeTheRunLog) {
  std::filesystem::remove(dir / "elev.asc");
  const M& m = open("");
  EXPECT_EQ(error_rec.code, 4);
  EXPECT_EQ(catalogue_message(4, error_rec),
            "Error: Unable to open elevation data file.\n  (File: elev.asc)\n");
  EXPECT_TRUE(m.fs_watershed_mask.is_open());
  EXPECT_FALSE(m.fs_summary.is_open());
  EXPECT_EQ(run_log_file, nullptr);
  EXPECT_FALSE(std::filesystem::exists(dir / "sum.txt"));
}

TEST_F(RunFiles, EvaporationOutputHeader) {
  const std::string head =
      "yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav  CFGI         "
      "temp(C) "
      "gridded_temp(C) soil_temp(C)  ";
  M* m = &open("INF_REDIST\n");
  m->evap_out_file.close();
  EXPECT_EQ(read_file(dir / "evap_out"), head + " avg_theta_L1  avg_theta_L2\n");

  m = &open("INF_RICHARDS\nRICHARDS_C_OPTION havercamp\nSOIL_TYPE_MAP st.asc\nSOIL_LAYER_INPUT_FILE sl.txt\n",
            {"st.asc", "sl.txt"});
  ASSERT_EQ(error_rec.code, 0);
  m->evap_out_file.close();
  EXPECT_EQ(read_file(dir / "evap_out"), head + "\n");
}

TEST_F(RunFiles, NutrientHydrographs) {
  M& m = open("NUTRIENTS\nOUT_HYD_NO3 n3\nTOTAL_CHAN_P tp.out\n");
  ASSERT_EQ(error_rec.code, 0);
  ASSERT_NE(m.nsm, nullptr);
  EXPECT_TRUE(m.nsm->hyd_outputs.conc_files[1].is_open());
  EXPECT_TRUE(m.nsm->hyd_outputs.mass_files[1].is_open());
  EXPECT_FALSE(m.nsm->hyd_outputs.conc_files[0].is_open());
  EXPECT_TRUE(std::filesystem::exists(dir / "n3.conc"));
  EXPECT_TRUE(std::filesystem::exists(dir / "n3.mass"));
  EXPECT_TRUE(m.total_chan_p_file.is_open());

  const std::string bad = bad_path("n2");
  M& failed = open("NUTRIENTS\nOUT_HYD_NO2 " + bad + "\nOUT_HYD_NO3 n3\nCONTAM_MAP cm.asc\n", {"cm.asc"});
  EXPECT_EQ(error_rec.code, 4);
  EXPECT_EQ(error_rec.what, "nutrient concentration");
  EXPECT_EQ(error_rec.name, bad + ".conc");
  EXPECT_NE(
      out.find("Error opening nutrient concentration output file (hydrograph style )\nfor the Nitrite (NO2-) "
               "hydrograph file. \nGiven filename: " +
               bad + ".conc\n"),
      std::string::npos);
  EXPECT_FALSE(failed.nsm->hyd_outputs.conc_files[1].is_open()) << "the loop ends at the first failure";
  EXPECT_FALSE(failed.fs_contam_map.is_open());
}

}  // namespace
}  // namespace kavro
