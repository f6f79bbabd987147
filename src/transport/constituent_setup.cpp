// Set-up of the constituents carried with the water: one row per constituent
// in every per-constituent array, the contaminant table, the load map, the
// layering of the soil under each cell and the initial masses.
#include <algorithm>
#include <cstdio>
#include <string>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "input/ascii_map.h"
#include "input/cell_loaders.h"
#include "input/contaminant_tables.h"
#include "transport/constituent_math.h"
#include "transport/nutrient_setup.h"
#include "transport/ov_constituent_kinetics.h"
#include "transport/transport_steps.h"

namespace kavro {

namespace {

// Rows of zeros up to `n` rows (one per constituent), never beyond: an array
// that already holds a row for a constituent keeps it.
void rows_to(checked_array_2d<double>& a, long n, long cols) {
  if (a.size() < n) a.add_rows(n - a.size(), cols);
}

void entries_to(checked_array<double>& v, long n) {
  if (v.size() < n) v.grow(n - v.size());
}

void planes_to(checked_array_3d<double>& a, long n, long cells, long layers) {
  if (a.size() < n) a.append_planes(n - a.size(), 0.0, cells, layers);
}

// Constituent soil layers below the cells for the chosen infiltration method.
int soil_layer_count(const main_state& ms) {
  if (ms.inf_redist_on) {
    int l = 1;
    if (ms.soil_moist_depth_cm - ms.top_layer_depth_cm > tiny_amount) l = 2;
    if (ms.top_layer_depth_cm - ms.mixing_layer_depth_cm > tiny_amount) ++l;
    return l;
  }
  if (ms.multi_layer_ga_on) return ms.mixing_layer_depth_cm > tiny_amount ? 3 : 2;
  if (ms.green_ampt_on) return 1;
  return 0;
}

void read_load_map(main_state& ms) {
  const std::string& path = ms.contam_map_path;
  std::printf("reading contamimant load map from file: %s\n", path.c_str());
  if (run_log_file && run_log_file->is_open())
    std::fprintf(run_log_file->fp, "reading contaminant load map from file: %s\n", path.c_str());
  file_wrapper f;
  if (!f.open(path, "r")) {
    std::printf("Error: cannot open the contaminant load map (card CONTAM_MAP) %s\n", path.c_str());
    error_rec.code = already_printed_code;
    return;
  }
  read_cell_map(ms, f, path, map_reals_a, &ms.contam_map, nullptr);
  if (error_rec.code != 0 || ms.ov_mass_load_table.size() < 1) return;
  double* row = ms.ov_mass_load_table[1];
  for (long j = 1; j <= ms.n_cells; ++j) row[j] = ms.contam_map[j];
}

}  // namespace

void add_constituents(main_state& ms, int count, int n_cells, int nutrient_flag, int) {
  int added = count;
  int kind3 = 0;
  if (nutrient_flag) {
    kind3 = ms.soil_contam_on ? 4 : 0;
    added = 9 + kind3;
  }
  if (added <= 0) return;
  const long first = ms.n_constituents + 1;
  const long n = ms.n_constituents + added;
  const long layers = std::max(ms.n_soil_layers, 1);

  if (ms.ov_infil_vol_con.empty()) {
    ms.ov_infil_vol_con.allocate(n_cells);
    if (ms.soil_contam_on) {
      ms.exfil_depth_con.allocate(n_cells);
      alloc_dmat_zero(ms.soil_work_mass, n_cells, layers, "soil_work_mass");
      alloc_dmat_zero(ms.soil_work_conc, n_cells, layers, "soil_work_conc");
      alloc_dmat_zero(ms.soil_frac_dissolved, n_cells, layers, "soil_frac_dissolved");
    }
    if (ms.contam_map_on && ms.contam_map.empty()) ms.contam_map.allocate(n_cells);
  }

  for (checked_array<double>* v :
       {&ms.precip_conc, &ms.water_soil_partition_coef, &ms.OV_MASS_INIT, &ms.OV_MASS_FINAL, &ms.OV_MASS_OUT,
        &ms.OV_QLAT_MASS, &ms.OV_MASS_DECAY, &ms.OV_POINT_MASS, &ms.OV_EXFIL_MASS, &ms.OV_PRECIP_MASS,
        &ms.OV_INFIL_MASS, &ms.OV_MASS_ERROR, &ms.OV_LAND_MASS, &ms.OV_LAND_MASS_INIT, &ms.OV_LAND_MASS_FINAL,
        &ms.OV_UPTAKE_MASS, &ms.ov_exit_mass, &ms.event_ov_mass_init, &ms.event_ov_decay_mass,
        &ms.event_ov_uptake_mass, &ms.event_ov_infil_mass, &ms.event_ov_exfil_mass, &ms.event_ov_qlat_mass,
        &ms.event_ov_mass_out, &ms.event_ov_point_mass, &ms.event_ov_precip_mass, &ms.event_ov_land_mass,
        &ms.event_ov_neg_mass, &ms.ov_out_dmt, &ms.ov_point_dmt, &ms.ov_decay_dmt, &ms.ov_infil_dmt,
        &ms.ov_qlat_dmt, &ms.ov_uptake_dmt, &ms.ov_nsm_dmt, &ms.ov_nsm_dmt_in, &ms.ov_nsm_dmt_out,
        &ms.ov_precip_dmt, &ms.GLOBAL_MASS_CON_ERROR, &ms.GLOBAL_MASS_DECAY, &ms.GLOBAL_MASS_INIT,
        &ms.GLOBAL_MASS_FINAL, &ms.GLOBAL_POINT_SOURCE, &ms.GLOBAL_MASS_OUT, &ms.GLOBAL_GW_MASS,
        &ms.event_ov_nsm_loss_mass, &ms.event_ov_nsm_gain_mass, &ms.ov_exfil_dmt, &ms.sed_source_dmt,
        &ms.ov_nsm_infil_mass, &ms.ov_nsm_gain_total, &ms.ov_nsm_loss_total, &ms.global_precip_mass,
        &ms.global_mass_in_tally, &ms.global_mass_out_tally})
    entries_to(*v, n);

  for (checked_array_2d<double>* a :
       {&ms.ov_constituent_conc, &ms.ov_constituent_mass, &ms.ov_con_maxconc, &ms.ov_disp_table,
        &ms.ov_decay_table, &ms.ov_uptake_table, &ms.ov_mass_load_table, &ms.gw_cell_conc, &ms.ov_precip_cell_mass,
        &ms.ov_exfil_cell_mass, &ms.ov_gst_cell_mass, &ms.ov_infil_cell_mass, &ms.ov_decay_cell_mass,
        &ms.ov_uptake_cell_mass, &ms.ov_nsm_cell_mass, &ms.ov_to_soil_mass})
    rows_to(*a, n, n_cells);

  if (ms.soil_contam_on) {
    for (checked_array_2d<double>* a :
         {&ms.soil_to_ov_mass, &ms.soil_exfil_cell_mass, &ms.soil_kd_table, &ms.soil_decay_table})
      rows_to(*a, n, n_cells);
    for (checked_array<double>* v :
         {&ms.soil_step_decay, &ms.soil_step_seep_down, &ms.soil_step_seep_up, &ms.soil_decay_mass_total,
          &ms.soil_seep_down_mass_total, &ms.soil_seep_up_mass_total, &ms.soil_exfil_mass_total,
          &ms.soil_infil_mass_total, &ms.soil_to_ov_mass_total, &ms.soil_mass_error, &ms.event_soil_from_gw_mass,
          &ms.event_soil_to_gw_mass, &ms.event_soil_decay_mass, &ms.event_soil_mass_final, &ms.event_soil_mass_init,
          &ms.event_soil_infil_mass, &ms.event_surface_to_soil_mass, &ms.event_soil_to_surface_mass})
      entries_to(*v, n);
    for (checked_array_3d<double>* a : {&ms.soil_mass, &ms.soil_conc, &ms.soil_frac_dissolved_all})
      planes_to(*a, n, n_cells, layers);
  }
  if (ms.sed_contam_on) {
    rows_to(ms.sed_source_cell_mass, n, n_cells);
    for (checked_array<double>* v : {&ms.event_sed_contam_class_final, &ms.event_sed_contam_susp_final,
                                     &ms.event_soil_sed_exch_mass, &ms.event_ov_sed_source_mass})
      entries_to(*v, n);
  }

  if (ms.constituent_type.size() < n) ms.constituent_type.grow(n - ms.constituent_type.size());
  for (long c = first; c <= n; ++c) {
    int kind = 1;
    if (nutrient_flag) kind = c - first < 9 ? 2 : 3;
    ms.constituent_type[c] = kind;
  }
  if (nutrient_flag) ms.first_nsm_constituent = static_cast<int>(first);
  ms.n_constituents = static_cast<int>(n);
}

void read_contaminant_setup(main_state& ms) {
  if (!ms.ov_contam_on || !ms.ov_contam_transport_on) return;
  say_setup(ms, "reading contaminant transport table and map from master table file\n");
  const std::array<checked_array_2d<double>*, 8> dest = {
      &ms.ov_disp_table, &ms.ov_decay_table, &ms.ov_uptake_table, &ms.ov_mass_load_table,
      &ms.gw_cell_conc,  &ms.ov_constituent_conc, ms.soil_contam_on ? &ms.soil_kd_table : nullptr,
      &ms.ov_con_maxconc};
  if (!read_contaminant_tables(ms, dest)) {
    // The reader reported what was wrong; a table without contaminants
    // leaves the run without any.
    if (error_rec.code == 0) ms.n_contaminants = 0;
    return;
  }
  ms.contam_table_read = 1;
  if (ms.green_ampt_on || ms.inf_redist_on) {
    if (ms.top_layer_depth_cm < tiny_amount) ms.top_layer_depth_cm = ms.soil_moist_depth_cm;
    if (ms.mixing_layer_depth_cm < tiny_amount) ms.mixing_layer_depth_cm = ms.top_layer_depth_cm;
  }
  ms.n_soil_layers = soil_layer_count(ms);
  if (ms.n_soil_layers > 0) {
    alloc_dmat_zero(ms.soil_layer_theta, ms.n_cells, ms.n_soil_layers, "soil_layer_theta");
    alloc_dmat_zero(ms.soil_layer_thetas, ms.n_cells, ms.n_soil_layers, "soil_layer_thetas");
  }
  add_constituents(ms, ms.n_contaminants, ms.n_cells, 0, 0);
  if (ms.contam_map_on) read_load_map(ms);
  if (error_rec.code != 0) return;
  if (ms.ov_point_source_on) {
    ms.ov_point_q.allocate(ms.n_cells);
    say_setup(ms, "Overland point sources add no water: their file format is not defined.\n");
  }
  if (ms.sed_contam_on) {
    const long classes = ms.sed_control.n_sed_classes;
    for (dmat* m : {&ms.ov_sed_vol_qsx, &ms.ov_sed_vol_qsy, &ms.ov_sed_vol_susp, &ms.ov_sed_vol_susp_work})
      if (m->empty() && classes > 0) alloc_dmat_zero(*m, ms.n_cells, classes, m->name());
  }
}

void init_soil_constituent_mass(main_state& ms) {
  if (!ms.ov_contam_on) return;
  // The rain step books each cell's rain into the work vectors from the
  // first step on.
  size_constituent_work(ms);
  const double area = ms.dx * ms.dx;
  if (ms.contam_layer_depth.empty()) {
    ms.contam_layer_depth.allocate(3);
    ms.contam_layer_bottom.allocate(3);
  }
  const double mix = ms.mixing_layer_depth_cm / 100.0;
  if (ms.inf_redist_on) {
    ms.contam_layer_depth[1] = mix;
    if (ms.n_soil_layers == 2) ms.contam_layer_depth[2] = (ms.soil_moist_depth_cm - ms.mixing_layer_depth_cm) / 100.0;
    if (ms.n_soil_layers == 3) {
      ms.contam_layer_depth[2] = (ms.top_layer_depth_cm - ms.mixing_layer_depth_cm) / 100.0;
      ms.contam_layer_depth[3] = (ms.soil_moist_depth_cm - ms.top_layer_depth_cm) / 100.0;
    }
  } else if (ms.green_ampt_on) {
    ms.contam_layer_depth[1] = mix;
  }
  double bottom = 0.0;
  for (long k = 1; k <= 3; ++k) ms.contam_layer_bottom[k] = bottom += ms.contam_layer_depth[k];

  for (long i = 1; i <= ms.n_constituents; ++i) {
    ms.OV_MASS_INIT[i] = 0.0;
    ms.OV_LAND_MASS_INIT[i] = 0.0;
    const bool contaminant = ms.constituent_type[i] == 1;
    double* decay = ms.ov_decay_table[i];
    double* uptake = ms.ov_uptake_table[i];
    double* load = ms.ov_mass_load_table[i];
    double* conc = ms.ov_constituent_conc[i];
    double* mass = ms.ov_constituent_mass[i];
    for (long j = 1; j <= ms.n_cells; ++j) {
      if (contaminant) {
        decay[j] /= seconds_per_day;
        uptake[j] /= seconds_per_day;
        if (ms.soil_contam_on) ms.soil_decay_table[i][j] = decay[j];
      }
      load[j] *= grams_per_kg;
      const bool lake_cell = ms.lakes_on && ms.lake_mask[j] != 0;
      if (ms.ov_depth[j] > tiny_amount && !lake_cell) {
        mass[j] = ms.ov_depth[j] * conc[j] * area;
      } else {
        mass[j] = 0.0;
        conc[j] = 0.0;
      }
      ms.OV_MASS_INIT[i] += mass[j] / grams_per_kg;
      if (ms.soil_contam_on && contaminant) {
        for (long k = 0; k <= ms.soil_mass.cols(); ++k) ms.soil_mass[i][j][k] = ms.soil_conc[i][j][k] = 0.0;
        double h = ms.contam_layer_depth[1];
        double n = ms.porosity[j];
        if (ms.multi_layer_ga_on) {
          const soil_type_params& st = ms.soil_type_table[ms.soiltype[j]];
          h = ms.mixing_layer_depth_cm > tiny_amount && ms.mixing_layer_depth_cm < st.layer_depth[1]
                  ? mix
                  : st.layer_depth[1] / 100.0;
          n = st.layer_porosity[1];
        }
        const double c_soil = load[j] / grams_per_kg;  // the table value, mg/kg
        const double m = soil_layer_mass(c_soil, n, h, area);
        ms.soil_conc[i][j][1] = c_soil;
        ms.soil_mass[i][j][1] = m;
        load[j] = m;
      }
      ms.OV_LAND_MASS_INIT[i] += load[j] / grams_per_kg;
      ms.GLOBAL_MASS_INIT[i] += (mass[j] + load[j]) / grams_per_kg;
    }
  }
}

}  // namespace kavro
