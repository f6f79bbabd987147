// The end-of-run summary: the final water in every store, the groundwater,
// Sacramento and global water balances of the run (m3), then the entry of
// the sediment and constituent summaries and the final outputs.
#include <cmath>
#include <cstdio>
#include <memory>

#include "framework/event_volumes.h"
#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "output/event_summary.h"
#include "output/final_summary.h"
#include "output/output_steps.h"

namespace kavro {

namespace {

// 100 * numerator / denominator, and 0 when the denominator is not above 0:
// no balance prints "nan" or "inf".
double percent_of(double numerator, double denominator) {
  return denominator > 0.0 ? numerator * 100.0 / denominator : 0.0;
}

// The channel lakes at the end of the run, and their constituent masses.
void measure_channel_lakes(main_state& ms) {
  ms.vol_lakes_perennial_final = 0.0;
  if (!ms.lakes_on) return;
  if (ms.chan_contam_on) {
    for (long j = 1; j <= ms.n_constituents; ++j) {
      ms.lake_final_mass[j] = 0.0;
      ms.GLOBAL_MASS_FINAL[j] = 0.0;
    }
  }
  for (long m = 1; m <= ms.n_lakes && m <= ms.lake_volume.size(); ++m) {
    ms.vol_lakes_perennial_final += ms.lake_volume[m];
    if (!ms.chan_contam_on) continue;
    for (long j = 1; j <= ms.n_constituents && j <= ms.lake_mass.size1() && m <= ms.lake_mass.size2(); ++j) {
      ms.lake_final_mass[j] += ms.lake_mass[j][m] / 1000.0;
      ms.GLOBAL_MASS_FINAL[j] += ms.lake_mass[j][m] / 1000.0;
    }
  }
}

// The aquifer at the end of the run and its balance.
void write_groundwater_balance(main_state& ms, std::FILE* f, double cell_area) {
  const double tile_total = (ms.drain ? ms.drain->gw_to_drain_total : 0.0) + ms.vol_gw_to_tile_total;
  const long n = ms.n_cells;
  const bool have_storage = ms.gw_porosity.size() >= n && ms.elevgw.size() >= n && ms.bottom_elev.size() >= n;
  // Measured as at the start, with the aquifer porosity: the storage
  // coefficient of the solver changes as the table nears the ground, and the
  // soil zone's share of a head change is booked as the sat/unsat volume.
  ms.vol_gw_final += have_storage ? fixed_chunk_sum(1, n, [&](long k) {
    return (ms.elevgw[k] - ms.bottom_elev[k]) * ms.gw_porosity[k] * cell_area;
  })
                                  : 0.0;
  ms.vol_gw_balance_error = percent_of(ms.vol_gw_final - ms.vol_gw_init - ms.vol_gw_inputs_total -
                                           ms.vol_gw_bound_flux_total - ms.vol_gw_xy_gain_total +
                                           ms.vol_gw_xy_loss_total,
                                       ms.vol_gw_init);
  std::fprintf(f, "\n \n");
  std::fprintf(f, "GROUNDWATER CALCULATIONS \n\n");
  std::fprintf(f, "GW volume start =                %14.2lf \n", ms.vol_gw_init);
  std::fprintf(f, "GW volume end =                  %14.2lf \n", ms.vol_gw_final);
  std::fprintf(f, "Sat/unsat. volume (into gw) =    %14.2lf \n", ms.vol_sat_unsat_total);
  std::fprintf(f, "Exfiltration back on overland =  %14.2lf \n", ms.vol_exfil_total);
  std::fprintf(f, "Recharge to groundwater =        %14.2lf \n", ms.vol_recharge_total);
  std::fprintf(f, "Total inputs to groundwater=     %14.2lf \n", ms.vol_gw_inputs_total);
  std::fprintf(f, "Flux across head boundaries=     %14.2lf \n", ms.vol_gw_bound_flux_total);
  std::fprintf(f, "Leakage to deep aquifer+         %14.2lf \n", ms.vol_leakage_total);
  std::fprintf(f, "Pumping                          %14.2lf \n", ms.vol_pumping_total);
  std::fprintf(f, "To tile drains                   %14.2lf \n", tile_total);
  std::fprintf(f, "Gain from XY boundaries          %14.2lf \n", ms.vol_gw_xy_gain_total);
  std::fprintf(f, "Loss to XY boundaries            %14.2lf \n", ms.vol_gw_xy_loss_total);
  std::fprintf(f, "Mass Balance error =             %14.2lf %%  \n", ms.vol_gw_balance_error);
  std::fprintf(f, "\n");
  std::fprintf(f, "If you have any head boundaries \n");
  std::fprintf(f, "Mass balance errors are likely due to the estimation of fluxes across these boundaries, \n");
  std::fprintf(f, "Which cannot be calculated exactly \n \n");
  std::fprintf(f,
               "Sat/unsaturated volume is the amount of water passed from the unsaturated zone to the saturated "
               "zone \n");
  std::fprintf(f,
               "to maintain mass balance between the two domains and account for any changes to the soil moisture "
               "in the unsaturated zone \n");
}

// A cell of an overland lake at the end of the run.
bool in_overland_lake(const main_state& ms, long cell) {
  return ms.overland_lake_on && cell <= ms.oland_lake_new.size() && ms.oland_lake_new[cell] != 0;
}

// Surface water outside the lakes and the soil water of every column.
void measure_surface_and_soil(main_state& ms, double cell_area) {
  ms.vol_surface_final = 0.0;
  ms.vol_soil_final = 0.0;
  ms.vol_soil_water_end = 0.0;
  for (long k = 1; k <= ms.n_cells; ++k) {
    if (!is_channel_lake_cell(ms, k) && !in_overland_lake(ms, k)) ms.vol_surface_final += ms.ov_depth[k] * cell_area;
    if (ms.richards_on) {
      for (long m = 1; m <= ms.numcells[k] - 1; ++m) ms.vol_soil_final += ms.DZ[k][m] * ms.THETA[k][m] / 100.0 * cell_area;
    } else if (ms.soil_redist_on) {
      ms.vol_soil_water_end += ms.soil_column_water_cm[k] / 100.0 * cell_area;
      ms.vol_soil_final += simple_soil_column_volume(ms, k);
    }
  }
}

// Water in the channel links at the end of the run, and their constituent
// masses.
void measure_channels(main_state& ms) {
  ms.vol_channel_final = 0.0;
  if (ms.chan_contam_on) {
    for (long j = 1; j <= ms.n_constituents; ++j) {
      if (j <= ms.event_chan_mass_final.size()) ms.event_chan_mass_final[j] = 0.0;
      if (ms.sed_contam_on && j <= ms.event_chan_sed_contam_final.size()) ms.event_chan_sed_contam_final[j] = 0.0;
    }
  }
  if (!ms.channel_on) return;
  if (ms.chan_contam_on && !ms.lakes_on)
    for (long j = 1; j <= ms.n_constituents; ++j) ms.GLOBAL_MASS_FINAL[j] = 0.0;
  for (long l = 1; l <= ms.LINKS && l <= ms.nx.size(); ++l) {
    if (!is_ordinary_link(ms.ltype[l])) continue;
    long last = ms.nx[l];
    if (ms.lakes_on && l <= ms.og_nx1.size() && ms.og_nx1[l] < last) last = ms.og_nx1[l];
    for (long n = 1; n <= last; ++n) {
      const double v = ms.area[n][l] * ms.chan_dx[l];
      ms.vol_channel_final += v;
      if (!ms.chan_contam_on) continue;
      const long i = ms.max_nodes_per_link * l + n;
      for (long j = 1; j <= ms.n_constituents; ++j) {
        if (j <= ms.chan_node_conc.size1() && i <= ms.chan_node_conc.size2() && j <= ms.event_chan_mass_final.size()) {
          const double mass = v * ms.chan_node_conc[j][i] / 1000.0;
          ms.event_chan_mass_final[j] += mass;
          ms.GLOBAL_MASS_FINAL[j] += mass;
        }
        if (!ms.sed_contam_on) continue;
        for (long c = 1; c <= ms.sed_control.n_sed_classes; ++c) {
          if (j > ms.chan_sed_contam_node_conc.size1() || i > ms.chan_sed_contam_node_conc.size2() ||
              c > ms.chan_sed_contam_node_conc.size3() || ms.ch_wash_vol.empty() || c > ms.ch_wash_vol.size3() ||
              j > ms.event_chan_sed_contam_final.size())
            continue;
          const double mass = ms.chan_sed_contam_node_conc[j][i][c] * ms.ch_wash_vol[n][l][c] / 1000.0;
          ms.event_chan_sed_contam_final[j] += mass;
          ms.GLOBAL_MASS_FINAL[j] += mass;
        }
      }
    }
  }
}

// Water in the overland lakes: the lake level above the ground of each cell
// that a lake covers.
double overland_lakes_volume(const main_state& ms, const ivec& lake_of_cell, double cell_area) {
  if (!ms.overland_lake_on) return 0.0;
  double v = 0.0;
  for (long k = 1; k <= ms.n_cells && k <= lake_of_cell.size(); ++k) {
    const long m = lake_of_cell[k];
    if (m >= 1 && m <= ms.olake_table.size()) v += (ms.olake_table[m].level - ms.elevation[k]) * cell_area;
  }
  return v;
}

struct bmp_totals {
  double to_ov = 0.0, from_ov = 0.0, precip = 0.0, seep = 0.0;
};

bmp_totals bmp_run_totals(const main_state& ms) {
  bmp_totals t;
  if (!ms.ov_bmp_on || !ms.bmp_list) return t;
  t.to_ov = ms.bmp_list->total_vol_to_ov;
  t.from_ov = ms.bmp_list->total_vol_from_ov;
  t.precip = ms.bmp_list->total_vol_precip;
  t.seep = ms.bmp_list->total_vol_seep;
  return t;
}

struct drain_totals {
  double from_ov = 0.0, to_chan = 0.0, to_ov = 0.0, from_gw = 0.0, to_superlink = 0.0;
};

drain_totals drain_run_totals(const main_state& ms) {
  drain_totals t;
  if (!ms.drain) return t;
  t.from_ov = ms.drain->ov_to_drain_total;
  t.to_chan = ms.drain->drain_to_chan_total;
  t.to_ov = ms.drain->drain_to_ov_total;
  t.from_gw = ms.drain->gw_to_drain_total;
  t.to_superlink = ms.drain->drain_to_superlink_total;
  return t;
}

// Stored water at the start (I0) and at the end (F) of the run.
double initial_storage(const main_state& ms) {
  return ms.vol_channel_init_total + ms.vol_surface_init + ms.vol_ov_lakes_init + ms.vol_soil_init_total +
         ms.vol_gw_init + ms.vol_lakes_perennial_init + ms.vol_snow_init_total;
}

double final_storage(const main_state& ms, bool with_drains) {
  return ms.vol_surface_final + ms.vol_ov_lakes_final + ms.vol_channel_final + ms.vol_soil_final + ms.vol_gw_final +
         ms.vol_snow_final_total + ms.vol_melt_final_total + ms.vol_lakes_perennial_final +
         (with_drains ? ms.vol_drains_final : 0.0);
}

// The global, surface and simple-soil balances of the run.
double compute_balances(main_state& ms) {
  const bmp_totals bmp = bmp_run_totals(ms);
  const drain_totals drains = drain_run_totals(ms);
  const double i0 = initial_storage(ms);
  ms.vol_init_total = i0;
  // The two-store model's stores stand outside the run's storage terms: the
  // water it takes in leaves the balance as infiltration or downward flux,
  // and what it gives the channels comes back in as an input.
  double inputs = ms.vol_precip_total + ms.vol_gw_bound_flux_total + ms.vol_ov_point_sources_total +
                  ms.vol_gw_to_lakes_total + ms.vol_chan_point_sources_total + ms.vol_ov_bound_in_total + bmp.to_ov +
                  ms.vol_lumped_to_chan_total;
  const double f = final_storage(ms, true);
  ms.vol_final_total = f;
  double outputs = ms.vol_discharge_total + ms.vol_evap_total + ms.vol_ov_bound_out_total + ms.vol_lakes_to_gw_total +
                   ms.vol_lake_evap_total + ms.vol_canopy_sublimation_total + bmp.precip + bmp.from_ov - bmp.seep;
  if (!ms.gw_simulation_on) {
    outputs += (ms.green_ampt_on ? ms.vol_infiltration_total : ms.vol_unsat_down_total) + ms.vol_river_to_gw_total;
    inputs += ms.vol_gw_to_river_total;
  } else {
    outputs += ms.vol_unsat_down_total - ms.vol_recharge_total - bmp.seep + ms.vol_leakage_total + ms.vol_pumping_total;
  }
  ms.overall_mass_error = percent_of(i0 + inputs - (f + outputs), i0 + inputs);

  const double s = ms.vol_precip_total + ms.vol_gw_to_river_total + ms.vol_gw_to_lakes_total + ms.vol_exfil_total +
                   ms.vol_ov_point_sources_total + ms.vol_chan_point_sources_total +
                   ms.vol_superlink_to_channel_total + ms.vol_superlink_to_overland_total + ms.vol_ov_bound_in_total +
                   bmp.to_ov + ms.vol_lumped_to_chan_total + ms.vol_snow_init_total;
  ms.surface_mass_error = 0.0;
  if (s > 0.0) {
    const double fs = ms.vol_snow_final_total + ms.vol_channel_final + ms.vol_melt_final_total + ms.vol_surface_final +
                      ms.vol_ov_lakes_final + ms.vol_lakes_perennial_final + bmp.precip + bmp.from_ov;
    const double in = ms.vol_channel_init_total + ms.vol_surface_init + ms.vol_ov_lakes_init +
                      ms.vol_lakes_perennial_init + drains.to_chan + drains.to_ov + s;
    const double out = fs + ms.vol_canopy_sublimation_total + ms.vol_river_to_gw_total + ms.vol_lakes_to_gw_total +
                       ms.vol_direct_evap_total +
                       ms.vol_discharge_total + ms.vol_infiltration_total + ms.vol_ov_bound_out_total +
                       ms.vol_lake_evap_total + ms.vol_overland_to_superlink_total + drains.from_ov;
    ms.surface_mass_error = percent_of(in - out, fs + s);
  }

  if (!ms.soil_redist_on || !(ms.vol_soil_init_total > 0.0)) return 0.0;
  return percent_of(ms.vol_infiltration_total + ms.vol_soil_water_start - ms.vol_soil_water_end -
                        (ms.vol_evap_total - ms.vol_direct_evap_total - ms.vol_evap_soil_adjust) -
                        ms.vol_unsat_down_total + bmp.seep,
                    ms.vol_infiltration_total + ms.vol_soil_init_total);
}

// The Sacramento model's own balance; its volumes then replace the soil and
// groundwater stores of the run balance.
void write_sacramento_balance(main_state& ms, std::FILE* f, double cell_area) {
  ms.sac_final_storage_mm = ms.sac_uztwc + ms.sac_uzfwc + ms.sac_lztwc + ms.sac_lzfsc + ms.sac_lzfpc;
  ms.sac_final_depth_mm = ms.sac_final_storage_mm;
  const auto fill = [](double v, double capacity) { return percent_of(v, capacity); };
  std::fprintf(f, "\n\nSimulation summary for the Sacramento Soil Moisture Accounting Model\n");
  std::fprintf(f, "as incorporated in the KAVRO\n");
  std::fprintf(f, "(KAVRO) Model.  Internal SAC-SMA mass conservation check.\n\n");
  std::fprintf(f, "Initial state variable values:\n");
  std::fprintf(f, "uztwc:  %10.3lf mm, %8.2lf%%\n", ms.sac_uztwc_init, fill(ms.sac_uztwc_init, ms.sac_uztwm));
  std::fprintf(f, "uzfwc:  %10.3lf mm, %8.2lf%%\n", ms.sac_uzfwc_init, fill(ms.sac_uzfwc_init, ms.sac_uzfwm));
  std::fprintf(f, "lztwc:  %10.3lf mm, %8.2lf%%\n", ms.sac_lztwc_init, fill(ms.sac_lztwc_init, ms.sac_lztwm));
  std::fprintf(f, "lzfpc:  %10.3lf mm, %8.2lf%%\n", ms.sac_lzfpc_init, fill(ms.sac_lzfpc_init, ms.sac_lzfpm));
  std::fprintf(f, "lzfsc:  %10.3lf mm, %8.2lf%%\n", ms.sac_lzfsc_init, fill(ms.sac_lzfsc_init, ms.sac_lzfsm));
  std::fprintf(f, "Final state variable values:\n");
  std::fprintf(f, "uztwc:  %10.3lf mm, %8.2lf%%\n", ms.sac_uztwc, fill(ms.sac_uztwc, ms.sac_uztwm));
  std::fprintf(f, "uzfwc:  %10.3lf mm, %8.2lf%%\n", ms.sac_uzfwc, fill(ms.sac_uzfwc, ms.sac_uzfwm));
  std::fprintf(f, "lztwc:  %10.3lf mm, %8.2lf%%\n", ms.sac_lztwc, fill(ms.sac_lztwc, ms.sac_lztwm));
  std::fprintf(f, "lzfpc:  %10.3lf mm, %8.2lf%%\n", ms.sac_lzfpc, fill(ms.sac_lzfpc, ms.sac_lzfpm));
  std::fprintf(f, "lzfsc:  %10.3lf mm, %8.2lf%%\n\n", ms.sac_lzfsc, fill(ms.sac_lzfsc, ms.sac_lzfsm));
  std::fprintf(f, "\nMass Balance Information:\n\n");
  std::fprintf(f, "Initial subsurface storage(mm):        %10.3lf\n", ms.sac_storage_init_mm);
  std::fprintf(f, "Input rainfall (mm):                   %10.3lf\n", ms.sac_rain_mm);
  std::fprintf(f, "PET calculated by KAVRO (mm):          %10.3lf\n", ms.sac_pet_mm);
  std::fprintf(f, "AET calculated by Sacramento (mm):     %10.3lf\n", ms.sac_aet_mm);
  std::fprintf(f, "Subsurface runoff (mm):                %10.3lf\n", ms.sac_subsurface_runoff_mm);
  std::fprintf(f, "Recharge to deep g.w. (mm):            %10.3lf\n", ms.sac_deep_recharge_mm);
  std::fprintf(f, "Final volume of subsurface water (mm): %10.3lf\n", ms.sac_final_storage_mm);
  std::fprintf(f, "Residual (neg. means mass created (mm):%10.3lf\n",
               ms.sac_rain_mm + ms.sac_storage_init_mm - ms.sac_aet_mm - ms.sac_subsurface_runoff_mm -
                   ms.sac_deep_recharge_mm - ms.sac_final_storage_mm);
  std::fprintf(f, "\n");
  std::fprintf(f, "Sacramento simulation total residual water balance: %18.16f mm\n", ms.sac_residual);
  ms.sac_vol_factor = cell_area * ms.n_cells / 1000.0;
  const double k = ms.sac_vol_factor;
  std::fprintf(f, "\nSacramento storages and fluxes expressed as volumes (m^3):\n");
  std::fprintf(f, "Initial volume=   %10.1lf\n", ms.sac_init_depth_mm * k);
  std::fprintf(f, "Volume of ET=     %10.1lf\n", ms.sac_et_depth_mm * k);
  std::fprintf(f, "Volume of precip= %10.1lf\n", ms.sac_precip_depth_mm * k);
  std::fprintf(f, "Volume of outflow=%10.1lf\n", ms.sac_subsurface_runoff_mm * k);
  std::fprintf(f, "Final volume=     %10.1lf\n", ms.sac_final_depth_mm * k);
  std::fprintf(f, "Residual=         %10.1lf\n",
               (ms.sac_init_depth_mm - ms.sac_et_depth_mm + ms.sac_precip_depth_mm - ms.sac_subsurface_runoff_mm -
                ms.sac_final_depth_mm) *
                   k);

  const double w = ms.watershed_area / 1000.0;
  ms.vol_soil_init_total = (ms.sac_uztwc_init + ms.sac_lztwc_init) * w;
  ms.vol_gw_init = (ms.sac_uzfwc_init + ms.sac_lzfsc_init + ms.sac_lzfpc_init) * w;
  ms.vol_soil_final = (ms.sac_uztwc + ms.sac_lztwc) * w;
  ms.vol_gw_final = (ms.sac_uzfwc + ms.sac_lzfsc + ms.sac_lzfpc) * w;
  ms.vol_evap_total = ms.sac_aet_mm * w;
  ms.vol_river_to_gw_total = ms.sac_river_to_gw;
  ms.sac_deep_recharge_mm *= w;
  const double i0 = initial_storage(ms);
  const double fin = final_storage(ms, false);
  ms.vol_init_total = i0;
  ms.vol_final_total = fin;
  // Opposite sign convention to the balance without the Sacramento model.
  ms.overall_mass_error =
      percent_of(fin - i0 - ms.vol_precip_total + ms.vol_evap_total + ms.vol_discharge_total -
                     ms.vol_gw_bound_flux_total - ms.vol_ov_point_sources_total - ms.vol_gw_xy_gain_total +
                     ms.vol_gw_xy_loss_total,
                 ms.vol_precip_total + i0);
  // The model's outflow enters the channels from below the surface: an
  // input of the surface stores, as the infiltration is an output.
  ms.surface_mass_error =
      percent_of(ms.vol_precip_total + ms.vol_surface_init + ms.vol_ov_lakes_init + ms.vol_channel_init_total +
                     (ms.vol_gw_to_river_total - ms.vol_river_to_gw_total) + ms.vol_ov_point_sources_total +
                     ms.vol_lumped_to_chan_total -
                     (ms.vol_direct_evap_total + ms.vol_discharge_total + ms.vol_infiltration_total +
                      ms.vol_channel_final + ms.vol_snow_final_total + ms.vol_melt_final_total + ms.vol_surface_final +
                      ms.vol_ov_lakes_final),
                 ms.vol_precip_total);
}

void write_totals(main_state& ms, std::FILE* f) {
  const bool simple_soil = ms.soil_redist_on && !ms.gw_simulation_on;
  const bmp_totals bmp = bmp_run_totals(ms);
  const drain_totals drains = drain_run_totals(ms);
  std::fprintf(f, "\n \n");
  std::fprintf(f, "SIMULATION TOTALS");
  std::fprintf(f, "\n");
  std::fprintf(f, "GLOBAL MASS BALANCE CALCULATIONS \n");
  std::fprintf(f, "All volumes are in cubic meters \n \n");
  std::fprintf(f, "Initial volume on surface=                      %14.2lf \n", ms.vol_surface_init);
  std::fprintf(f, "Initial volume in channels=                     %14.2lf \n", ms.vol_channel_init_total);
  if (simple_soil)
    std::fprintf(f, "Initial volume in soil over simple soil depth   %14.2lf \n", ms.vol_soil_init_total);
  else
    std::fprintf(f, "Initial volume in soils=                        %14.2lf \n", ms.vol_soil_init_total);
  std::fprintf(f, "Initial volume in groundwater=                  %14.2lf \n", ms.vol_gw_init);
  if (ms.lakes_on) std::fprintf(f, "Initial volume in perennial lakes               %14.2lf \n", ms.vol_lakes_perennial_init);
  std::fprintf(f, "\n");
  std::fprintf(f, "Final volume on surface=                        %14.2lf\n", ms.vol_surface_final);
  if (ms.overland_lake_on) std::fprintf(f, "Final volume in overland lakes=                 %14.2lf\n", ms.vol_ov_lakes_final);
  std::fprintf(f, "Final volume in channels=                       %14.2lf\n", ms.vol_channel_final);
  if (ms.storm_sewer_on) std::fprintf(f, "Final volume in drains=                         %14.2lf\n", ms.vol_drains_final);
  if (simple_soil)
    std::fprintf(f, "Final volume in soil over simple soil depth     %14.2lf\n", ms.vol_soil_final);
  else
    std::fprintf(f, "Final volume in soils=                          %14.2lf\n", ms.vol_soil_final);
  std::fprintf(f, "Final volume in groundwater=                    %14.2lf\n", ms.vol_gw_final);
  std::fprintf(f, "Final volume of snow=                           %14.2lf\n", ms.vol_snow_final_total);
  std::fprintf(f, "Final volume of melt water =                    %14.2lf\n", ms.vol_melt_final_total);
  if (ms.lakes_on) std::fprintf(f, "Final volume in perennial lakes                 %14.2lf\n", ms.vol_lakes_perennial_final);
  std::fprintf(f, "\n");
  std::fprintf(f, "Total amount of precip=                         %14.2lf\n", ms.vol_precip_total);
  std::fprintf(f, "Total amount of interception=                   %14.2lf\n", ms.vol_interception_total);
  std::fprintf(f, "Total amount of canopy sublimation=             %14.2lf\n", ms.vol_canopy_sublimation_total);
  std::fprintf(f, "Total amount of infiltration=                   %14.2lf\n", ms.vol_infiltration_total);
  std::fprintf(f, "Total amount of evaporation=                    %14.2lf\n", ms.vol_evap_total);
  std::fprintf(f, "Total direct evaporation=                       %14.2lf\n", ms.vol_direct_evap_total);
  if (!ms.sacramento_on) std::fprintf(f, "Total amount of exfiltration=                   %14.2lf\n", ms.vol_exfil_total);
  std::fprintf(f, "\n");
  if (!ms.sacramento_on && ms.gw_simulation_on) {
    std::fprintf(f, "Total recharge inputs to groundwater=           %14.2lf\n", ms.vol_recharge_total);
    std::fprintf(f, "Total pumping from groundwater=                 %14.2lf\n", ms.vol_pumping_total);
  }
  if (!ms.sacramento_on) {
    std::fprintf(f, "Total downward flux from unsaturated zone=      %14.2lf\n", ms.vol_unsat_down_total);
    std::fprintf(f, "Total flux of gw across bounds=                 %14.2lf\n", ms.vol_gw_bound_flux_total);
  } else {
    std::fprintf(f, "Total recharge to deep g.w.=                    %14.2lf\n", ms.sac_deep_recharge_mm);
  }
  std::fprintf(f, "Total overland point sources=                   %14.2lf\n", ms.vol_ov_point_sources_total);
  std::fprintf(f, "Total channel point sources=                    %14.2lf\n\n", ms.vol_chan_point_sources_total);
  if (ms.ov_boundary_on || ms.xybdyinput_ovdep_on) {
    std::fprintf(f, "Volume overland lost to specified head boundary:         %14.2lf\n", ms.vol_ov_head_bound_out_total);
    std::fprintf(f, "Volume overland gained from specified head boundary:     %14.2lf\n", ms.vol_ov_head_bound_in_total);
  }
  if (ms.ov_boundary_on) {
    std::fprintf(f, "Volume overland lost to specified slope boundary:        %14.2lf\n", ms.vol_ov_slope_bound_out_total);
    std::fprintf(f, "Volume overland gained from specified discharge boundary:%14.2lf\n", ms.vol_ov_q_bound_in_total);
    std::fprintf(f, "Volume overland lost from specified discharge boundary:  %14.2lf\n", ms.vol_ov_q_bound_out_total);
    std::fprintf(f, "Volume of overland specified discharge boundary unmet:   %14.2lf\n", ms.vol_ov_q_bound_unmet_total);
  }
  if (ms.ov_bmp_on) {
    std::fprintf(f, "Volume of precipitation to BMPs:                %14.2lf\n", bmp.precip);
    std::fprintf(f, "Volume from overland to BMPs:                   %14.2lf\n", bmp.from_ov);
    std::fprintf(f, "Volume from BMPS to overland:                   %14.2lf\n", bmp.to_ov);
    std::fprintf(f, "Volume from BMPS to groundwater:                %14.2lf\n", bmp.seep);
  }
  std::fprintf(f, "\n");
  std::fprintf(f, "Total lateral inflow into channels=             %14.2lf\n", ms.vol_lat_inflow_total);
  std::fprintf(f, "Total amount of discharge=                      %14.2lf\n", ms.vol_discharge_total);
  if (ms.stream_loss_on) std::fprintf(f, "Total flux from river to gw=                    %14.2lf\n", ms.vol_river_to_gw_total);
  if (ms.stream_loss_on && ms.water_table_on)
    std::fprintf(f, "Total flux from gw to river=                    %14.2lf\n", ms.vol_gw_to_river_total);
  if (ms.lakes_on) {
    std::fprintf(f, "\n");
    std::fprintf(f, "Volume precip to lakes=                         %14.2lf\n", ms.vol_precip_lake_total);
    std::fprintf(f, "Volume of overland flow into lakes=             %14.2lf\n",
                 ms.vol_lake_inflow_total - ms.vol_gw_to_lakes_total);
    std::fprintf(f, "Volume of overland flow from lakes=             %14.2lf\n",
                 ms.vol_lake_outflow_total - ms.vol_lakes_to_gw_total);
    std::fprintf(f, "Volume of lake evap=                            %14.2lf\n", ms.vol_lake_evap_total);
    if (ms.m_lake_on) {
      std::fprintf(f, "Total flux from lakes to gw=                    %14.2lf\n", ms.vol_lakes_to_gw_total);
      std::fprintf(f, "Total flux from gw to lakes=                    %14.2lf\n", ms.vol_gw_to_lakes_total);
    }
  }
  if (ms.storm_sewer_on || ms.storm_drain_on) {
    std::fprintf(f, "\n");
    std::fprintf(f, "Volume of overland to subsurface drains         %14.2lf\n",
                 drains.from_ov + ms.vol_overland_to_superlink_total);
    std::fprintf(f, "Volume of subsurface drains to overland         %14.2lf\n",
                 drains.to_ov + ms.vol_superlink_to_overland_total);
    std::fprintf(f, "Volume of subsurface drains to channels         %14.2lf\n",
                 drains.to_chan + ms.vol_superlink_to_channel_total);
    std::fprintf(f, "Volume of groundwater to tile drains            %14.2lf\n", drains.from_gw + ms.vol_gw_to_tile_total);
    std::fprintf(f, "Volume of non superlink drain to superlink      %14.2lf\n", drains.to_superlink);
  }
  if (gw_xy_boundaries_on(ms)) {
    std::fprintf(f, "\n");
    std::fprintf(f, "Volume groundwater gained from XY boundaries                %14.2lf\n", ms.vol_gw_xy_gain_total);
    std::fprintf(f, "Volume groundwater lost to XY boundaries                    %14.2lf\n", ms.vol_gw_xy_loss_total);
  }
  std::fprintf(f, "\n");
  std::fprintf(f, "Mass balance error of surface components =              %10.6lf percent\n\n", ms.surface_mass_error);
  if (ms.sacramento_on) {
    std::fprintf(f, "Overall mass balance error =                    %10.6lf percent\n \n", ms.overall_mass_error);
    std::fprintf(f, "*overall mass balance error will not be zero when using the Sacramento\n");
    std::fprintf(f, "model because of errors associated with interpolating hourly outflows to\n");
    std::fprintf(f, "the channel routing time step, which is generally much less than one\n");
    std::fprintf(f, "hour.  However, this error should be less than one percent, except for\n");
    std::fprintf(f, "simulations of very short events (only a few hours long).\n \n");
  } else {
    std::fprintf(f, "Overall mass balance error =                        %14.6lf percent\n \n", ms.overall_mass_error);
  }
}

void write_store_balances(main_state& ms, std::FILE* f, double simple_soil_error) {
  // Water created is as wrong as water lost: either sign above 1 percent warns.
  if (std::fabs(ms.overall_mass_error) > 1.0) {
    std::fprintf(f, "WARNING:  Overall Mass balance ERROR is greater than 1 percent, CHECK YOUR MODEL! \n \n");
    std::printf("WARNING: Overall Mass Balance ERROR is high! %10.6lf percent \n", ms.overall_mass_error);
    std::printf("Check the Summary File (*.sum) for more detail. \n \n");
  }
  if (ms.soil_redist_on)
    std::fprintf(f, "Simple soil moisture mass balance =             %19.6lf percent \n\n", simple_soil_error);
  if (ms.overland_lake_on) {
    std::fprintf(f, "Volume of flow into overland lakes:             %14.2lf\n", ms.vol_into_ov_lakes_total);
    std::fprintf(f, "Volume of flow from overland lakes:             %14.2lf\n", ms.vol_from_ov_lakes_total);
    std::fprintf(f, "Volume of evaporation from lakes:               %14.2lf\n", ms.vol_lake_evap_total);
    ms.vol_ov_lake_balance_error =
        ms.vol_ov_lakes_init + ms.vol_into_ov_lakes_total - ms.vol_ov_lakes_final - ms.vol_from_ov_lakes_total;
    std::fprintf(f, "Overland lake mass bal error m^3:               %14.2lf\n\n", ms.vol_ov_lake_balance_error);
  }
  if (ms.lakes_on) {
    ms.vol_lake_balance_error = ms.vol_lake_inflow_total - ms.vol_lake_outflow_total - ms.vol_lakes_perennial_final +
                                ms.vol_lakes_perennial_init - ms.vol_lake_evap_total;
    std::fprintf(f, "Perennial lake mass bal error m^3=              %14.2lf\n\n", ms.vol_lake_balance_error);
  }
  if (ms.storm_sewer_on) {
    const drain_totals d = drain_run_totals(ms);
    std::fprintf(f, "Subsurface drain mass bal error m^3=            %14.2lf\n\n",
                 ms.vol_gw_to_tile_total + ms.vol_overland_to_superlink_total + d.from_ov + d.from_gw -
                     ms.vol_superlink_to_overland_total - ms.vol_superlink_to_channel_total - d.to_ov - d.to_chan -
                     ms.vol_drains_final);
  }
  if (ms.dike_on && ms.lowspot_on) {
    std::fprintf(f, "You specifed overland dikes and lowspots \n");
    std::fprintf(f, "The following cells experienced flow from over the embankment \n");
    std::fprintf(f, "If no cells are listed then there was no flow overtopping the dike \n");
    std::fprintf(f, "Check the 'maskmap' to see the location of these cells \n");
    for (long k = 1; k <= ms.n_cells && k <= ms.low_spot_flow_cell.size(); ++k)
      if (ms.low_spot_flow_cell[k] == 1) std::fprintf(f, "Dike Overtopped in cell:  %ld \n", k);
    std::fprintf(f, "\n");
  }
}

}  // namespace

void write_final_water_balance(main_state& ms) {
  // The final volumes are measured for the later stages even when the run
  // keeps no log; the lines then go nowhere.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> sink(nullptr, std::fclose);
  std::FILE* f = ms.fs_summary.fp;
  if (f == nullptr) {
    sink.reset(std::fopen("/dev/null", "w"));
    f = sink.get();
    if (f == nullptr) return;
  }
  const double cell_area = ms.dx * ms.dx;
  measure_channel_lakes(ms);
  if (ms.long_term_on && ms.soil_redist_on && ms.DIRECT_EVAP.size() >= ms.n_cells)
    ms.vol_direct_evap_total += fixed_chunk_sum(1, ms.n_cells, [&](long k) { return ms.DIRECT_EVAP[k] / 100.0 * cell_area; });
  // Without groundwater, what left the soil columns since the last event
  // end has left the run through their bottom.
  if (!ms.gw_simulation_on && (ms.soil_redist_on || ms.richards_on) && ms.rich_bottom_flux.size() >= ms.n_cells) {
    ms.vol_unsat_down_total += fixed_chunk_sum(1, ms.n_cells, [&](long k) { return ms.rich_bottom_flux[k] / 100.0 * cell_area; });
    for (long k = 1; k <= ms.n_cells; ++k) ms.rich_bottom_flux[k] = 0.0;
  }
  if (ms.gw_simulation_on) write_groundwater_balance(ms, f, cell_area);
  measure_surface_and_soil(ms, cell_area);
  // Measured here once: the event ends add to their own copy at every event.
  ms.vol_ov_lakes_final = overland_lakes_volume(ms, ms.oland_lake_new, cell_area);
  measure_channels(ms);
  // Snow and melt water are measured whenever the run keeps them: a pack
  // that melted out still has melt on its way, a canopy may still hold snow.
  if (ms.swe.size() >= ms.n_cells) {
    const bool canopy = ms.canopy_snow.size() >= ms.n_cells;
    ms.vol_snow_final_total += fixed_chunk_sum(1, ms.n_cells, [&](long k) {
      return (ms.swe[k] + (canopy ? ms.canopy_snow[k] : 0.0)) * cell_area;
    });
  }
  if (ms.snow_melt_to_ov.size() >= ms.n_cells)
    ms.vol_melt_final_total += fixed_chunk_sum(1, ms.n_cells, [&](long k) { return ms.snow_melt_to_ov[k] * cell_area; });
  if (ms.ov_boundary_on || ms.xybdyinput_ovdep_on) {
    ms.vol_ov_bound_in_total = ms.vol_ov_q_bound_in_total + ms.vol_ov_head_bound_in_total;
    ms.vol_ov_bound_out_total = ms.vol_ov_slope_bound_out_total + ms.vol_ov_head_bound_out_total + ms.vol_ov_q_bound_out_total;
  }
  const double simple_soil_error = compute_balances(ms);
  if (ms.sacramento_on) write_sacramento_balance(ms, f, cell_area);
  write_totals(ms, f);
  write_store_balances(ms, f, simple_soil_error);
}

bool write_final_constituent_summaries(main_state& ms) {
  if (!ms.fs_summary.is_open()) return true;
  int first_nutrient = -1;
  if (ms.contam_on && ms.n_constituents > 0) {
    for (long l = 1; l <= ms.n_constituents; ++l) {
      ms.OV_MASS_FINAL[l] = 0.0;
      ms.OV_LAND_MASS_FINAL[l] = 0.0;
      // With channel transport it already holds the channel and lake masses.
      if (!ms.chan_contam_on) ms.GLOBAL_MASS_FINAL[l] = 0.0;
      if (ms.soil_contam_on) ms.event_soil_mass_final[l] = 0.0;
      if (first_nutrient < 0 && ms.constituent_type[l] == 2) first_nutrient = static_cast<int>(l);
    }
  }
  const bool files_opened = !ms.sed_control.erosion_on || write_run_sediment_summary(ms);
  if (ms.soil_contam_on) write_run_soil_constituent_summary(ms, first_nutrient);
  if (ms.ov_contam_on) write_run_overland_constituent_summary(ms, first_nutrient);
  if (ms.chan_contam_on) write_run_channel_constituent_summary(ms, first_nutrient);
  if (ms.contam_on) write_run_global_constituent_summary(ms, first_nutrient);
  if (ms.nutrients_on) write_run_nutrient_rates_summary(ms);
  return files_opened;
}

void write_final_summary(main_state& ms) {
  write_final_water_balance(ms);
  // A file that could not be opened costs only itself: the hotstarts and
  // the other end-of-run files are still written.
  write_final_constituent_summaries(ms);
  write_final_outputs(ms);
}

}  // namespace kavro
