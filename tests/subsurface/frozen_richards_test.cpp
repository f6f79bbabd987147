// Richards soil columns under the permafrost model's soil temperatures: a
// frozen column keeps its water books exactly and drains less than the same
// column unfrozen, every node conducting K^I 0.01^(1 - I) of its own
// temperature node after every call; a thawed column drains exactly as the
// column without the permafrost model; and the same for 1 and 4 threads.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "hydromet/frozen_ground_couplings.h"
#include "hydromet/permafrost_setup.h"
#include "input/cell_arrays.h"
#include "subsurface/richards.h"
#include "subsurface/richards_column.h"
#include "subsurface/subsurface_steps.h"
#include "test_support.h"

namespace kavro {
namespace {

// Brooks-Corey layers of 10, 20 and 20 cm on 1 cm nodes at 0.40, draining.
std::string draining_soil() {
  std::string t = "1 0\n1\n";
  for (double d : {10.0, 20.0, 20.0}) t += "1.0 0.45 0.05 0.40 0.10 0.30 " + std::to_string(d) + " 0.5 20 1\n";
  return t;
}

// n draining columns; with `temperature` set, under the permafrost model
// with temperature nodes every 5 cm to 1 m all at that temperature (C).
struct frozen_box {
  kavro_test::scratch_dir dir;
  std::unique_ptr<main_state> owner = std::make_unique<main_state>();
  main_state& ms = *owner;

  frozen_box(long n, const double* temperature) {
    set_output_folder(dir.path().string());  // the coupling's listing goes there
    ms.n_cells = static_cast<int>(n);
    ms.dx = 10.0;
    ms.quiet = 1;
    ms.richards_on = 1;
    ms.richards_c_option = brooks_corey_model;
    ms.richards_k_option = 2;
    ms.richards_upper_option = 1;
    ms.richards_iter_max = 1;
    ms.richards_weight = 1.0;
    ms.richards_dtheta_max = 0.0025;
    ms.n_elev_bands = 1;
    alloc_cell_arrays(ms);
    ms.elevation.allocate(n);
    for (long j = 1; j <= n; ++j) {
      ms.elevation[j] = 100.0;
      ms.soiltype[j] = 1;
    }
    error_rec = error_record{};
    if (temperature != nullptr) permafrost(n, *temperature);
    kavro_test::write_file(dir / "soil.tbl", draining_soil());
    ms.soil_layer_input_file_path = (dir / "soil.tbl").string();
    EXPECT_TRUE(ms.fs_soil_layer_input_file.open(ms.soil_layer_input_file_path, "r"));
    setup_richards_columns(ms);
    ms.fs_soil_layer_input_file.close();
  }
  ~frozen_box() { set_output_folder(""); }
  frozen_box(const frozen_box&) = delete;
  frozen_box& operator=(const frozen_box&) = delete;

  void permafrost(long n, double temperature) {
    ms.project_params.permafrost_kotu = 1;
    std::string z = "ID 1\n";
    for (int i = 0; i <= 20; ++i) z += format_string("%.2f\n", i * 0.05);
    kavro_test::write_file(dir / "ti.txt", "ID 1\n0 0\n1 0\n");
    kavro_test::write_file(dir / "zn.txt", z);
    kavro_test::write_file(dir / "zo.txt", "ID 1\n");
    std::string type = "1 soil";
    type.resize(90, ' ');
    kavro_test::write_file(dir / "m.cmt", "NUM_IDS 1\nMAX_NUMBER_LAYERS 1\nMAX_INIT_PT 2\nMAX_DN 21\nINIT_TEMP_FILE " +
                                              (dir / "ti.txt").string() + "\nDEPTH_NODE_FILE " +
                                              (dir / "zn.txt").string() + "\nOUTPUT_NODE_FILE " +
                                              (dir / "zo.txt").string() + "\nID DESCRIPTION\n" + type +
                                              "1  2  21  0  50.0  0.0  0.3  0.0  0.0  1.0  0.0  1.5  2.0  2000000.0\n");
    file_wrapper in;
    EXPECT_TRUE(in.open((dir / "m.cmt").string(), "r"));
    EXPECT_EQ(read_permafrost_soil_file(in, ms.permafrost_layer_soil, ms.n_cells), 1);
    alloc_ivec(ms.permaf_mask, n, "permaf_mask");
    alloc_ivec(ms.KOTU_soiltype, n, "KOTU_soiltype");
    alloc_dmat_zero(ms.perma_tem, n, 21, "perma_tem");
    for (const auto& [table, name] : {std::pair{&ms.fr_lq_wat, "fr_lq_wat"}, std::pair{&ms.K_init, "K_init"}})
      alloc_dmat_zero(*table, n, 21, name);
    alloc_imat_zero(ms.node_toKOTU, n, 21, "node_toKOTU");
    alloc_imat_zero(ms.node_fromKOTU, n, 21, "node_fromKOTU");
    for (long c = 1; c <= n; ++c) {
      ms.permaf_mask[c] = 1;
      ms.KOTU_soiltype[c] = 1;
      for (int j = 1; j <= 21; ++j) ms.perma_tem[c][j] = temperature;
    }
  }
  double water(long j = 1) const {
    double w = 0.0;
    for (long k = 1; k <= ms.numcells[j] - 1; ++k) w += ms.THETA[j][k] * ms.DZ[j][k];
    return w;
  }
  // Two days of minute calls; the worst relative miss of the water books.
  double drain() {
    const double start = water();
    double worst = 0.0;
    for (int i = 0; i < 48 * 60; ++i) {
      richards_step(ms, 60.0);
      worst = std::max(worst, std::fabs(water() + ms.rich_bottom_flux[1] - start) / start);
    }
    return worst;
  }
};

TEST(FrozenRichardsColumns, FrozenColumnKeepsItsBooksAndDrainsLess) {
  frozen_box unfrozen(1, nullptr);
  EXPECT_LT(unfrozen.drain(), 1e-9);
  const double minus5 = -5.0;
  frozen_box frozen(1, &minus5);
  EXPECT_LT(frozen.drain(), 1e-9);
  main_state& ms = frozen.ms;
  EXPECT_GT(frozen.ms.rich_bottom_flux[1], 0.0);
  EXPECT_LT(frozen.ms.rich_bottom_flux[1], 0.5 * unfrozen.ms.rich_bottom_flux[1]);
  // After the last call every node conducts the reduced value of the
  // conductivity its moisture gives.
  const double i = frozen_impedance(-5.0);
  for (long k = 1; k <= ms.numcells[1]; ++k) {
    EXPECT_GE(ms.node_fromKOTU[1][k], 1) << k;
    EXPECT_EQ(ms.fr_lq_wat[1][k], i) << k;
    EXPECT_EQ(ms.KHEAD[1][k], frozen_conductivity(ms.K_init[1][k], i)) << k;
  }
  column_view c = column_of(ms, 1);
  refresh_column_conductivity(c, brooks_corey_model);
  for (long k = 1; k <= ms.numcells[1]; ++k) EXPECT_EQ(c.khead[k], ms.K_init[1][k]) << k;
}

TEST(FrozenRichardsColumns, ThawedColumnDrainsAsWithoutThePermafrostModel) {
  frozen_box plain(1, nullptr);
  plain.drain();
  const double one = 1.0;
  frozen_box thawed(1, &one);
  thawed.drain();
  EXPECT_EQ(thawed.ms.rich_bottom_flux[1], plain.ms.rich_bottom_flux[1]);
  EXPECT_EQ(thawed.water(), plain.water());
}

// The couplings write only the rows of their own cell: 1 and 4 threads give
// the same columns, every cell on its own temperatures.
TEST(FrozenRichardsColumns, SameColumnsForOneAndFourThreads) {
  std::vector<std::vector<double>> heads;
  const double minus1 = -1.0;
  for (int threads : {1, 4}) {
    frozen_box b(9000, &minus1);
    for (long c = 1; c <= 9000; ++c)
      for (int j = 1; j <= 21; ++j) b.ms.perma_tem[c][j] = -0.5 * static_cast<double>(c % 5);
    const int kept = omp_get_max_threads();
    omp_set_num_threads(threads);
    for (int i = 0; i < 10; ++i) richards_step(b.ms, 60.0);
    omp_set_num_threads(kept);
    heads.emplace_back(b.ms.PHEAD.data(), b.ms.PHEAD.data() + b.ms.PHEAD.cell_count());
  }
  EXPECT_TRUE(heads[0] == heads[1]);
}

}  // namespace
}  // namespace kavro
