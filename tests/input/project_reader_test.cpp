// The project-file reader: header, clearing and defaults, unknown cards,
// line ends, cards that end the reading, the series lists of a batch, and
// the calibration pre-scan for the project folder.
#include "input/project_reader.h"

#include <string>
#include <vector>

#include "card_test_support.h"
#include "framework/error_record.h"
#include "input/card_services.h"
#include "input/time_series.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::card_records;

std::string data_file(const char* name) { return (kavro_test::data_dir() / "input" / name).string(); }

struct read_result {
  std::string out;
  std::string err;
};

class ProjectReader : public kavro_test::process_state_test {
 protected:
  read_result read(const std::string& path, int warn_off = 0) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    read_project_cards(path, r.project, r.run, r.rain, warn_off);
    read_result res;
    res.out = testing::internal::GetCapturedStdout();
    res.err = testing::internal::GetCapturedStderr();
    return res;
  }
  std::string write_project(const std::string& name, const std::string& text) {
    const auto p = dir / name;
    kavro_test::write_file(p, text);
    return p.string();
  }

  kavro_test::scratch_dir dir;
  card_records r;
};

const char* const bad_header_message =
    "File Does not Appear to be a Valid KAVRO/TORVEN Project file\n"
    "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n"
    "KAVRO Terminating....\n";

TEST_F(ProjectReader, AcceptsOnlyTheExactHeaderWord) {
  struct header_case {
    const char* header;
    bool accepted;
  };
  const header_case cases[] = {
      {"KAVROPROJECT\n", true},   {"TORVENPROJECT\n", true},
      {"KAVROPROJECT\r\n", true}, {"KAVROPROJECT \n", false},
      {"kavroproject\n", false},  {" KAVROPROJECT\n", false},
      {"KAVROPROJECTS\n", false}, {"", false},
  };
  for (const auto& c : cases) {
    error_rec = error_record{};
    r = card_records{};
    r.run.rows = 99;
    const std::string text = c.header[0] ? std::string(c.header) + "ROWS 5\n" : "";
    const read_result res = read(write_project("p.kpf", text));
    if (c.accepted) {
      EXPECT_EQ(r.run.rows, 5) << c.header;
      EXPECT_EQ(res.err, "") << c.header;
      EXPECT_EQ(error_rec.stop, 0) << c.header;
    } else {
      EXPECT_EQ(res.err, bad_header_message) << c.header;
      EXPECT_EQ(error_rec.stop, 1) << c.header;
      // No card read and nothing cleared.
      EXPECT_EQ(r.run.rows, 99) << c.header;
      EXPECT_EQ(r.run.latitude, 32.0) << c.header;
    }
  }
}

TEST_F(ProjectReader, WindowsLineEndsReadLikeUnixOnes) {
  read(data_file("project_unix.txt"));
  const card_records unix_read = std::move(r);
  r = card_records{};
  const read_result res = read(data_file("project_dos.txt"));
  EXPECT_EQ(res.err, "");
  EXPECT_EQ(r.project.watershed_mask, "mask.asc");
  EXPECT_EQ(r.project.watershed_mask, unix_read.project.watershed_mask);
  EXPECT_EQ(r.project.elevation, unix_read.project.elevation);
  EXPECT_EQ(r.run.gridsize, unix_read.run.gridsize);
  EXPECT_EQ(r.run.cols, 14);
  EXPECT_EQ(r.run.start_minute, 30);
  EXPECT_EQ(r.project.overtype, 3);
  EXPECT_EQ(r.run.quiet, 1);
  EXPECT_EQ(r.run.chan_method, 3);
  EXPECT_EQ(r.run.infil_method, 2);
  EXPECT_EQ(r.rain.rain_duration, unix_read.rain.rain_duration);
  EXPECT_EQ(res.out, "Alpha = 0.500000\n");
}

TEST_F(ProjectReader, MissingFileLeavesTheRecordsAsTheyWere) {
  const std::string path = (dir / "absent.kpf").string();
  const read_result res = read(path);
  EXPECT_EQ(r.run.open_failed, 1);
  EXPECT_EQ(res.err, "Error opening project file named: " + path + "\n");
  EXPECT_EQ(r.run.latitude, 32.0);
  EXPECT_EQ(r.rain.interpolation, 1);
}

TEST_F(ProjectReader, HeaderOnlyGivesClearedRecordsWithReaderDefaults) {
  r.run.open_failed = 1;
  r.run.rows = 4;
  r.project.roughness = "old.asc";
  r.project.nsm_model = nsm_model_init();
  r.project.xy_output.ov_file_name = "kept.txt";
  read(write_project("p.kpf", "KAVROPROJECT\n"));

  EXPECT_EQ(r.run.open_failed, 0);
  EXPECT_EQ(r.run.rows, 0);
  EXPECT_EQ(r.run.latitude, 0.0);
  EXPECT_EQ(r.run.longitude, 0.0);
  EXPECT_EQ(r.rain.interpolation, 0);
  EXPECT_EQ(r.project.roughness, "");
  EXPECT_EQ(r.project.nsm_model, nullptr);
  EXPECT_EQ(r.project.xy_output.ov_file_name, "kept.txt");

  const auto& p = r.project;
  const std::vector<std::pair<double, double>> defaults = {
      {p.m_river, 1.0},
      {p.m_lake, 10.0},
      {p.event_min_q, 0.1},
      {p.soil_moist_depth, 0.4},
      {p.richards_weight, 1.0},
      {p.richards_dtheta_max, 0.0025},
      {p.aquifer_delta_z, -999.9},
      {p.max_courant_number, 0.04},
      {p.gw_timestep, 1.0},
      {p.gw_lsor_con, 0.00001},
      {p.single_unsat_sat, 0.75},
      {p.kinetics_timestep_factor, 1.0},
      {p.chan_ph, 7.2},
      {p.cfgi_index, 83.0},
      {p.cfgi_k, 0.5},
      {p.overtype, 2},
      {p.richards_k_option, 2},
      {p.richards_iter_max, 1},
      {p.richards_upper_option, 1},
      {p.soil_erosion, 1},
      {p.qln_event_num, -1},
      {p.richards_c_option, 0},
  };
  for (size_t i = 0; i < defaults.size(); ++i)
    EXPECT_EQ(defaults[i].first, defaults[i].second) << "default " << i;
}

TEST_F(ProjectReader, UnknownCardsWarnAndOtherLinesStayQuiet) {
  const std::string path = write_project("p.kpf",
                                         "KAVROPROJECT\n# comment\n\nPQM 1\nmetric\nSIMULATION_INPUT "
                                         "x\nFooBar 1\nROWS 5\nROWS 7\nGRIDSIZE\nLATITUDE\n");
  EXPECT_EQ(read(path).out,
            "Warning: unknown card found in the project file: foobar (line 7 of " + path + "); the line is not used.\n");
  EXPECT_EQ(r.run.rows, 7);
  EXPECT_EQ(r.run.gridsize, 0.0);
  EXPECT_EQ(r.run.latitude, 0.0);
  EXPECT_EQ(read(path, 1).out, "");
}

TEST_F(ProjectReader, ACardErrorEndsTheReadingAndKeepsEarlierCards) {
  read(write_project("p.kpf", "KAVROPROJECT\nROWS 5\nCALIB_OBJ_FUNC rmse\nCOLS 9\n"));
  EXPECT_EQ(r.run.rows, 5);
  EXPECT_EQ(r.run.cols, 0);
  EXPECT_EQ(error_rec.code, 104);  // left for the caller's report
  EXPECT_EQ(error_rec.stop, 0);
}

// Each run of a batch reads its own project; the run's teardown empties the
// series lists, so the second run sees only the series it read itself.
TEST_F(ProjectReader, BatchRunsSeeOnlyTheirOwnSeries) {
  const std::string first =
      write_project("a.kpf", "KAVROPROJECT\nTIME_SERIES_FILE " + data_file("ts_two_blocks.txt") + "\n");
  const std::string second =
      write_project("b.kpf", "KAVROPROJECT\nTIME_SERIES_FILE " + data_file("ts_prefix_first.txt") + "\n");

  EXPECT_EQ(read(first).out,
            "Read time series Inflow\nRead time series Inflow_A\n2 time series read from file " +
                data_file("ts_two_blocks.txt") + "\n");
  free_time_series_list();
  r = card_records{};
  EXPECT_EQ(read(second).out,
            "Read time series Inflow_A\nRead time series Inflow\n2 time series read from file " +
                data_file("ts_prefix_first.txt") + "\n");
  ASSERT_EQ(time_series_list.size(), 2u);
  const time_series* inflow = find_time_series("Inflow");
  ASSERT_NE(inflow, nullptr);
  EXPECT_EQ(inflow->relative, 0);
  EXPECT_EQ(time_series_value(inflow->times[0], inflow), 1.0);
}

TEST_F(ProjectReader, PrescanFindsTheProjectFolder) {
  testing::internal::CaptureStdout();
  prescan_project_folder(
      write_project("a.kpf", "KAVROPROJECT\nROWS 5\nPROJECT_FOLDER data\\run1\nOUTPUT_FOLDER x\n"));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(project_folder, "data/run1/");
  EXPECT_EQ(output_folder, "");  // lines after the folder card are not read

  project_folder.clear();
  const std::string without_card = write_project("b.kpf", "KAVROPROJECT\nROWS 5\n");
  testing::internal::CaptureStdout();
  prescan_project_folder(without_card);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(project_folder, dir.path().string() + "/");

  project_folder = "kept\\";
  testing::internal::CaptureStderr();
  prescan_project_folder((dir / "absent.kpf").string());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error opening project file named: " + (dir / "absent.kpf").string() + "\n");
  EXPECT_EQ(project_folder, "kept\\");
}

}  // namespace
}  // namespace kavro
