// Grids and channel networks of the sediment tests, built in memory with
// the sediment model set up on them.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/grid_connectivity.h"
#include "transport/overland_sediment.h"

namespace kavro_test {

struct size_class {
  double diam_mm;    // particle diameter (mm)
  double spec_grav;  // specific gravity
  double parent;     // parent-soil fraction
};

// A rows x cols grid of dx-metre cells numbered row by row, ground z(row,
// col), outlet at (out_row, out_col); erosion on with `classes`, capacity
// formula `formula`, water at 20 degrees C; every erosion property at the
// set-up defaults and sed_K 1.
inline std::unique_ptr<kavro::main_state> sediment_plane(int rows, int cols, double dx,
                                                         const std::function<double(int, int)>& z,
                                                         const std::vector<size_class>& classes, int formula,
                                                         double sand_size = 0.0625, int out_row = 0,
                                                         int out_col = 0) {
  using namespace kavro;
  error_rec = error_record{};
  auto ms = std::make_unique<main_state>();
  ms->rows = ms->grid_rows = rows;
  ms->cols = ms->grid_cols = cols;
  const int n = rows * cols;
  ms->n_cells = n;
  ms->dx = dx;
  ms->mask.allocate(rows + 1, cols + 1);
  int k = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) ms->mask[r][c] = ++k;
  for (dvec* v : {&ms->ov_depth, &ms->elevation, &ms->ov_qx, &ms->ov_qy, &ms->rain_rate, &ms->ri_eff})
    v->allocate(n);
  for (ivec* v : {&ms->rightcon, &ms->belowcon, &ms->abovecon, &ms->leftcon}) v->allocate(n);
  build_cell_neighbours(rows, cols, ms->rightcon, ms->belowcon, ms->abovecon, ms->leftcon, ms->mask);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) ms->elevation[ms->mask[r][c]] = z(r, c);
  ms->outlet_cell = out_row > 0 ? ms->mask[out_row][out_col] : n;
  ms->outlet_slope = 0.01;
  sed_control_record& sc = ms->sed_control;
  sc.erosion_on = 1;
  sc.capacity_formula = formula;
  sc.water_temp = 20.0;
  sc.kin_viscosity = kinematic_viscosity(20.0);
  sc.n_sed_classes = static_cast<int>(classes.size());
  ms->sed_transport_mode = 1;
  ms->sand_size = sand_size;
  ms->ov_sed = std::make_unique<ov_sed_record>();
  ov_sed_record& os = *ms->ov_sed;
  os.spec_grav.allocate(sc.n_sed_classes);
  os.part_diam.allocate(sc.n_sed_classes);
  for (int c = 1; c <= sc.n_sed_classes; ++c) {
    os.part_diam[c] = classes[c - 1].diam_mm;
    os.spec_grav[c] = classes[c - 1].spec_grav;
  }
  allocate_sediment_arrays(*ms);
  for (int j = 1; j <= n; ++j) {
    os.splash_K[j] = 60.0;
    os.detach_coef[j] = 2e-5;
    os.detach_exp[j] = 1.0;
    os.sed_K[j] = 1.0;
    for (int c = 1; c <= sc.n_sed_classes; ++c) os.sed_fract[j][c][1] = classes[c - 1].parent;
  }
  return ms;
}

// Sum over the cells of one component of one class.
inline double component_total(const kavro::main_state& ms, int c, int e) {
  double s = 0.0;
  for (long j = 1; j <= ms.n_cells; ++j) s += ms.ov_sed->vol_sed[j][c][e];
  return s;
}

}  // namespace kavro_test
