// Set-up of the Richards soil columns: the soil table, the checks of its
// values, the column tables and the initial state of every column, set
// against the water table.
//
// Depths in the columns are cm and conductivities cm/h; the water table,
// ground and aquifer bottom are elevations in m.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "hydromet/frozen_ground_couplings.h"
#include "input/ascii_map.h"
#include "input/cell_loaders.h"
#include "input/setup_lines.h"
#include "input/soil_tables.h"
#include "subsurface/green_ampt.h"
#include "subsurface/richards.h"
#include "subsurface/richards_column.h"
#include "subsurface/soil_cell_gates.h"
#include "subsurface/subsurface_steps.h"

namespace kavro {

namespace {

// A cut of the water table closer than this to a node boundary (cm) leaves
// the node whole.
constexpr double cut_tolerance_cm = 1e-5;

// One problem with a soil of the Richards table, printed at once.
void soil_problem(const std::string& path, long type, int layer, const char* what, double value,
                  const char* rule) {
  std::printf("Error: in the Richards soil table %s, soil %ld layer %d: the %s %g %s.\n", path.c_str(), type, layer,
              what, value, rule);
}

// The values of one soil type that would give a column without a head or a
// conductivity. Every problem is printed; false when there was one.
bool check_richards_soil(const std::string& path, long type, const soil_type_params& p, int model) {
  bool ok = true;
  const auto fail = [&](int layer, const char* what, double value, const char* rule) {
    soil_problem(path, type, layer, what, value, rule);
    ok = false;
  };
  for (int l = 1; l <= 3; ++l) {
    const double ths = p.layer_porosity[l], thr = p.layer_residual_moisture[l], thi = p.layer_initial_moisture[l];
    if (!(thr < ths)) fail(l, "residual moisture", thr, "is not below the porosity");
    if (!(thi >= thr && thi <= ths)) fail(l, "initial moisture", thi, "is not between the residual moisture and the porosity");
    if (!(p.layer_ks[l] > 0.0)) fail(l, "saturated conductivity", p.layer_ks[l], "is not above zero");
    if (model == brooks_corey_model) {
      if (!(p.layer_lambda[l] > 0.0)) fail(l, "pore-size distribution index", p.layer_lambda[l], "is not above zero");
      if (!(p.layer_bubbling_pressure[l] < 0.0))
        fail(l, "bubbling pressure", std::fabs(p.layer_bubbling_pressure[l]), "is zero (no air-entry head)");
    } else {
      static constexpr const char* names[] = {"", "Havercamp alpha", "Havercamp beta", "Havercamp A",
                                              "Havercamp B"};
      const double v[] = {0.0, p.layer_havercamp_1[l], p.layer_havercamp_2[l], p.layer_havercamp_3[l],
                          p.layer_havercamp_4[l]};
      for (int i = 1; i <= 4; ++i)
        if (!(v[i] > 0.0)) fail(l, names[i], v[i], "is not above zero");
    }
  }
  const double thickness = p.layer_depth[1] + p.layer_depth[2] + p.layer_depth[3];
  if (!(thickness > 0.0)) fail(3, "total thickness of the layers (cm)", thickness, "leaves no soil column");
  return ok;
}

// Checks the soil types of the active cells; false (after printing every
// problem and setting code 4000) when one cannot make a column.
bool check_cell_soils(main_state& ms, const std::string& path) {
  std::vector<char> seen(static_cast<std::size_t>(soil_type_store::size()), 0);
  bool ok = true;
  const soil_type_store& table = ms.soil_type_table;
  for (long i = 1; i <= ms.n_cells; ++i) {
    const long t = ms.soiltype.empty() ? 0 : ms.soiltype[i];
    if (seen[static_cast<std::size_t>(t)]) continue;
    seen[static_cast<std::size_t>(t)] = 1;
    // A type the table never listed keeps all its values at zero: name it
    // once rather than as a dozen zero values.
    const soil_type_params& p = table[t];
    if (p.layer_depth[1] == 0.0 && p.layer_depth[2] == 0.0 && p.layer_depth[3] == 0.0 && p.layer_ks[1] == 0.0 &&
        p.layer_porosity[1] == 0.0) {
      std::printf("Error: soil type %ld of cell %ld is not in the Richards soil table %s.\n", t, i, path.c_str());
      ok = false;
      continue;
    }
    ok = check_richards_soil(path, t, p, ms.richards_c_option) && ok;
  }
  if (!ok) error_rec.code = already_printed_code;
  return ok;
}

// The column tables, with `nodes` as their highest node. False (code 4000)
// when memory runs out.
bool allocate_columns(main_state& ms, long nodes) {
  const long n = ms.n_cells;
  bool ok = true;
  for (dmat* m : {&ms.PHEAD, &ms.KHEAD, &ms.THETA, &ms.WATCAP, &ms.WATFLUX, &ms.SOURCE, &ms.DZ, &ms.KS, &ms.THETAS,
                  &ms.THETAR, &ms.THETAWP, &ms.THETAFC})
    ok = ok && alloc_dmat(*m, n, nodes, m->name());
  if (ms.richards_c_option == brooks_corey_model) {
    for (dmat* m : {&ms.LAM, &ms.BP, &ms.thehac, &ms.BChc}) ok = ok && alloc_dmat(*m, n, nodes, m->name());
  } else {
    for (dmat* m : {&ms.AHAV, &ms.BHAV, &ms.rich_alpha, &ms.BETA}) ok = ok && alloc_dmat(*m, n, nodes, m->name());
  }
  // The tridiagonal work vectors serve the groundwater line relaxation too.
  const long work = ms.gw_simulation_on && nodes <= n ? n : nodes;
  for (dvec* v : {&ms.A, &ms.B, &ms.C, &ms.D, &ms.PHEADOLD}) ok = ok && alloc_dvec(*v, work, v->name());
  for (dvec* v : {&ms.rich_step_returned, &ms.rich_step_exfil}) ok = ok && alloc_dvec(*v, n, v->name());
  for (ivec* v : {&ms.rich_bad_node, &ms.rich_flux_nan, &ms.rich_substeps}) ok = ok && alloc_ivec(*v, n, v->name());
  if (ms.root_depth.empty()) ok = ok && alloc_dvec(ms.root_depth, n, "root_depth");
  if (!ok) error_rec.code = already_printed_code;
  return ok;
}

// The root zone of every cell (m): the soil-moisture depth, or in long-term
// Penman runs the vegetation's rooting depth within it.
void set_root_depths(main_state& ms) {
  const double soil_m = ms.soil_moist_depth_cm / 100.0;
  const bool by_vegetation = ms.long_term_on && ms.et_calc_penman_on && ms.veg.size() >= ms.n_cells;
  for (long j = 1; j <= ms.n_cells; ++j) ms.root_depth[j] = by_vegetation ? std::min(ms.veg[j], soil_m) : soil_m;
}

// Node parameters of layer l of soil p into node k of column c.
void set_node(column_view& c, long k, const soil_type_params& p, int l, int model) {
  c.theta[k] = p.layer_initial_moisture[l];
  c.ks[k] = p.layer_ks[l];
  c.ths[k] = p.layer_porosity[l];
  c.thr[k] = p.layer_residual_moisture[l];
  c.thwp[k] = p.layer_wilting_point[l];
  c.thfc[k] = p.layer_field_capacity[l];
  c.dz[k] = p.layer_node_spacing[l];
  if (model == brooks_corey_model) {
    const double lambda = p.layer_lambda[l], two = 2.0 / lambda;
    c.lam[k] = lambda;
    c.bp[k] = p.layer_bubbling_pressure[l];
    c.thc[k] = c.ths[k] * two / (two + 1.0);
    c.hc[k] = c.bp[k] * std::pow(two / (two + 1.0), -1.0 / lambda);
  } else {
    c.alpha[k] = p.layer_havercamp_1[l];
    c.beta[k] = p.layer_havercamp_2[l];
    c.ahav[k] = p.layer_havercamp_3[l];
    c.bhav[k] = p.layer_havercamp_4[l];
  }
}

// Sets the column of cell j against its water table (Part of the column
// set-up): the nodes above it at hydrostatic heads, the node the table cuts
// shortened to its part above it, the first node below it saturated; the
// column ends there. A table at or above the ground leaves one saturated node
// and flags the cell to exfiltrate.
void set_water_table(main_state& ms, long j, column_view& c, double soil_cm, int model) {
  const double ground = ms.elevation[j], table = ms.elevgw[j];
  if (!(ground > table)) {
    c.phead[1] = c.dz[1] / 2.0 + (table - ground) * 100.0;
    c.theta[1] = c.ths[1];
    c.n = 1;
    ms.yes_exfil[j] = 1;
    ms.any_exfil = 1;
    return;
  }
  ms.yes_exfil[j] = 0;
  const double depth_cm = (ground - table) * 100.0;  // of the water table below the ground
  long last = c.n;
  double top = 0.0;
  for (long k = 1; k <= c.n; ++k) {
    const double bottom = top + c.dz[k];
    // Under GW_ASSIGN_THETA the soil layers keep the moisture of the table.
    const bool set_head = !ms.gw_assign_theta_on || bottom > soil_cm;
    if (bottom <= depth_cm) {
      if (set_head) {
        c.phead[k] = -(depth_cm - bottom) - c.dz[k] / 2.0;
        c.theta[k] = theta_at_head(c, k, c.phead[k], model);
      }
      top = bottom;
      continue;
    }
    const double part = depth_cm - top;
    if (part > cut_tolerance_cm && std::fabs(part - c.dz[k]) > cut_tolerance_cm) {
      c.dz[k] = part;
      if (set_head) {
        c.phead[k] = -part / 2.0;
        c.theta[k] = theta_at_head(c, k, c.phead[k], model);
      }
      last = std::min(k + 1, c.n);
    } else {
      last = k;
    }
    break;
  }
  c.phead[last] = c.dz[last] / 2.0;
  c.theta[last] = c.ths[last];
  c.n = last;
}

// The harmonic mean of two layers' conductivities weighted by their node
// spacings, for the first node of the lower layer.
double boundary_conductivity(double s1, double k1, double s2, double k2) { return (s1 + s2) / (s1 / k1 + s2 / k2); }

// One column; returns its water (cm, nodes 1..n-1) and adds the root-zone
// water (cm) to `root_water`.
double init_column(main_state& ms, long j, double& root_water) {
  const int model = ms.richards_c_option;
  const long t = ms.soiltype.empty() ? 0 : ms.soiltype[j];
  const soil_type_params& p = ms.soil_type_table[t];
  const double d1 = p.layer_depth[1], d2 = p.layer_depth[2], d3 = p.layer_depth[3];
  ms.totaldz[j] = d1 + d2 + d3;
  ms.avgks[j] = (p.layer_ks[1] * d1 + p.layer_ks[2] * d2 + p.layer_ks[3] * d3) / ms.totaldz[j];
  column_view c = column_of(ms, j);
  const long n1 = ms.num1[t], n2 = ms.num2[t], n3 = ms.num3[t];
  for (long k = 0; k <= c.n; ++k) set_node(c, k, p, k <= n1 ? 1 : k <= n2 ? 2 : 3, model);
  // The aquifer below the soil layers of a column under a water table.
  for (long k = n3 + 1; k <= c.n; ++k) c.dz[k] = ms.aquifer_delta_z * 100.0;
  if (ms.gw_simulation_on && c.n >= 2) {
    for (long k = std::max(1L, c.n - 10); k <= c.n - 2; ++k) {
      c.ks[k] /= 100.0;
      c.ths[k] = 0.75;
    }
    c.ks[c.n - 1] = 1e-5;
    c.ths[c.n - 1] = 0.8;
    c.ks[c.n] = 1e-6;
    c.ths[c.n] = 1.0;
  }
  for (long k = 0; k <= c.n; ++k) c.phead[k] = head_at_theta(c, k, c.theta[k], c.phead[k], model);
  if (ms.gw_simulation_on) ms.bottom_elev[j] -= 10.0 * ms.aquifer_delta_z;
  if (ms.water_table_on) {
    set_water_table(ms, j, c, ms.totaldz[j], model);
    ms.numcells[j] = static_cast<int>(c.n);
  }
  if (n1 + 1 <= c.n && n1 >= 1)
    c.ks[n1 + 1] = boundary_conductivity(p.layer_node_spacing[1], p.layer_ks[1], p.layer_node_spacing[2], p.layer_ks[2]);
  if (n2 + 1 <= c.n && n2 >= 1)
    c.ks[n2 + 1] = boundary_conductivity(p.layer_node_spacing[2], p.layer_ks[2], p.layer_node_spacing[3], p.layer_ks[3]);
  c.ks[0] = c.ks[1];
  c.ths[0] = c.ths[1];
  c.watflux[0] = 0.0;
  refresh_column_conductivity(c, model);
  if (permafrost_couplings_on(ms)) {
    map_layers_to_temp_nodes(ms, j);
    frozen_conductivity_column(ms, j);
  } else if (ms.gtfsm_on && ms.SE.size() >= j) {
    c.khead[1] = frozen_conductivity_blend(c.khead[1], ms.SE[j]);
  }
  ms.dtr[j] = richards_first_substep_h;
  double water = 0.0;
  for (long k = 1; k <= c.n - 1; ++k) water += c.theta[k] * c.dz[k];
  if (ms.long_term_on) {
    // The start moisture of the cell: the mean over its root zone.
    const double root_cm = ms.root_depth[j] * 100.0;
    double top = 0.0, wet = 0.0, thick = 0.0;
    for (long k = 1; k <= c.n - 1 && in_root_zone(top + c.dz[k] / 2.0, root_cm); ++k) {
      wet += c.theta[k] * c.dz[k];
      thick += c.dz[k];
      top += c.dz[k];
    }
    ms.init_moisture[j] = thick > 0.0 ? std::max(0.0, wet / thick) : 0.0;
    root_water += wet;
  }
  return water;
}

// Work vectors for every thread that may solve a column.
void size_solver_work(main_state& ms) {
  const auto threads = static_cast<std::size_t>(std::max(1, omp_get_max_threads()));
  if (ms.richards_scratch_by_thread.size() < threads) ms.richards_scratch_by_thread.resize(threads);
  for (richards_scratch& s : ms.richards_scratch_by_thread)
    if (s.capacity() < ms.richards_max_nodes) s.size_for(ms.richards_max_nodes);
}

}  // namespace

void init_richards_columns(main_state& ms) {
  double column_water = 0.0, root_water = 0.0;
  for (long j = 1; j <= ms.n_cells; ++j) column_water += init_column(ms, j, root_water);
  if (permafrost_couplings_on(ms)) write_hydro_con_listing(ms);
  const double to_m3 = ms.dx * ms.dx / 100.0;
  if (ms.fs_summary.is_open()) {
    std::fprintf(ms.fs_summary.fp, "Inital volume of water in root zone= %lf \n \n", root_water * to_m3);
    std::fprintf(ms.fs_summary.fp, "Inital volume of water in soil column= %lf \n \n", column_water * to_m3);
  }
  size_solver_work(ms);
}

void setup_richards_columns(main_state& ms) {
  if (ms.richards_on != 1) return;
  const bool console = setup_console_on(ms);
  const bool own_file = ms.fs_soil_layer_input_file.is_open();
  if (own_file && ms.fs_soil_type_map.is_open()) {
    // The soil type of every cell, from the soil map beside the table.
    print_setup_line(ms, format_string("reading soil map from file: %s\n", ms.soil_type_map_path.c_str()));
    read_cell_map(ms, ms.fs_soil_type_map, ms.soil_type_map_path, map_categories, nullptr, &ms.soiltype);
    if (error_rec.stop) return;
  }
  if (console) std::printf("Reading Soil Table");
  int nodes = 0;
  std::string path;
  if (own_file) {
    path = ms.soil_layer_input_file_path;
    nodes = read_soil_table(ms.fs_soil_layer_input_file, path, ms, soil_table_source::own_file);
  } else {
    path = ms.mapping_table_path;
    nodes = read_richards_soil_table(ms);
  }
  if (nodes <= 0) {
    if (error_rec.code == 0 && !error_rec.stop) {
      std::printf("\nError: no Richards soil table could be read (SOIL_LAYER_INPUT_FILE or the mapping table).\n");
      error_rec.code = already_printed_code;
    }
    return;
  }
  if (!check_cell_soils(ms, path)) return;
  ms.richards_max_nodes = nodes;
  if (!allocate_columns(ms, nodes)) return;
  set_root_depths(ms);
  if (console) std::printf("   Done\nInitialize Richards Params\n");
  init_richards_columns(ms);
}

}  // namespace kavro
