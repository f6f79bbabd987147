// Set-up of the overland sediment model: the sediment cards, the size
// classes of the SEDIMENTS table with their settling velocities, the soil
// erosion properties of every cell, the sediment output files and the
// arrays the sediment steps work in.
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "input/map_table_format.h"
#include "input/special_tables.h"
#include "transport/nutrient_setup.h"
#include "transport/overland_sediment.h"
#include "transport/transport_steps.h"

namespace kavro {
namespace {

constexpr double gravity = 9.81;                  // m/s2
constexpr double water_density = 998.2;           // kg/m3 at 20 degrees C
constexpr double stokes_limit_m = 0.0001;         // diameters up to 0.1 mm settle by Stokes' law
constexpr double cube_root_exponent = 0.3333333;  // the exponent of the dimensionless diameter

// Defaults of the erosion properties where the table gives none (a value
// not above 1e-16).
constexpr double default_splash_K = 60.0;
constexpr double default_detach_coef = 2e-5;
constexpr double default_detach_exp = 1.0;


// Opens one sediment output; false (error 4 set, stop flag on) on failure.
bool open_output(file_wrapper& f, const std::string& path, const char* mode, const char* kind) {
  if (f.open(path, mode)) return true;
  error_rec.code = 4;
  error_rec.what = kind;
  error_rec.name = path;
  error_rec.stop = 1;
  return false;
}

void copy_sediment_cards(main_state& ms) {
  const project_params_record& p = ms.project_params;
  sed_control_record& sc = ms.sed_control;
  const int v = p.soil_erosion;
  ms.sed_transport_mode = v > 9 ? 2 : 1;
  sc.capacity_formula = v > 9 ? v - 10 : v;
  ms.in_sed_loc_on = p.use_in_sed_loc;
  sc.net_sed_volume_on = p.use_net_sed_volume;
  sc.max_sed_flux_on = p.use_max_sed_flux;
  sc.vol_sed_susp_on = p.use_vol_sed_susp;
  ms.outlet_sed_tss_on = p.use_outlet_sed_tss;
  ms.out_tss_loc_on = p.use_out_tss_loc;
  ms.adjust_elev_on = p.use_adjust_elev;
  sc.vol_sed_susp_path = p.vol_sed_susp;
  sc.max_sed_flux_path = p.max_sed_flux;
  sc.net_sed_volume_path = p.net_sed_volume;
  sc.outlet_sed_flux_path = p.outlet_sed_flux;
  sc.outlet_sed_tss_path = p.outlet_sed_tss;
  sc.out_tss_loc_path = p.out_tss_loc;
  ms.in_sed_loc_path = p.in_sed_loc;
  ms.sand_size = p.sand_size;
  ms.silt_size = p.silt_size;
  ms.clay_size = p.clay_size;
  ms.sed_porosity = p.sed_porosity;
  sc.water_temp = p.water_temp < 0.0 ? 0.0 : p.water_temp;
  sc.kin_viscosity = kinematic_viscosity(sc.water_temp);
}

// Size classes the formulas cannot use: a diameter of zero or less, a
// specific gravity of 1 or less (the particle would not settle), a class
// count of zero. Each is reported with the file, class and value.
bool check_size_classes(const main_state& ms) {
  const ov_sed_record& os = *ms.ov_sed;
  const int n = ms.sed_control.n_sed_classes;
  if (n < 1) {
    std::printf("Error: table SEDIMENTS of the mapping table file %s gives no size class (NUM_SED).\n",
                ms.mapping_table_path.c_str());
    return false;
  }
  bool ok = true;
  for (int c = 1; c <= n; ++c) {
    if (!(os.part_diam[c] > 0.0)) {
      std::printf(
          "Error: sediment class %d of table SEDIMENTS in %s has particle diameter %g mm; it must be above "
          "0.\n",
          c, ms.mapping_table_path.c_str(), os.part_diam[c]);
      ok = false;
    }
    if (!(os.spec_grav[c] > 1.0)) {
      std::printf(
          "Error: sediment class %d of table SEDIMENTS in %s has specific gravity %g; it must be above 1.\n",
          c, ms.mapping_table_path.c_str(), os.spec_grav[c]);
      ok = false;
    }
  }
  return ok;
}

void allocate_overland_arrays(main_state& ms) {
  ov_sed_record& os = *ms.ov_sed;
  const sed_control_record& sc = ms.sed_control;
  const long cells = ms.n_cells;
  const long n = sc.n_sed_classes;
  if (sc.max_sed_flux_on) {
    alloc_dmat_zero(os.ov_qsmax, cells, n, "ov_qsmax");
    alloc_dvec(os.ov_qsmax_total, cells, "ov_qsmax_total");
  }
  if (sc.net_sed_volume_on) alloc_dvec(os.ov_net_sed, cells, "ov_net_sed");
  if (sc.vol_sed_susp_on) {
    alloc_dmat_zero(os.ov_qsconc, cells, n, "ov_qsconc");
    alloc_dvec(os.ov_conc, cells, "ov_conc");
  }
  for (dvec* v :
       {&os.qsx, &os.qsy, &os.splash_K, &os.sed_K, &os.detach_coef, &os.detach_crit, &os.detach_exp})
    alloc_dvec(*v, cells, v->name());
  alloc_d3d_zero(os.vol_sed, cells, n, 4, "vol_sed");
  alloc_d3d_zero(os.sed_fract, cells, n, 4, "sed_fract");
  alloc_dmat_zero(os.tot_sed, n, 4, "tot_sed");
  alloc_ivec(os.sed_class, n, "sed_class");
  alloc_dmat_zero(ms.GLOBAL_MASS_SED, n, 4, "GLOBAL_MASS_SED");
  alloc_dmat_zero(ms.GLOBAL_VOL_SED, n, 4, "GLOBAL_VOL_SED");
  alloc_ivec(ms.sand, n, "sand");
  alloc_dmat_zero(ms.ov_sed_conc, cells, n, "ov_sed_conc");
  alloc_dmat_zero(ms.ov_sed_vol_deposited, cells, n, "ov_sed_vol_deposited");
  alloc_dmat_zero(ms.ov_sed_vol_eroded, cells, n, "ov_sed_vol_eroded");
  alloc_dmat_zero(os.ov_qsvol, cells, n, "ov_qsvol");
  // What the sediment-attached contaminants read of every step.
  alloc_dvec(ms.sed_outlet_vol, n, "sed_outlet_vol");
  if (ms.sed_contam_on) {
    if (ms.ov_sed_vol_qsx.empty()) alloc_dmat_zero(ms.ov_sed_vol_qsx, cells, n, "ov_sed_vol_qsx");
    if (ms.ov_sed_vol_qsy.empty()) alloc_dmat_zero(ms.ov_sed_vol_qsy, cells, n, "ov_sed_vol_qsy");
  }
}

void apply_property_defaults(main_state& ms) {
  ov_sed_record& os = *ms.ov_sed;
  for (long j = 1; j <= ms.n_cells; ++j) {
    if (os.splash_K[j] <= 1e-16) os.splash_K[j] = default_splash_K;
    if (os.detach_coef[j] <= 1e-16) os.detach_coef[j] = default_detach_coef;
    if (os.detach_exp[j] <= 1e-16) os.detach_exp[j] = default_detach_exp;
    if (os.detach_crit[j] <= 1e-16) os.detach_crit[j] = 0.0;
  }
}

// Settling velocity and particle density of every class; fine classes
// (diameter below SAND_SIZE) listed first in sed_class, then the sand.
void classify_sizes(main_state& ms) {
  ov_sed_record& os = *ms.ov_sed;
  const int n = ms.sed_control.n_sed_classes;
  const double nu = ms.sed_control.kin_viscosity;
  alloc_dvec(ms.sed_fall_velocity, n, "sed_fall_velocity");
  alloc_dvec(ms.sed_particle_density, n, "sed_particle_density");
  alloc_dvec(ms.sed_transport_factor, n, "sed_transport_factor");
  ms.n_fine_classes = ms.n_sand_classes = 0;
  for (int c = 1; c <= n; ++c) {
    ms.sed_particle_density[c] = os.spec_grav[c] * water_density * 1000.0;
    ms.sed_fall_velocity[c] = fall_velocity(os.part_diam[c] / 1000.0, os.spec_grav[c], nu);
    ms.sed_transport_factor[c] = formula1_class_factor(os.spec_grav[c], os.part_diam[c]);
    if (ms.sand_size > os.part_diam[c]) {
      ms.sand[c] = 0;
      os.sed_class[++ms.n_fine_classes] = c;
    }
  }
  for (int c = 1; c <= n; ++c) {
    if (ms.sand_size > os.part_diam[c]) continue;
    ms.sand[c] = 1;
    ++ms.n_sand_classes;
    os.sed_class[ms.n_fine_classes + ms.n_sand_classes] = c;
  }
}

void allocate_superlink_arrays(main_state& ms) {
  if (!ms.storm_sewer_on) return;
  const long n = ms.sed_control.n_sed_classes;
  alloc_dmat_zero(ms.ov_superlink_sed, n, ms.n_cells, "ov_superlink_sed");
  alloc_dvec(ms.sed_to_superlink_event, n, "sed_to_superlink_event");
  alloc_dvec(ms.sed_to_superlink_total, n, "sed_to_superlink_total");
  if (ms.channel_on) alloc_dmat_zero(ms.chan_superlink_sed, n, ms.n_cells, "chan_superlink_sed");
}

// The work arrays of the overland step, made once per run.
void allocate_step_arrays(main_state& ms) {
  const long cells = ms.n_cells;
  for (dvec* v : {&ms.sed_slope_x, &ms.sed_slope_y, &ms.sed_out_q}) alloc_dvec(*v, cells, v->name());
  alloc_dvec(ms.sed_settle_frac, ms.sed_control.n_sed_classes, "sed_settle_frac");
  const long per_face = capacity_term_count(ms.sed_control.capacity_formula) + 1;
  alloc_dvec(ms.sed_face_terms, 2 * per_face * (cells + 1), "sed_face_terms");
}

}  // namespace

double kinematic_viscosity(double temp_c) {
  const double e = 1.6012;
  return std::pow(6005.52, e) * 7.125025025025025e-10 / std::pow(temp_c + 45.28, e) *
         std::pow(temp_c / 6005.52 + 1.0, e);
}

double fall_velocity(double d, double spec_grav, double nu) {
  if (d > stokes_limit_m) {
    const double d_star = std::pow((spec_grav - 1.0) * gravity / (nu * nu), cube_root_exponent) * d;
    return (std::sqrt(0.0139 * d_star * d_star * d_star + 1.0) - 1.0) * 8.0 * nu / d;
  }
  return (spec_grav - 1.0) * gravity * d * d / (18.0 * nu);
}

void open_sediment_outputs(main_state& ms) {
  const sed_control_record& sc = ms.sed_control;
  if (!sc.erosion_on) return;
  sed_control_record& f = ms.sed_control;
  if (sc.vol_sed_susp_on &&
      !open_output(f.vol_sed_susp_file, sc.vol_sed_susp_path, "w", "output suspended sediment"))
    return;
  if (sc.max_sed_flux_on && ms.map_grid_files == 0 &&
      !open_output(f.max_sed_flux_file, sc.max_sed_flux_path, "w", "output sediment flux"))
    return;
  if (!open_output(f.outlet_sed_flux_file, sc.outlet_sed_flux_path, "w", "outlet sediment hydrograph"))
    return;
  if (ms.outlet_sed_tss_on &&
      !open_output(f.outlet_sed_tss_file, sc.outlet_sed_tss_path, "w", "outlet sediment tss file"))
    return;
  if (ms.in_sed_loc_on && ms.ov_sed_out_on) {
    if (!open_output(ms.fs_in_sed_loc, ms.in_sed_loc_path, "r", "input sed. hydrograph locations")) return;
    if (!open_output(ms.fs_out_sed_loc, ms.project_params.out_sed_loc, "w",
                     "output sed. hydrograph locations"))
      return;
    if (ms.out_tss_loc_on && !open_output(f.out_tss_loc_file, sc.out_tss_loc_path, "w",
                                          "output sediment tss hydrograph locations"))
      return;
  }
}

void read_sediment_setup(main_state& ms) {
  sed_control_record& sc = ms.sed_control;
  if (!sc.erosion_on) return;
  ms.ov_sed = std::make_unique<ov_sed_record>();
  ov_sed_record& os = *ms.ov_sed;
  copy_sediment_cards(ms);
  open_sediment_outputs(ms);
  if (error_rec.code != 0) return;
  say_setup(ms, "Reading sediments table from mapping table file\n");
  if (!ms.mapping_table_on || !map_table_has(ms, map_card::sediments)) {
    error_rec.code = 92;
    report_error(error_rec);
    return;
  }
  int count = 0;
  read_sediments_table(ms.mapping_table_path, count, os.spec_grav, os.part_diam, os.output_filename,
                       os.f_bind);
  if (error_rec.code != 0 || error_rec.stop) return;
  sc.n_sed_classes = count;
  if (!check_size_classes(ms)) {
    error_rec.code = already_printed_code;
    return;
  }
  if (ms.sed_transport_mode == 2) {
    // The classes travel as overland constituents: the constituent arrays
    // grow by one row per class together with the count.
    ms.ov_contam_on = 1;
    add_constituents(ms, sc.n_sed_classes, static_cast<int>(ms.n_cells), 0, 0);
  }
  allocate_sediment_arrays(ms);
  say_setup(ms, "Reading soil erosion properties table from mapping table file\n");
  if (!ms.mapping_table_on || !map_table_has(ms, map_card::soil_erosion)) {
    error_rec.code = 93;
    report_error(error_rec);
    return;
  }
  dmat parent_fractions{"sed_fract"};
  alloc_dmat_zero(parent_fractions, ms.n_cells, sc.n_sed_classes, "sed_fract");
  read_soil_erosion_table(ms, {&os.splash_K, &os.detach_coef, &os.detach_exp, &os.detach_crit, &os.sed_K},
                          &parent_fractions, sc.n_sed_classes);
  for (long j = 1; j <= ms.n_cells; ++j)
    for (int c = 1; c <= sc.n_sed_classes; ++c) os.sed_fract[j][c][1] = parent_fractions[j][c];
  apply_property_defaults(ms);
}

void allocate_sediment_arrays(main_state& ms) {
  allocate_overland_arrays(ms);
  alloc_ivec(ms.channel_cells, ms.n_cells, "channel_cells");
  classify_sizes(ms);
  allocate_superlink_arrays(ms);
  allocate_step_arrays(ms);
}

void say_setup(const main_state& ms, const char* text) {
  if (!ms.quiet && ms.tool_mode != 1) std::fputs(text, stdout);
  if (run_log_file && run_log_file->is_open()) std::fputs(text, run_log_file->fp);
}

}  // namespace kavro
