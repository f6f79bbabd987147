// The per-cell loaders on the 8-cell example grid (cells 1 2 / 3 4 5 6 / 7 8):
// map file or mapping table, unit conversions, the roughness checks, the
// infiltration parameters, the hotstarts and the exchange maps at start.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/cell_loaders.h"
#include "input/elev_series.h"
#include "input/exchange_maps.h"
#include "map_table_support.h"

namespace kavro {
namespace {

using kavro_test::console_of;
using kavro_test::index_map;
using kavro_test::table_row;

// A real map of the 3 x 4 grid: `cells` gives the 8 active values in cell
// order; the inactive corners hold 0.
std::string cell_map(const std::vector<std::string>& cells) {
  static const bool active[12] = {false, true, true, false, true, true, true, true, false, true, true, false};
  std::string text = "north: 1030\nsouth: 1000\neast: 540\nwest: 500\nrows: 3\ncols: 4\n";
  std::size_t k = 0;
  for (int i = 0; i < 12; ++i) text += (active[i] ? cells[k++] : std::string("0")) + (i % 4 == 3 ? "\n" : " ");
  return text;
}
std::string uniform_map(const std::string& value) { return cell_map(std::vector<std::string>(8, value)); }

class CellLoaders : public kavro_test::map_table_test {
 public:
  void SetUp() override {
    map_table_test::SetUp();
    for (dvec* v : {&ms().dist_rough, &ms().roughness_exp, &ms().retent_dep, &ms().conductivity, &ms().capillary,
                    &ms().porosity, &ms().pore_index, &ms().residual_sat, &ms().field_capacity,
                    &ms().wilting_point, &ms().area_reduction, &ms().albedo, &ms().veg, &ms().Kt, &ms().Rs,
                    &ms().init_moisture, &ms().soil_moisture, &ms().ov_depth, &ms().ov_depth_old,
                    &ms().ov_depth_new, &ms().elevation})
      alloc_dvec(*v, 8, v->name());
  }
  // Writes map `name` and opens it in `slot` under the card's path.
  void map_in_slot(file_wrapper& slot, std::string& path, const std::string& name, const std::string& text) {
    write(name, text);
    open_input(slot, path, scratch() / name);
  }
  void set_flag(int code_flag) { ms().map_table_present[static_cast<std::size_t>(code_flag)] = 1; }
  static std::vector<double> values(const dvec& v) { return std::vector<double>(v.data() + 1, v.data() + 9); }
};

TEST_F(CellLoaders, RoughnessFromMapAndFromTableAgree) {
  // Per-cell n of both sources: IDs 1 and 3 of the index map.
  const std::vector<int> ids = {0, 1, 1, 0, 1, 1, 3, 3, 0, 1, 3, 0};
  write("rough.idx", index_map(ids));
  write_table("KAVRO_INDEX_MAP_TABLES\nINDEX_MAP rough.idx Landuse\nROUGHNESS Landuse\nNUM_IDS 2\nh\n" +
              table_row(1, {0.05}) + table_row(3, {0.2}) + "ROUGH_EXP Landuse\nNUM_IDS 2\nh\n" +
              table_row(1, {1.5}) + table_row(3, {2.5}));
  set_flag(0);
  set_flag(1);
  ms().roughness_on = 1;
  const std::string out = console_of([&] { read_roughness_map(ms()); });
  EXPECT_EQ(error_rec.stop, 0) << out;
  const std::string log = run_log();
  EXPECT_NE(log.find("reading roughness table and map from master table file\n"), std::string::npos) << log;
  EXPECT_LT(log.find("reading roughness table"), log.find("reading roughness_exp table and map from master table"));
  const std::vector<double> from_table = values(ms().dist_rough);
  EXPECT_EQ(from_table, (std::vector<double>{0.05, 0.05, 0.05, 0.05, 0.2, 0.2, 0.05, 0.2}));
  EXPECT_DOUBLE_EQ(ms().roughness_exp[5], 2.5);

  for (long i = 1; i <= 8; ++i) ms().dist_rough[i] = ms().roughness_exp[i] = 0;
  map_in_slot(ms().fs_roughness, ms().roughness_path, "rough.asc",
              cell_map({"0.05", "0.05", "0.05", "0.05", "0.2", "0.2", "0.05", "0.2"}));
  console_of([&] { read_roughness_map(ms()); });
  EXPECT_NE(run_log().find("reading roughness map from file: " + ms().roughness_path + "\n"), std::string::npos);
  EXPECT_EQ(values(ms().dist_rough), from_table);
  EXPECT_EQ(values(ms().roughness_exp), std::vector<double>(8, 0.0)) << "a map file leaves ROUGH_EXP unread";
  EXPECT_FALSE(ms().fs_roughness.is_open());
}

TEST_F(CellLoaders, RoughnessRefusals) {
  // A NaN never reaches the roughness check: the map reader refuses a
  // non-finite value in an active cell, naming its row and column.
  const char* manning = "Overland Manning n=0 at grid cell 4.  Program terminating.\n"
                        "Check your overland roughness inputs, mapping table and index map \n";
  struct refusal {
    std::string cell4;
    const char* why;
    const char* message;
  };
  for (const refusal& r : {refusal{"0.0", "zero", manning},
                           refusal{"nan", "NaN", "row 2, column 2: the value of an active cell is not a finite number"},
                           refusal{"-0.1", "negative", manning}}) {
    error_rec = {};
    ms().roughness_on = 1;
    map_in_slot(ms().fs_roughness, ms().roughness_path, "rough.asc",
                cell_map({"0.05", "0.05", "0.05", r.cell4, "0.05", "0.05", "0.05", "0.05"}));
    const std::string out = console_of([&] { read_roughness_map(ms()); });
    EXPECT_EQ(error_rec.stop, 1) << r.why;
    EXPECT_NE(out.find(r.message), std::string::npos) << r.why << ": " << out;
  }

  ms().roughness_on = 0;
  for (double n : {0.000001, 0.0, std::nan("")}) {
    error_rec = {};
    ms().uniform_manning_n = n;
    const std::string out = console_of([&] { read_roughness_map(ms()); });
    EXPECT_EQ(error_rec.stop, 1) << n;
    EXPECT_NE(out.find("Invalid spatially uniform overland flow Manning n value="), std::string::npos) << out;
    EXPECT_NE(out.find("index map has invalid zero values\nKAVRO exiting.\n"), std::string::npos) << out;
  }
  error_rec = {};
  ms().uniform_manning_n = 0.0000011;
  console_of([&] { read_roughness_map(ms()); });
  EXPECT_EQ(error_rec.stop, 0);
  EXPECT_DOUBLE_EQ(ms().dist_rough[8], 0.0000011);
}

TEST_F(CellLoaders, RetentionIsConvertedFromMillimetres) {
  ms().reten_depth_on = 1;
  ms().uniform_retention = 5;
  read_retention_map(ms());
  EXPECT_EQ(values(ms().retent_dep), std::vector<double>(8, 0.005));

  ms().reten_depth_on = 0;
  ms().reten_depth_file_on = 1;
  map_in_slot(ms().fs_reten_depth, ms().reten_depth_path, "ret.asc", uniform_map("2.5"));
  console_of([&] { read_retention_map(ms()); });
  EXPECT_DOUBLE_EQ(ms().retent_dep[3], 0.0025);
}

TEST_F(CellLoaders, OverlandBoundaryTypesAndTheirTable) {
  ms().ov_boundary_on = 1;
  read_overland_boundary(ms());
  EXPECT_EQ(error_rec.code, 84) << "no OVERLAND_BOUNDARY table";
  error_rec = {};

  auto& curve = new_elev_series();
  curve.name = "Weir";
  const std::vector<int> ids = {0, 1, 2, 0, 1, 1, 1, 1, 0, 3, 1, 0};
  write("bnd.idx", index_map(ids));
  write_table("KAVRO_INDEX_MAP_TABLES\nINDEX_MAP bnd.idx Bnd\nOVERLAND_BOUNDARY Bnd\nNUM_IDS 3\nh\n" +
              table_row(1, {0, 0}) + table_row(2, {6.9, 1}) + table_row(3, {-0.5, 0}) +
              "RATINGCURVES\nNUM_IDS 1\nh\n     1 Weir\n");
  set_flag(15);
  console_of([&] { read_overland_boundary(ms()); });
  EXPECT_EQ(error_rec.stop, 0);
  EXPECT_EQ(ms().boundary_type[2], 6);
  EXPECT_EQ(ms().boundary_type[7], 0);
  EXPECT_EQ(ms().face_dir.size(), 4);
  ASSERT_EQ(ms().ov_boundary_faces.size(), 8);
  EXPECT_EQ(ms().ov_boundary_faces[2].rating_curve, &curve);
  EXPECT_EQ(ms().ov_boundary_faces[1].rating_curve, nullptr);
}

TEST_F(CellLoaders, GreenAmptParametersAreConverted) {
  ms().green_ampt_on = 1;
  ms().conductivity_on = ms().capillary_on = 1;
  map_in_slot(ms().fs_conductivity, ms().conductivity_path, "k.asc", uniform_map("3.6"));
  map_in_slot(ms().fs_capillary, ms().capillary_path, "h.asc", uniform_map("25"));
  ms().area_reduction_on = 1;
  write("ar.asc", uniform_map("0.25"));
  ms().project_params.area_reduction = "ar.asc";
  console_of([&] { read_infiltration_params(ms()); });
  EXPECT_EQ(error_rec.stop, 0);
  EXPECT_DOUBLE_EQ(ms().conductivity[6], 1e-5);
  EXPECT_DOUBLE_EQ(ms().capillary[6], 0.25);
  EXPECT_DOUBLE_EQ(ms().area_reduction[6], 0.75);

  // The same from the GREEN_AMPT_INFILTRATION table.
  std::string table = "KAVRO_INDEX_MAP_TABLES\nINDEX_MAP rough.idx Soil\nGREEN_AMPT_INFILTRATION Soil\nNUM_IDS 1\nh\n" +
                      table_row(1, {3.6, 25, 0.4, 0.3, 0.05, 0.2, 0.1});
  write("rough.idx", index_map({0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 0}));
  write_table(table);
  set_flag(5);
  ms().fs_conductivity.close();
  ms().fs_capillary.close();
  ms().porosity_on = 1;
  ms().area_reduction_on = 0;
  console_of([&] { read_infiltration_params(ms()); });
  EXPECT_EQ(error_rec.stop, 0);
  EXPECT_DOUBLE_EQ(ms().conductivity[2], 1e-5);
  EXPECT_DOUBLE_EQ(ms().capillary[2], 0.25);
  EXPECT_DOUBLE_EQ(ms().porosity[2], 0.4);
  EXPECT_NE(run_log().find("reading saturated hydraulic conductivity table and map from the master table file\n"
                           "reading capillary drive map from the master table file\n"
                           "reading porosity table and map from the master table file\n"),
            std::string::npos)
      << run_log();
}

TEST_F(CellLoaders, RedistributionWithoutPoreIndexStops) {
  ms().inf_redist_on = 1;
  testing::internal::CaptureStderr();
  console_of([&] { read_infiltration_params(ms()); });
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "For infiltration redistribution, pore index map must be specified\nProgram stopped.\n");
  EXPECT_EQ(error_rec.stop, 1);
}

TEST_F(CellLoaders, MultiLayerSoilMapAndTable) {
  ms().multi_layer_ga_on = 1;
  alloc_ivec(ms().soiltype, 8, "soiltype");
  alloc_dmat(ms().THETA_ML, 8, 3, "THETA_ML");
  alloc_imat_zero(ms().data, 4, 5, "data");
  map_in_slot(ms().fs_soil_type_map, ms().soil_type_map_path, "soil.asc",
              cell_map({"7", "7", "2", "2", "7", "2", "7", "7"}));
  // Each layer line: Ks, lambda, suction, porosity, fc, wp, residual, initial [, thickness].
  map_in_slot(ms().fs_soil_layer_input_file, ms().project_params.soil_layer_input_file, "layers.txt",
              "2\n0\n2\n1 0.3 10 0.4 0.3 0.1 0.05 0.21 20\n1,0.3,10,0.4,0.3,0.1,0.05,0.22,30\n"
              "1 0.3 10 0.4 0.3 0.1 0.05 0.23\n7\n1 0.3 10 0.4 0.3 0.1 0.05 0.31 20\n"
              "1 0.3 10 0.4 0.3 0.1 0.05 0.32 30\n1 0.3 10 0.4 0.3 0.1 0.05 0.33\n");
  console_of([&] { read_infiltration_params(ms()); });
  EXPECT_EQ(error_rec.stop, 0);
  const int expected_type[] = {7, 7, 2, 2, 7, 2, 7, 7};
  for (long i = 1; i <= 8; ++i) {
    const int t = expected_type[i - 1];
    EXPECT_EQ(ms().soiltype[i], t);
    const double base = t == 2 ? 0.2 : 0.3;
    EXPECT_DOUBLE_EQ(ms().soil_moisture[i], base + 0.01);
    for (int l = 1; l <= 3; ++l) EXPECT_DOUBLE_EQ(ms().THETA_ML[i][l], base + 0.01 * l) << i << " " << l;
  }
  EXPECT_DOUBLE_EQ(ms().soil_type_table[2].layer_depth[2], 30.0) << "commas separate the values";
}

TEST_F(CellLoaders, HotstartDepthsAndUniformWaterSurface) {
  ms().project_params.use_ov_init_depth = 1;
  map_in_slot(ms().ov_init_depth_file, ms().project_params.ov_init_depth, "ov.hot", uniform_map("0.3"));
  ms().project_params.use_init_elev_head = 1;
  ms().project_params.init_elev_head = 11;
  ms().elevation[1] = 10;
  ms().elevation[2] = 12;
  ms().tool_mode = 1;
  const std::string out = console_of([&] { read_hotstart_depth_maps(ms()); });
  // Without the solver state beside the map the solver starts afresh, and
  // says so once.
  const std::string& map = ms().project_params.ov_init_depth;
  EXPECT_EQ(out, "reading overland hotstart map from file: " + map + "\nno overland solver state beside the " +
                     "overland hotstart (" + map + ".ovs): the overland solver starts afresh\n")
      << "tool mode does not silence the hotstart lines";
  EXPECT_DOUBLE_EQ(ms().ov_depth[1], 1.0);
  EXPECT_DOUBLE_EQ(ms().ov_depth[2], 0.3);
  EXPECT_EQ(values(ms().ov_depth_old), values(ms().ov_depth));
  EXPECT_EQ(values(ms().ov_depth_new), values(ms().ov_depth));
}

TEST_F(CellLoaders, SoilMoistureHotstartReachesEachMethod) {
  ms().project_params.use_read_sm_hotstart = 1;
  map_in_slot(ms().read_sm_hotstart_file, ms().project_params.read_sm_hotstart, "sm.hot", uniform_map("0.27"));
  ms().green_ampt_on = 1;
  ms().richards_on = 1;  // no columns yet: nothing written to THETA
  console_of([&] { read_soil_moisture_hotstart(ms()); });
  EXPECT_EQ(error_rec.stop, 0);
  EXPECT_DOUBLE_EQ(ms().init_moisture[8], 0.27);
  alloc_dmat(ms().THETA, 8, 5, "THETA");
  ms().THETA[3][2] = 0.5;
  ms().read_sm_hotstart_file.close();
  map_in_slot(ms().read_sm_hotstart_file, ms().project_params.read_sm_hotstart, "sm.hot", uniform_map("0.27"));
  console_of([&] { read_soil_moisture_hotstart(ms()); });
  EXPECT_DOUBLE_EQ(ms().THETA[3][1], 0.27);
  EXPECT_DOUBLE_EQ(ms().THETA[3][2], 0.5) << "deeper nodes keep their values";
}

class ExchangeMaps : public CellLoaders {
 public:
  void SetUp() override {
    CellLoaders::SetUp();
    ms().qln_on = ms().vopa_on = ms().vopa_first_on = 1;
    ms().ksat_from_vopa_path = (scratch() / "k.asc").string();
    ms().rough_from_vopa_path = (scratch() / "r.asc").string();
    ms().moist_from_vopa_path = (scratch() / "m.asc").string();
    write("k.asc", uniform_map("36"));
    write("r.asc", uniform_map("0.07"));
    write("m.asc", uniform_map("0.3"));
  }
};

TEST_F(ExchangeMaps, MapsAreReadOnlyWhenTheHostAndTheModelRanFirst) {
  ms().ksat_from_vopa_on = 1;
  console_of([&] { read_exchange_maps(ms()); });
  EXPECT_DOUBLE_EQ(ms().conductivity[4], 1e-4);

  ms().ksat_from_vopa_on = 0;
  ms().rough_from_vopa_on = 1;
  console_of([&] { read_exchange_maps(ms()); });
  EXPECT_DOUBLE_EQ(ms().dist_rough[4], 0.07);

  ms().vopa_on = 0;
  write("r.asc", uniform_map("0.09"));
  console_of([&] { read_exchange_maps(ms()); });
  EXPECT_DOUBLE_EQ(ms().dist_rough[4], 0.07) << "without VOPA nothing is read";
}

TEST_F(ExchangeMaps, AMissingMapStopsAfterTheMapsBeforeIt) {
  ms().moist_from_vopa_on = ms().rough_from_vopa_on = ms().ksat_from_vopa_on = 1;
  ms().rough_from_vopa_path = "exchange/r.asc";
  const std::string out = console_of([&] { read_exchange_maps(ms()); });
  EXPECT_NE(out.find("1 Can't open roughness exchange file exchange/r.asc for reading\n"), std::string::npos) << out;
  EXPECT_EQ(error_rec.stop, 1);
  EXPECT_DOUBLE_EQ(ms().init_moisture[1], 0.3);
  EXPECT_DOUBLE_EQ(ms().conductivity[1], 0.0);
}

TEST_F(ExchangeMaps, AnEventNumberMovesTheSchedulesToTheFirstStep) {
  ms().qln_on = 0;
  ms().qln_event_num_on = 1;
  ms().now = 2451000.5;
  ms().dt_days = 60.0 / 86400.0;
  read_exchange_maps(ms());
  EXPECT_DOUBLE_EQ(ms().next_infil_time, ms().now + 60.0 / 86400.0);
  EXPECT_DOUBLE_EQ(ms().next_chan_time, ms().now + 60.0 / 86400.0);
  EXPECT_DOUBLE_EQ(ms().precip_period_start, ms().now - 60.0 / 86400.0);
  EXPECT_DOUBLE_EQ(ms().last_infil_time, ms().now);
}

}  // namespace
}  // namespace kavro
