// The run settings taken from the project cards: which cards reach the run
// record under which conditions, the derived switches, the uniform-rain
// clock, the process-wide switches and the failures of the step.
#include "input/project_settings.h"

#include <functional>
#include <string>

#include "framework/error_record.h"
#include "framework/run_clock.h"
#include "framework/run_globals.h"
#include "settings_test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;

class RunSettings : public kavro_test::settings_test {};

struct settings_case {
  const char* name;
  const char* cards;
  std::function<void(const main_state&)> check;
};

TEST_F(RunSettings, CardsReachTheRecordUnderTheirConditions) {
  const settings_case cases[] = {
      {"event run ignores the long-term cards", "EVENT_MIN_Q 0.2\nHMET_SAMSON w.dat\nCFGI\nNWSRFS_SNOW\n",
       [](const main_state& m) {
         EXPECT_EQ(m.event_min_q, 0.05);
         EXPECT_EQ(m.hmet_samson_on + m.cfgi_on + m.nwsrfs_snow_on, 0);
         EXPECT_EQ(m.hmet_path, "");
       }},
      {"long-term event cutoff", "LONG_TERM\nEVENT_MIN_Q 0.2\n",
       [](const main_state& m) { EXPECT_EQ(m.event_min_q, 0.2); }},
      {"long-term cutoff without a number", "LONG_TERM\nEVENT_MIN_Q\n",
       [](const main_state& m) { EXPECT_EQ(m.event_min_q, 0.05); }},
      {"long-term reader default", "LONG_TERM\n", [](const main_state& m) { EXPECT_EQ(m.event_min_q, 0.1); }},
      {"long-term weather file and seasonal dates",
       "LONG_TERM\nHMET_SAMSON w.dat\nSEASONAL_RS\nSEASONAL_RS_SPRING 90\n"
       "SEASONAL_RS_FALL 280\nOROGVAR_HMET\n",
       [](const main_state& m) {
         EXPECT_EQ(m.hmet_samson_on, 1);
         EXPECT_EQ(m.hmet_path, "w.dat");
         EXPECT_EQ(m.seasonal_rs_spring, 90);
         EXPECT_EQ(m.seasonal_rs_fall, 280);
         EXPECT_EQ(m.hmet_orog_gages_on, 1);
         EXPECT_EQ(m.hmet_orog_gages_file_on, 0);
       }},
      {"mesh channel copies no explicit setting", "CHAN_MESH\nK_RIVER 3\nOVERBANK_FLOW\nSTREAM_LOSS\n",
       [](const main_state& m) {
         EXPECT_EQ(m.chan_mesh_on, 1);
         EXPECT_EQ(m.channel_on, 0);
         EXPECT_EQ(m.k_river, 0.0);
         EXPECT_EQ(m.overbank_flow_on + m.stream_loss_on + m.stream_cell_on, 0);
       }},
      {"explicit channel settings",
       "CHAN_EXPLIC\nK_RIVER 3\nOVERBANK_MAX_DV 0.5\nCHAN_CON_TRANS\nSTREAM_CELL s.txt\n",
       [](const main_state& m) {
         EXPECT_EQ(m.channel_on, 1);
         EXPECT_EQ(m.k_river, 3.0);
         EXPECT_EQ(m.overbank_max_dv, 0.5);
         EXPECT_EQ(m.stream_cell_on, 1);
         EXPECT_EQ(m.stream_cell_path, "s.txt");
         EXPECT_EQ(m.chan_contam_on + m.contam_on, 2);
       }},
      {"drain initialisation is implicit routing", "CHAN_DRAIN\n",
       [](const main_state& m) {
         EXPECT_EQ(m.chan_implicit_on, 1);
         EXPECT_EQ(m.chan_drain_init_on, 1);
         EXPECT_EQ(m.channel_on, 0);
       }},
      {"groundwater needs a water table", "GW_SIMULATION\nGW_UNIF_POROSITY 0.3\n",
       [](const main_state& m) {
         EXPECT_EQ(m.gw_simulation_on, 0);
         EXPECT_EQ(m.gw_unif_porosity_on, 0);
       }},
      {"groundwater with a water table",
       "WATER_TABLE wt.asc\nGW_SIMULATION\nGW_UNIF_POROSITY 0.3\nGW_BOUNDFILE b.txt\n",
       [](const main_state& m) {
         EXPECT_EQ(m.gw_simulation_on, 1);
         EXPECT_EQ(m.stream_loss_on, 1);
         EXPECT_EQ(m.gw_unif_porosity, 0.3);
         EXPECT_EQ(m.gw_boundfile_path, "b.txt");
         EXPECT_EQ(m.water_table_path, "wt.asc");
         EXPECT_EQ(m.gw_relax_coeff, 1.0) << "an absent GW_RELAX_COEFF keeps the default";
       }},
      {"groundwater relaxation given", "WATER_TABLE wt.asc\nGW_SIMULATION\nGW_RELAX_COEFF 0.8\n",
       [](const main_state& m) { EXPECT_EQ(m.gw_relax_coeff, 0.8); }},
      {"soil depths default to 40 cm", "SOIL_MOIST_DEPTH 0.3\n",
       [](const main_state& m) {
         EXPECT_DOUBLE_EQ(m.soil_moist_depth_cm, 30.0);
         EXPECT_EQ(m.top_layer_depth_cm, 40.0);
         EXPECT_EQ(m.mixing_layer_depth_cm, 40.0);
       }},
      {"soil depths given in metres", "TOP_LAYER_DEPTH 0.25\nMIXING_LAYER_DEPTH 0.1\n",
       [](const main_state& m) {
         EXPECT_DOUBLE_EQ(m.top_layer_depth_cm, 25.0);
         EXPECT_DOUBLE_EQ(m.mixing_layer_depth_cm, 10.0);
       }},
      {"uniform rain clock", "START_DATE 2001 6 15\nSTART_TIME 14 30\n",
       [](const main_state& m) {
         EXPECT_EQ(m.uniform_rain_on, 1);
         EXPECT_EQ(m.rain_active, 1);
         EXPECT_EQ(m.rain_intensity, 25.4);
         EXPECT_EQ(m.rain_duration, 5.0);
         EXPECT_EQ(m.start_hhmm, 1430);
         EXPECT_EQ(m.start_yyyymmdd, 20010615);
         const double jd = julian_date(2001, 6, 15, 14, 30, 0.0);
         EXPECT_EQ(m.now, jd);
         EXPECT_EQ(m.start_time, jd);
         EXPECT_EQ(m.event_start_times[1], jd);
         EXPECT_EQ(m.next_event_start, jd);
         EXPECT_EQ(m.event_year * 10000 + m.event_month * 100 + m.event_day, 20010615);
       }},
      {"gauge rain with inverse distances", "PRECIP_FILE rain.gag\nRAIN_INV_DISTANCE\n",
       [](const main_state& m) {
         EXPECT_EQ(m.uniform_rain_on, 0);
         EXPECT_EQ(m.rain_gauge_on, 1);
         EXPECT_EQ(m.rain_active, 0);
         EXPECT_EQ(m.rain_inv_distance_on, 1);
         EXPECT_EQ(m.rain_thiessen_on, 0);
         EXPECT_EQ(m.precip_file_path, "rain.gag");
       }},
      {"channel hotstart names", "READ_CHAN_HOTSTART run1\nWRITE_CHAN_HOTSTART run2\n",
       [](const main_state& m) {
         EXPECT_EQ(m.chan_hotstart_in_path, "run1.dht");
         EXPECT_EQ(m.explic_hotstart_path, "run1.qht");
         EXPECT_EQ(m.chan_hotstart_out_path, "run2.qht");
         EXPECT_EQ(m.explic_backwater_path, "run2.dht");
       }},
      {"exchange folder of the ecological model", "VOPA data.txt\nKSAT_FROM_VOPA k.asc\n",
       [](const main_state& m) {
         EXPECT_EQ(m.vopa_on, 1);
         EXPECT_EQ(m.vopa_exchange_path, "exchange/data.txt");
         EXPECT_EQ(m.ksat_from_vopa_on, 1);
         EXPECT_EQ(m.ksat_from_vopa_path, "exchange/k.asc");
         EXPECT_EQ(m.moist_from_vopa_path, "");
       }},
      {"roughness sources", "ROUGHNESS r.asc\nMANNING_N 0.03\n",
       [](const main_state& m) {
         EXPECT_EQ(m.roughness_on, 1);
         EXPECT_EQ(m.manning_n_on, 1);
         EXPECT_EQ(m.uniform_manning_n, 0.03);
       }},
      {"infiltration methods", "INF_LAYERED_SOIL\nRATE_OF_INFIL r.out\n",
       [](const main_state& m) {
         EXPECT_EQ(m.multi_layer_ga_on, 1);
         EXPECT_EQ(m.soil_redist_on, 1);
         EXPECT_EQ(m.green_ampt_on + m.inf_redist_on + m.richards_on, 0);
         EXPECT_EQ(m.rate_of_infil_map_on, 1);
       }},
      {"infiltration map output needs a method", "RATE_OF_INFIL r.out\n",
       [](const main_state& m) { EXPECT_EQ(m.rate_of_infil_map_on, 0); }},
      {"map output form", "MAP_TYPE 2\n",
       [](const main_state& m) {
         EXPECT_EQ(m.map_dataset_mode + m.map_dataset_binary, 2);
         EXPECT_EQ(m.map_grid_files, 0);
       }},
      {"end time and retention", "END_TIME 2001 6 16 0 0\nRETENTION 2.5\n",
       [](const main_state& m) {
         EXPECT_EQ(m.end_time_on, 1);
         EXPECT_EQ(m.end_time, julian_date(2001, 6, 16, 0, 0, 0.0));
         EXPECT_EQ(m.uniform_retention, 2.5);
       }},
      {"nutrient model stays with the cards", "NUTRIENTS\n",
       [](const main_state& m) {
         EXPECT_EQ(m.nutrients_on, 1);
         ASSERT_NE(m.nsm, nullptr);
         EXPECT_EQ(m.nsm, m.project_params.nsm_model.get());
       }},
  };
  for (const settings_case& c : cases) {
    SCOPED_TRACE(c.name);
    const main_state& m = read(std::string(kavro_test::accepted_cards) + c.cards);
    EXPECT_EQ(error_rec.code, 0);
    EXPECT_EQ(error_rec.stop, 0);
    c.check(m);
  }
}

TEST_F(RunSettings, ProcessSwitchesAndMessages) {
  read("PAUSE\nSUPER_QUIET\n");
  EXPECT_EQ(pause_flag, 1);
  EXPECT_EQ(ms->quiet, 1);
  EXPECT_EQ(out, "reading run parameters from project file: " + project_path() + "\n")
      << "the closing line is silenced";

  read("");
  EXPECT_EQ(out, "");
  EXPECT_EQ(pause_flag, 1) << "PAUSE stays for the process";
}

TEST_F(RunSettings, ToolModeAndCalibrationReadSilently) {
  kavro_test::write_file(dir / "p.prj", "KAVROPROJECT\n");
  for (auto prepare : {+[](main_state& m) { m.tool_mode = 1; }, +[](main_state& m) { m.optimize_on = 1; }}) {
    ms = std::make_unique<main_state>();
    prepare(*ms);
    testing::internal::CaptureStdout();
    read_project(project_path(), *ms);
    const std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text.find("reading run parameters"), std::string::npos);
    EXPECT_EQ(ms->optimize_on, 0) << "the card OPTIMIZE decides";
  }
}

TEST_F(RunSettings, FailuresEndTheStep) {
  ms = std::make_unique<main_state>();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  read_project((dir / "missing.prj").string(), *ms);
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(error_rec.code, 3);
  EXPECT_EQ(error_rec.stop, 1);

  // VELM maps: code 5 before the mapping tables are looked at.
  read("MAP_TYPE 4\nMAPPING_TABLE t.cmt\nROUGHNESS r.asc\n");
  EXPECT_EQ(error_rec.code, 5);
  EXPECT_EQ(error_rec.stop, 1);
  EXPECT_EQ(ms->mapping_table_on, 0);
  EXPECT_EQ(ms->roughness_on, 0);
}

TEST_F(RunSettings, SegmentModelInflowFile) {
  read("Q7_INPUT q7in.txt\nQ7_FLUXES\n");
  EXPECT_EQ(error_rec.code, 0);
  EXPECT_EQ(ms->q7_settings, static_cast<q7_card_block*>(&ms->project_params));
  q7_inflow_file.close();
  EXPECT_EQ(read_file(dir / "q7in.txt"), "  output from KAVRO\n\n    JDAY     QIN\n");

  // A file that cannot be created (its folder is a plain file) stops the run.
  kavro_test::write_file(dir / "plain", "");
  const std::string bad = (dir / "plain" / "q7in.txt").string();
  read("Q7_INPUT " + bad + "\nROUGHNESS r.asc\n");
  EXPECT_EQ(error_rec.code, 4);
  EXPECT_EQ(error_rec.stop, 1);
  EXPECT_EQ(error_rec.what, "Q7 inflow");
  EXPECT_EQ(error_rec.name, bad);
  EXPECT_EQ(ms->roughness_on, 0) << "the step ends at the failure";
}

}  // namespace
}  // namespace kavro
