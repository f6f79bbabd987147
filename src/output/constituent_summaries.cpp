// The constituent budgets of the summaries: per constituent the mass
// balances of the soil column, the land surface, the channels and lakes and
// the whole watershed, for each event (aligned lines) and for the run. An
// error is (inputs - outputs) / inputs * 100 when the inputs exceed a floor,
// else 0; a signed exchange counts as an input when positive and as an
// output otherwise. The errors are stored per constituent.
#include <cstdio>
#include <string>

#include "framework/main_state.h"
#include "output/event_summary.h"
#include "output/final_summary.h"
#include "transport/nutrient_seams.h"

namespace kavro {

namespace {

// Element i of a per-constituent vector, 0 outside it.
template <class V>
double at(const V& v, long i) {
  return i >= 1 && i <= v.size() ? v[i] : 0.0;
}

// Stores `value` as element i, sizing the vector to the constituents first.
void store(dvec& v, long i, long n, double value) {
  if (v.size() < n) v.allocate(n);
  if (i >= 1 && i <= v.size()) v[i] = value;
}

void store(checked_array<double>& v, long i, double value) {
  if (i >= 1 && i <= v.size()) v[i] = value;
}

struct balance {
  double in = 0.0, out = 0.0;
  // A signed exchange: an input when positive, an output otherwise.
  void exchange(double s) {
    if (s > 0.0) in += s;
    else out -= s;
  }
  double error(double floor) const { return in > floor ? (in - out) / in * 100.0 : 0.0; }
};

// Mass of constituent l in layer y of cell c (g), 0 outside the table.
double soil_layer_mass(const checked_array_3d<double>& mass, long l, long c, long y) {
  double** plane = mass.plane(l);
  return plane != nullptr && c >= 1 && c <= mass.row_count() && y >= 1 && y <= mass.cols() ? plane[c][y] : 0.0;
}

int type_of(const main_state& ms, long i) {
  return i >= 1 && i <= ms.constituent_type.size() ? ms.constituent_type[i] : 0;
}

// The name of constituent i in a heading: its description as a
// contaminant, its nutrient label (soil pools with flag 1) otherwise.
std::string label_of(const main_state& ms, long i, int first_nutrient, int pool_flag) {
  if (type_of(ms, i) == 1)
    return i <= ms.contamdescriptions.size() ? ms.contamdescriptions[i] : std::string();
  const int b = first_nutrient >= 0 ? first_nutrient : static_cast<int>(i);
  return nsm_constituent_label(static_cast<int>(i) - b, pool_flag);
}

// The first nutrient constituent, -1 when there is none.
int first_nutrient_of(const main_state& ms) {
  for (long i = 1; i <= ms.n_constituents; ++i)
    if (type_of(ms, i) == 2) return static_cast<int>(i);
  return -1;
}

// The aquatic species a soil pool exchanges with at the surface, -1 for a
// pool without one.
long partner_species(const main_state& ms, long i) {
  static constexpr int pool_to_species[13] = {-1, -1, 2, 1, 3, -1, -1, -1, 5, -1, 4, -1, -1};
  const long base = ms.first_nsm_constituent;
  const long k = i - base;
  if (k < 0 || k > 12) return i;
  return pool_to_species[k] < 0 ? -1 : base + pool_to_species[k];
}

void line(std::FILE* f, const char* label, double value, int extra = 0, const char* format = "%14.2lf") {
  print_summary_line(f, label, value, 50, format, '.', 14, extra);
}

// J1 and J3: the soil column in the event.
void write_event_soil(main_state& ms, std::FILE* f, int b) {
  const long n = ms.n_constituents;
  for (long i = 1; i <= n; ++i) {
    const int t = type_of(ms, i);
    balance e;
    e.in = at(ms.event_soil_mass_init, i) + at(ms.event_soil_infil_mass, i) + at(ms.event_soil_from_gw_mass, i);
    e.out = at(ms.event_soil_mass_final, i) + at(ms.event_soil_to_gw_mass, i);
    if (ms.water_table_on && (t == 2 || t == 3)) {
      const long k = partner_species(ms, i);
      if (k >= 1) e.out += at(ms.event_ov_exfil_mass, k);
    }
    if ((ms.contam_table_read && t == 1) || (ms.nutrients_on && (t == 2 || t == 3))) {
      if (t == 1) e.out += at(ms.event_soil_decay_mass, i);
      e.out += at(ms.event_soil_to_surface_mass, i);
      e.in += at(ms.event_surface_to_soil_mass, i);
    }
    if (ms.sed_contam_on) e.exchange(at(ms.event_soil_sed_exch_mass, i));
    store(ms.soil_mass_error, i, e.error(1e-16));
  }
  for (long i = 1; i <= n; ++i) {
    const int t = type_of(ms, i);
    std::fprintf(f, "\n\n");
    if (t >= 1 && t <= 3)
      std::fprintf(f, "Soil Contaminant Transport Summary for %s \n", label_of(ms, i, b, 1).c_str());
    std::fprintf(f, "\n");
    line(f, "Initial Mass in Soil Column", at(ms.event_soil_mass_init, i));
    line(f, "Final Mass in Soil Column", at(ms.event_soil_mass_final, i), 1);
    line(f, "Mass added by infiltration", at(ms.event_soil_infil_mass, i), 1);
    if (ms.water_table_on) line(f, "Exfiltration mass loss", at(ms.event_ov_exfil_mass, i));
    line(f, "Mass seepage to water table", at(ms.event_soil_to_gw_mass, i));
    if (ms.water_table_on) line(f, "Mass seepage from water table", at(ms.event_soil_from_gw_mass, i));
    if (ms.contam_table_read && t == 1) {
      line(f, "Soil decay mass", at(ms.event_soil_decay_mass, i));
      line(f, "Surface water exchange from soil", at(ms.event_soil_to_surface_mass, i));
      line(f, "Surface water exchange to soil", at(ms.event_surface_to_soil_mass, i));
    }
    if (ms.nutrients_on && (t == 2 || t == 3)) {
      line(f, "NSM surface water exchange from soil", at(ms.event_soil_to_surface_mass, i));
      line(f, "NSM surface water exchange to soil", at(ms.event_surface_to_soil_mass, i));
    }
    if (ms.sed_contam_on) line(f, "Sediment eroded(-)/deposited(+)", at(ms.event_soil_sed_exch_mass, i));
    std::fprintf(f, "\n");
    line(f, "Soil mass balance error %", at(ms.soil_mass_error, i), 0, "%14.4lf");
    if (ms.soil_static_conc_on)
      std::fprintf(f,
                   "When using static soil concentrations, mass balance errors represent implied additions to soil "
                   "top layer \n");
  }
}

// J2 and J4: the land surface in the event.
void write_event_overland(main_state& ms, std::FILE* f, int b) {
  const long n = ms.n_constituents;
  for (long i = 1; i <= n; ++i) {
    const int t = type_of(ms, i);
    balance e;
    if (t != 3) {
      e.in = at(ms.event_ov_point_mass, i) + at(ms.event_ov_mass_init, i) + at(ms.event_ov_precip_mass, i);
      e.out = at(ms.event_ov_infil_mass, i) + at(ms.OV_MASS_FINAL, i);
      if (ms.water_table_on) e.in += at(ms.event_ov_exfil_mass, i);
      if (ms.contam_table_read && t == 1) {
        e.out += at(ms.event_ov_decay_mass, i);
        if (ms.soil_contam_on) {
          e.out += at(ms.event_surface_to_soil_mass, i);
          e.in += at(ms.event_soil_to_surface_mass, i);
        } else {
          e.in += at(ms.event_ov_uptake_mass, i);
        }
      }
      if (!ms.channel_on) {
        e.out += at(ms.event_ov_mass_out, i);
        if (ms.sed_contam_on) e.out += at(ms.ov_sed_contam_out_mass, i);
      } else {
        e.out += at(ms.event_ov_qlat_mass, i);
      }
      if (ms.lakes_on) e.out += at(ms.event_ov_to_lake_mass, i);
      if (ms.sed_contam_on) e.exchange(at(ms.event_ov_sed_source_mass, i));
      if (ms.nutrients_on && t == 2) {
        e.out += at(ms.event_ov_nsm_loss_mass, i);
        e.in += at(ms.event_ov_nsm_gain_mass, i);
        if (ms.soil_contam_on) {
          e.out += at(ms.event_ov_decay_mass, i);
          e.in += at(ms.event_ov_uptake_mass, i);
        }
      }
    }
    store(ms.OV_MASS_ERROR, i, t == 3 ? 0.0 : e.error(1e-16));
  }
  for (long i = 1; i <= n; ++i) {
    const int t = type_of(ms, i);
    if (t == 3) continue;
    std::fprintf(f, "\n \n");
    if (t == 1 || t == 2)
      std::fprintf(f, "Overland Contaminant Transport Summary for %s \n", label_of(ms, i, b, 0).c_str());
    std::fprintf(f, "Amounts are total mass for event in (Kg) \n \n");
    line(f, "Initial Dissolved Mass on Overland", at(ms.event_ov_mass_init, i));
    line(f, "Final Dissolved Mass on Overland", at(ms.OV_MASS_FINAL, i));
    if (ms.sed_contam_on) {
      line(f, "Final attached to susp seds", at(ms.event_sed_contam_susp_final, i));
      line(f, "Final total (attached+dissolved)", at(ms.event_sed_contam_susp_final, i) + at(ms.OV_MASS_FINAL, i));
    }
    std::fprintf(f, "\n");
    if (ms.contam_table_read && !ms.soil_contam_on) {
      line(f, "Initial undissolved mass", at(ms.event_ov_land_mass, i));
      line(f, "Final undissolved mass", at(ms.OV_LAND_MASS_FINAL, i));
      std::fprintf(f, "\n");
    }
    line(f, "Point source mass gain", at(ms.event_ov_point_mass, i));
    if (ms.water_table_on) line(f, "Exfiltration gain", at(ms.event_ov_exfil_mass, i));
    line(f, "Precipitation gain", at(ms.event_ov_precip_mass, i));
    if (ms.contam_table_read && t == 1) line(f, "Uptake from soil", at(ms.event_ov_uptake_mass, i));
    if (ms.nutrients_on && ms.soil_contam_on && t == 2) line(f, "Uptake from soil (NSM)", at(ms.event_ov_uptake_mass, i));
    if (t == 2) line(f, "Gained from NSM kinetics", at(ms.event_ov_nsm_gain_mass, i), 0, "%14.4lf");
    std::fprintf(f, "\n");
    line(f, "Infiltration", at(ms.event_ov_infil_mass, i));
    if (ms.channel_on) line(f, "Lateral flow to streams", at(ms.event_ov_qlat_mass, i));
    else line(f, "Outlet flux", at(ms.event_ov_mass_out, i));
    if (ms.contam_table_read && t == 1) line(f, "Decay loss", at(ms.event_ov_decay_mass, i));
    if (t == 2) line(f, "Loss to NSM kinetics", at(ms.event_ov_nsm_loss_mass, i), 0, "%14.4lf");
    if (ms.lakes_on) line(f, "Flux to lake", at(ms.event_ov_to_lake_mass, i));
    line(f, "Negative mass", at(ms.event_ov_neg_mass, i));
    if (ms.sed_contam_on) {
      line(f, "Sediment source", at(ms.event_ov_sed_source_mass, i));
      std::fprintf(f, "\n");
      if (ms.channel_on) line(f, "Attached entering channels", at(ms.event_chan_sed_contam_in_mass, i));
      else line(f, "Attached exiting outlet", at(ms.ov_sed_contam_out_mass, i));
      if (ms.lakes_on) line(f, "Attached entering lakes", at(ms.event_ov_lake_sed_contam_mass, i));
    }
    std::fprintf(f, "\n");
    line(f, "Dissolved mass balance error %", at(ms.OV_MASS_ERROR, i), 0, "%14.4lf");
  }
  std::fprintf(f, "\n");
}

// J5: channels and lakes in the event.
void write_event_channels(main_state& ms, std::FILE* f, int b) {
  const long n = ms.n_constituents;
  for (long i = 1; i <= n; ++i) {
    const int t = type_of(ms, i);
    if (t == 3) continue;
    balance c;
    c.in = at(ms.event_chan_point_mass, i) + at(ms.event_chan_mass_init, i) + at(ms.event_chan_ov_mass, i) +
           at(ms.event_chan_gw_mass, i);
    c.out = at(ms.event_chan_decay_mass, i) + at(ms.event_chan_mass_final, i) + at(ms.event_chan_out_mass, i);
    if (ms.lakes_on) {
      c.in += at(ms.event_lake_to_chan_mass, i);
      c.out += at(ms.event_chan_to_lake_mass, i) + at(ms.event_lake_chan_exchange_mass, i);
    }
    if (ms.sed_contam_on) c.exchange(at(ms.event_chan_sed_exchange_mass, i));
    store(ms.chan_mass_error, i, n, c.error(0.0));
    std::fprintf(f, "\n \n");
    if (t == 1 || t == 2)
      std::fprintf(f, "Channel Contaminant Transport Summary for %s \n", label_of(ms, i, b, 0).c_str());
    std::fprintf(f, "Amounts are total for event in (Kg) \n \n");
    std::fprintf(f, "Dissolved State Mass Balance... \n \n");
    line(f, "Initial Dissolved Mass in Channels", at(ms.event_chan_mass_init, i));
    line(f, "Final Dissolved Mass in Channels", at(ms.event_chan_mass_final, i), 1);
    line(f, "Mass gain from overland", at(ms.event_chan_ov_mass, i));
    line(f, "Point source mass gain", at(ms.event_chan_point_mass, i));
    if (t == 2) line(f, "Mass gained in NSM kinetics", at(ms.event_chan_nsm_gain_mass, i), 1, "%14.4lf");
    if (ms.lakes_on) {
      line(f, "Flow from lake to channel", at(ms.event_lake_to_chan_mass, i));
      line(f, "Exchange with lakes (-)", at(ms.event_lake_chan_exchange_mass, i));
    }
    if (ms.stream_loss_on) line(f, "Groundwater net mass gain(+)/loss(-)", at(ms.event_chan_gw_mass, i));
    if (ms.sed_contam_on) line(f, "Exhange with sediments", at(ms.event_chan_sed_exchange_mass, i));
    if (ms.lakes_on) line(f, "Flows to lake", at(ms.event_chan_to_lake_mass, i));
    line(f, "Outlet mass flux", at(ms.event_chan_out_mass, i));
    if (ms.contam_table_read && t == 1) line(f, "Mass decay loss", at(ms.event_chan_decay_mass, i));
    if (t == 2) line(f, "Mass lost in NSM kinetics", at(ms.event_chan_nsm_loss_mass, i), 0, "%14.4lf");
    std::fprintf(f, "\n");
    line(f, "Contam mass balance error %", at(ms.chan_mass_error, i), 0, "%14.4lf");
    std::fprintf(f, "\n");
    if (ms.sed_contam_on) {
      std::fprintf(f, "Contaminants Attached to Sediment Mass Balance...\n \n");
      line(f, "Lateral flow into channels", at(ms.event_chan_sed_contam_in_mass, i));
      line(f, "Exiting watershed", at(ms.event_chan_sed_contam_out_mass, i));
      line(f, "Exchange with dissolved", at(ms.event_chan_sed_exchange_mass, i));
      line(f, "Attached to suspended sed", at(ms.event_chan_sed_contam_final, i));
      if (ms.lakes_on) line(f, "Attached entering lakes", at(ms.event_chan_lake_sed_contam_mass, i));
      line(f, "Total (dissolved+attached)", at(ms.event_chan_tot_mass_final, i), 0, "%14.4lf");
      std::fprintf(f, "\n");
    }
    if (!ms.lakes_on) continue;
    balance l;
    l.in = at(ms.event_lake_mass_init, i) + at(ms.event_lake_precip_mass, i) + at(ms.event_chan_to_lake_mass, i) +
           at(ms.event_ov_to_lake_mass, i) + at(ms.event_lake_gw_mass, i) + at(ms.event_lake_chan_exchange_mass, i);
    if (ms.sed_contam_on) l.in += at(ms.event_lake_sed_contam_source_mass, i);
    l.out = at(ms.event_lake_to_chan_mass, i) + at(ms.event_lake_mass_final, i) + at(ms.event_lake_decay_mass, i);
    store(ms.lake_mass_error, i, n, l.error(0.0));
    if (t == 1 || t == 2)
      std::fprintf(f, "Lake Contaminant Transport Summary for %s \n", label_of(ms, i, b, 0).c_str());
    std::fprintf(f, "Amounts are total mass for event (Kg) \n \n");
    std::fprintf(f, "Dissolved State Mass Balance...\n");
    line(f, "Initial Dissolved in Lakes", at(ms.event_lake_mass_init, i));
    line(f, "Final Dissolved in Lakes", at(ms.event_lake_mass_final, i));
    std::fprintf(f, "\n");
    line(f, "Precip", at(ms.event_lake_precip_mass, i));
    line(f, "Inflow", at(ms.event_chan_to_lake_mass, i));
    line(f, "Lake/chan exchange", at(ms.event_lake_chan_exchange_mass, i));
    line(f, "Overland flux", at(ms.event_ov_to_lake_mass, i));
    line(f, "Point source", at(ms.event_lake_point_mass, i));
    line(f, "Groundwater flux", at(ms.event_lake_gw_mass, i), 1);
    line(f, "Outflow", at(ms.event_lake_to_chan_mass, i));
    line(f, "Dissolved decay loss", at(ms.event_lake_decay_mass, i));
    if (ms.sed_contam_on) line(f, "Exchange with attached", at(ms.event_lake_sed_contam_source_mass, i));
    std::fprintf(f, "\n");
    line(f, "Dissolved mass balance error %", at(ms.lake_mass_error, i), 0, "%14.4lf");
    if (ms.sed_contam_on) {
      std::fprintf(f, "\n");
      line(f, "Overland inflow", at(ms.event_ov_lake_sed_contam_mass, i));
      line(f, "Channel inflow", at(ms.event_chan_lake_sed_contam_mass, i));
      line(f, "Exchange with dissolved", at(ms.event_lake_sed_contam_source_mass, i));
    }
    std::fprintf(f, "\n");
    for (long k = 1; k <= ms.n_lakes; ++k) {
      const bool have = i <= ms.lake_mass.size1() && k <= ms.lake_mass.size2();
      std::fprintf(f, "Final Mass in lake %ld =        %14.2lf \n", k, have ? ms.lake_mass[i][k] / 1000.0 : 0.0);
      std::fprintf(f, "Final Conc in lake (mg/L) %ld = %14.2lf \n \n", k,
                   i <= ms.lake_conc.size1() && k <= ms.lake_conc.size2() ? ms.lake_conc[i][k] : 0.0);
    }
  }
  std::fprintf(f, "\n");
}

}  // namespace

void write_event_constituent_budgets(main_state& ms) {
  std::FILE* f = ms.fs_summary.fp;
  if (f == nullptr) return;
  const int b = first_nutrient_of(ms);
  if (ms.soil_contam_on) write_event_soil(ms, f, b);
  if (ms.ov_contam_on) write_event_overland(ms, f, b);
  if (ms.chan_contam_on) write_event_channels(ms, f, b);
}


// Stage 2, step 5: the soil column over the run.
void write_run_soil_constituent_summary(main_state& ms, int first_nutrient) {
  std::FILE* f = ms.fs_summary.fp;
  if (f == nullptr) return;
  const long n = ms.n_constituents;
  std::fprintf(f, "Soil Contaminant Transport Summary \n \n");
  for (long l = 1; l <= n; ++l) {
    const int t = type_of(ms, l);
    double final_mass = 0.0;
    for (long c = 1; c <= ms.n_cells; ++c)
      for (long y = 1; y <= ms.n_soil_layers; ++y) final_mass += soil_layer_mass(ms.soil_mass, l, c, y) / 1000.0;
    if (l <= ms.event_soil_mass_final.size()) ms.event_soil_mass_final[l] += final_mass;
    if (l <= ms.GLOBAL_MASS_FINAL.size()) ms.GLOBAL_MASS_FINAL[l] += final_mass;
    balance e;
    e.in = at(ms.OV_LAND_MASS_INIT, l) + at(ms.soil_infil_mass_total, l) + at(ms.soil_seep_up_mass_total, l);
    e.out = at(ms.event_soil_mass_final, l) + at(ms.soil_seep_down_mass_total, l);
    if (ms.water_table_on) e.out += at(ms.soil_exfil_mass_total, l);
    if (ms.contam_table_read && t == 1) e.out += at(ms.soil_decay_mass_total, l) + at(ms.OV_UPTAKE_MASS, l);
    if (ms.nutrients_on && (t == 2 || t == 3))
      e.out += at(ms.soil_nsm_uptake_mass_total, l) + at(ms.soil_decay_mass_total, l);
    if (ms.sed_contam_on) e.exchange(at(ms.soil_sed_contam_mass_total, l));
    store(ms.soil_mass_error, l, e.error(1e-6));
    std::fprintf(f, "\n \n");
    std::fprintf(f, "Soil Constituent Transport Summary for %s \n", label_of(ms, l, first_nutrient, 1).c_str());
    std::fprintf(f, "\n");
    std::fprintf(f, "Initial Mass in Soil Column   %14.2lf \n", at(ms.OV_LAND_MASS_INIT, l));
    std::fprintf(f, "Final Mass in Soil Column     %14.2lf \n \n", at(ms.event_soil_mass_final, l));
    std::fprintf(f, "Mass added by infiltration    %14.2lf \n", at(ms.soil_infil_mass_total, l));
    std::fprintf(f, "Mass seepage up from GW       %14.2lf \n \n", at(ms.soil_seep_up_mass_total, l));
    if (ms.contam_table_read && t == 1) {
      std::fprintf(f, "Uptake from soil              %14.2lf \n", at(ms.OV_UPTAKE_MASS, l));
      std::fprintf(f, "Soil decay mass               %14.2lf \n", at(ms.soil_decay_mass_total, l));
    }
    if (ms.nutrients_on && (t == 2 || t == 3)) {
      std::fprintf(f, "Uptake from soil (NSM)        %14.2lf \n", at(ms.soil_nsm_uptake_mass_total, l));
      std::fprintf(f, "NSM decay mass               %14.2lf \n", at(ms.soil_decay_mass_total, l));
    }
    if (ms.water_table_on) std::fprintf(f, "Exfiltration mass loss        %14.2lf \n", at(ms.soil_exfil_mass_total, l));
    std::fprintf(f, "Mass seepage down to GW       %14.2lf \n \n", at(ms.soil_seep_down_mass_total, l));
    if (ms.sed_contam_on)
      std::fprintf(f, "Sediment eroded(-)/deposited  %14.2lf \n \n", at(ms.soil_sed_contam_mass_total, l));
    std::fprintf(f, "Soil mass balance error       %14.4lf percent \n", at(ms.soil_mass_error, l));
    if (ms.soil_static_conc_on)
      std::fprintf(f,
                   "When using static soil concentrations, mass balance errors represent implied additions to soil "
                   "top layer \n");
    std::fprintf(f, "\n");
  }
}

// Stage 2, step 6: the land surface over the run.
void write_run_overland_constituent_summary(main_state& ms, int first_nutrient) {
  std::FILE* f = ms.fs_summary.fp;
  if (f == nullptr) return;
  const long n = ms.n_constituents;
  const double area = ms.dx * ms.dx;
  std::fprintf(f, "\n\n *************   Overland Transport Summaries   **************** \n\n");
  for (long l = 1; l <= n; ++l) {
    const double* conc = ms.ov_constituent_conc.row(l);
    const double* load = ms.ov_mass_load_table.row(l);
    const long conc_cells = conc ? ms.ov_constituent_conc.cols() : 0;
    const long load_cells = load ? ms.ov_mass_load_table.cols() : 0;
    double dissolved = 0.0, land = 0.0;
    for (long m = 1; m <= ms.n_cells; ++m) {
      if (ms.lakes_on && m <= ms.lake_mask.size() && ms.lake_mask[m] != 0) continue;
      if (m <= conc_cells && m <= ms.ov_depth.size()) dissolved += ms.ov_depth[m] * conc[m] * area / 1000.0;
      if (m <= load_cells) land += load[m] / 1000.0;
    }
    double attached = 0.0;
    if (ms.sed_contam_on)
      for (long m = 1; m <= ms.n_cells; ++m)
        if (m <= ms.ov_sed_vol_susp.size1() && l <= ms.sed_contam_class_conc.size1() &&
            m <= ms.sed_contam_class_conc.size2() && !ms.ov_sed_vol_susp.empty())
          attached += ms.ov_sed_vol_susp[m][0] * ms.sed_contam_class_conc[l][m][0] / 1000.0;
    if (l <= ms.OV_MASS_FINAL.size()) ms.OV_MASS_FINAL[l] += dissolved;
    if (l <= ms.OV_LAND_MASS_FINAL.size()) ms.OV_LAND_MASS_FINAL[l] += land;
    if (l <= ms.GLOBAL_MASS_FINAL.size()) ms.GLOBAL_MASS_FINAL[l] += dissolved + (ms.soil_contam_on ? 0.0 : land) + attached;
    if (ms.sed_contam_on) {
      store(ms.event_sed_contam_susp_final, l, attached);
      if (!ms.channel_on && l <= ms.GLOBAL_MASS_OUT.size()) ms.GLOBAL_MASS_OUT[l] += at(ms.ov_sed_contam_out_total, l);
    }
  }
  for (long m = 1; m <= n; ++m) {
    const int t = type_of(ms, m);
    balance e;
    e.in = at(ms.OV_POINT_MASS, m) + at(ms.OV_MASS_INIT, m) + at(ms.OV_PRECIP_MASS, m);
    if (ms.water_table_on) e.in += at(ms.OV_EXFIL_MASS, m);
    e.out = at(ms.OV_INFIL_MASS, m) + at(ms.OV_MASS_FINAL, m);
    const bool uptake = (ms.contam_table_read && t == 1) || (ms.nutrients_on && t == 2);
    if (uptake) {
      const double u = at(ms.OV_UPTAKE_MASS, m);
      if (u > 1e-16) e.in += u;
      else e.out -= u;
    }
    if (!ms.channel_on) e.out += at(ms.OV_MASS_OUT, m);
    if (ms.contam_table_read && t == 1) e.out += at(ms.OV_MASS_DECAY, m);
    if (ms.channel_on) e.out += at(ms.OV_QLAT_MASS, m);
    if (ms.lakes_on) e.out += at(ms.ov_to_lake_mass_total, m);
    if (ms.nutrients_on && t == 2) {
      e.out += at(ms.ov_nsm_loss_mass_total, m);
      e.in += at(ms.ov_nsm_gain_mass_total, m);
    }
    if (ms.sed_contam_on) e.exchange(at(ms.ov_sed_contam_source_total, m));
    store(ms.OV_MASS_ERROR, m, e.error(1e-16));
    std::fprintf(f, "\n\n");
    if (t == 1)
      std::fprintf(f, "Overland Constituent Transport Summary for Constituent %5ld (%s)\n", m,
                   label_of(ms, m, first_nutrient, 0).c_str());
    else if (t == 2)
      std::fprintf(f, "Overland Constituent Transport Summary for %s \n", label_of(ms, m, first_nutrient, 0).c_str());
    else if (t == 3)
      continue;
    std::fprintf(f, "Amounts are total for simulations in (Kg) \n \n");
    std::fprintf(f, "Initial Dissolved mass on ov  %14.2lf \n", at(ms.OV_MASS_INIT, m));
    std::fprintf(f, "Final Dissolved mass on ov    %14.2lf \n", at(ms.OV_MASS_FINAL, m));
    std::fprintf(f, "\n");
    if (!ms.soil_contam_on) {
      std::fprintf(f, "Initial undissolved mass      %14.2lf \n", at(ms.OV_LAND_MASS_INIT, m));
      std::fprintf(f, "Final undissolved mass        %14.2lf \n", at(ms.OV_LAND_MASS_FINAL, m));
      std::fprintf(f, "\n");
    }
    std::fprintf(f, "Point source mass gain        %14.2lf \n", at(ms.OV_POINT_MASS, m));
    if (ms.water_table_on) std::fprintf(f, "Exfiltration mass gain        %14.2lf \n", at(ms.OV_EXFIL_MASS, m));
    std::fprintf(f, "Precipitation mass gain       %14.2lf \n", at(ms.OV_PRECIP_MASS, m));
    if (uptake) std::fprintf(f, "Uptake from soil              %14.2lf \n", at(ms.OV_UPTAKE_MASS, m));
    if (ms.sed_contam_on) std::fprintf(f, "Sediment source               %14.2lf \n", at(ms.ov_sed_contam_source_total, m));
    std::fprintf(f, "\n");
    std::fprintf(f, "Mass loss to infiltration     %14.2lf \n", at(ms.OV_INFIL_MASS, m));
    if (ms.channel_on) std::fprintf(f, "Mass loss to stream           %14.2lf \n", at(ms.OV_QLAT_MASS, m));
    std::fprintf(f, "Outlet mass flux              %14.2lf \n", at(ms.OV_MASS_OUT, m));
    if (ms.contam_table_read && t == 1) std::fprintf(f, "Mass decay loss on overland   %14.2lf \n", at(ms.OV_MASS_DECAY, m));
    if (ms.nutrients_on && t == 2) {
      std::fprintf(f, "Mass gained from NSM kinetics   %14.4lf \n", at(ms.ov_nsm_gain_mass_total, m));
      std::fprintf(f, "Mass lost to NSM kinetics       %14.4lf \n", at(ms.ov_nsm_loss_mass_total, m));
    }
    if (ms.lakes_on) std::fprintf(f, "Lateral flow to lake          %14.2lf \n", at(ms.ov_to_lake_mass_total, m));
    std::fprintf(f, "\n");
    if (ms.sed_contam_on) {
      std::fprintf(f, "Attached to susp sediments    %14.2lf \n", at(ms.event_sed_contam_susp_final, m));
      if (ms.channel_on) std::fprintf(f, "Attached entering streams     %14.2lf \n", at(ms.chan_sed_contam_in_total, m));
      else std::fprintf(f, "Attached exiting watershed    %14.2lf \n", at(ms.ov_sed_contam_out_total, m));
    }
    std::fprintf(f, "\n");
    std::fprintf(f, "Contam mass balance error       %14.4lf percent \n", at(ms.OV_MASS_ERROR, m));
  }
}

// Stage 2, step 7: channels and lakes over the run.
void write_run_channel_constituent_summary(main_state& ms, int first_nutrient) {
  std::FILE* f = ms.fs_summary.fp;
  if (f == nullptr) return;
  const long n = ms.n_constituents;
  std::fprintf(f, "\n\n *************   Channel Transport Summaries   **************** \n\n");
  for (long l = 1; l <= n; ++l) {
    const int t = type_of(ms, l);
    balance c;
    c.in = at(ms.chan_point_mass_total, l) + at(ms.chan_mass_init_total, l) + at(ms.chan_ov_mass_total, l) +
           at(ms.chan_gw_mass_total, l);
    c.out = at(ms.chan_out_mass_total, l) + at(ms.event_chan_mass_final, l);
    if (ms.lakes_on) {
      c.in += at(ms.lake_to_chan_mass_total, l);
      c.out += at(ms.chan_to_lake_mass_total, l) + at(ms.lake_chan_exchange_mass_total, l);
    }
    if (ms.contam_table_read && t == 1) c.out += at(ms.chan_decay_mass_total, l);
    if (ms.nutrients_on && t == 2) {
      c.in += at(ms.chan_nsm_gain_mass_total, l);
      c.out += at(ms.chan_nsm_loss_mass_total, l);
      if (ms.lakes_on) {
        c.in += at(ms.lake_nsm_gain_mass_total, l);
        c.out += at(ms.lake_nsm_loss_mass_total, l);
      }
    }
    if (ms.sed_contam_on) c.exchange(at(ms.chan_sed_exchange_mass_total, l));
    store(ms.chan_mass_error, l, n, c.error(1e-16));
    std::fprintf(f, "\n \n");
    if (t == 1) std::fprintf(f, "Channel Contaminant Transport Summary for Contaminant %5ld \n", l);
    else if (t == 2)
      std::fprintf(f, "Channel Contaminant Transport Summary for %s \n", label_of(ms, l, first_nutrient, 0).c_str());
    std::fprintf(f, "Amounts are total for simulations in (Kg) \n \n");
    std::fprintf(f, "Dissolved\n");
    std::fprintf(f, "Initial Mass in Channels      %14.2lf \n", at(ms.chan_mass_init_total, l));
    std::fprintf(f, "Final Mass in Channels        %14.2lf \n \n", at(ms.event_chan_mass_final, l));
    std::fprintf(f, "Mass gain from overland       %14.2lf \n", at(ms.chan_ov_mass_total, l));
    std::fprintf(f, "Point source mass gain        %14.2lf \n", at(ms.chan_point_mass_total, l));
    if (ms.lakes_on) std::fprintf(f, "Flux from lake                %14.2lf \n", at(ms.lake_to_chan_mass_total, l));
    if (ms.stream_loss_on) std::fprintf(f, "Groundwater mass gain/loss    %14.2lf \n \n", at(ms.chan_gw_mass_total, l));
    std::fprintf(f, "Outlet mass flux              %14.2lf \n", at(ms.chan_out_mass_total, l));
    if (ms.contam_table_read && t == 1) std::fprintf(f, "Mass decay loss               %14.2lf \n", at(ms.chan_decay_mass_total, l));
    if (ms.nutrients_on && t == 2) {
      std::fprintf(f, "Mass gained from NSM kinetics   %14.6lf \n", at(ms.chan_nsm_gain_mass_total, l));
      std::fprintf(f, "Mass lost to NSM kinetics       %14.6lf \n", at(ms.chan_nsm_loss_mass_total, l));
    }
    if (ms.lakes_on) {
      std::fprintf(f, "Flux to lake                  %14.2lf \n", at(ms.chan_to_lake_mass_total, l));
      std::fprintf(f, "Exchange with lake            %14.2lf \n", at(ms.lake_chan_exchange_mass_total, l));
    }
    if (ms.sed_contam_on) std::fprintf(f, "Exchange with sediment        %14.2lf \n", at(ms.chan_sed_exchange_mass_total, l));
    std::fprintf(f, "\n");
    std::fprintf(f, "Dissolved mass balance error       %14.4lf percent \n", at(ms.chan_mass_error, l));
    std::fprintf(f, "\n");
    std::fprintf(f, "Attached\n");
    if (ms.sed_contam_on) {
      std::fprintf(f, "Lateral flow into channels    %14.2lf \n", at(ms.chan_sed_contam_in_total, l));
      std::fprintf(f, "Final suspended               %14.2lf \n", at(ms.event_chan_sed_contam_final, l));
      std::fprintf(f, "Exchange with dissolved       %14.2lf \n", -at(ms.chan_sed_exchange_mass_total, l));
      std::fprintf(f, "Exiting outlet                %14.2lf \n", at(ms.chan_sed_contam_out_total, l));
    }
    std::fprintf(f, "\n");
    if (!ms.lakes_on) continue;
    balance k;
    k.in = at(ms.chan_to_lake_mass_total, l) + at(ms.lake_mass_init_total, l) + at(ms.lake_point_mass_total, l) +
           at(ms.ov_to_lake_mass_total, l) + at(ms.lake_precip_mass_total, l) + at(ms.lake_chan_exchange_mass_total, l);
    if (ms.m_lake_on) k.in += at(ms.lake_gw_mass_total, l);
    k.out = at(ms.lake_to_chan_mass_total, l) + at(ms.lake_final_mass, l);
    if (ms.contam_table_read && t == 1) k.out += at(ms.lake_decay_mass_total, l);
    store(ms.lake_mass_error_total, l, n, k.error(0.0));
    std::fprintf(f, "\n \n");
    std::fprintf(f, "Lake Contaminant Transport Summary for Constituent %5ld \n", l);
    std::fprintf(f, "Amounts are total for simulations in (Kg) \n \n");
    std::fprintf(f, "Initial Mass in Lakes         %14.2lf \n", at(ms.lake_mass_init_total, l));
    std::fprintf(f, "Final Mass in Lakes           %14.2lf \n \n", at(ms.lake_final_mass, l));
    std::fprintf(f, "Mass gain from overland       %14.2lf \n", at(ms.ov_to_lake_mass_total, l));
    std::fprintf(f, "Mass channel trib inflow      %14.2lf \n", at(ms.chan_to_lake_mass_total, l));
    std::fprintf(f, "Mass lake outlet flow         %14.2lf \n", at(ms.lake_to_chan_mass_total, l));
    std::fprintf(f, "Lake chan exchange mass       %14.2lf \n", at(ms.lake_chan_exchange_mass_total, l));
    std::fprintf(f, "Point source mass gain        %14.2lf \n", at(ms.lake_point_mass_total, l));
    std::fprintf(f, "Groundwater mass gain/loss    %14.2lf \n \n", at(ms.lake_gw_mass_total, l));
    std::fprintf(f, "Precip mass flux              %14.2lf \n", at(ms.lake_precip_mass_total, l));
    std::fprintf(f, "Mass decay loss               %14.2lf \n \n", at(ms.lake_decay_mass_total, l));
    std::fprintf(f, "Contam mass balance error       %14.4lf percent \n \n", at(ms.lake_mass_error_total, l));
    for (long m = 1; m <= ms.n_lakes; ++m) {
      std::fprintf(f, "Final Mass in lake %ld = %14.2lf \n", m,
                   l <= ms.lake_mass.size1() && m <= ms.lake_mass.size2() ? ms.lake_mass[l][m] / 1000.0 : 0.0);
      std::fprintf(f, "Final Conc in lake %ld = %14.2lf \n \n", m,
                   l <= ms.lake_conc.size1() && m <= ms.lake_conc.size2() ? ms.lake_conc[l][m] : 0.0);
    }
  }
}

// Stage 2, step 8: the whole watershed over the run.
void write_run_global_constituent_summary(main_state& ms, int first_nutrient) {
  std::FILE* f = ms.fs_summary.fp;
  if (f == nullptr) return;
  std::fprintf(f, "\n\n *************   Global Transport Summaries   **************** \n\n");
  for (long l = 1; l <= ms.n_constituents; ++l) {
    const int t = type_of(ms, l);
    balance g;
    g.in = at(ms.GLOBAL_MASS_INIT, l) + at(ms.GLOBAL_POINT_SOURCE, l) + at(ms.global_precip_mass, l);
    g.out = at(ms.GLOBAL_MASS_OUT, l) + at(ms.GLOBAL_MASS_FINAL, l);
    if (ms.contam_table_read && t == 1) g.out += at(ms.GLOBAL_MASS_DECAY, l);
    double kinetics = 0.0;
    if (ms.nutrients_on && t == 2) {
      double gain = at(ms.ov_nsm_gain_mass_total, l), loss = at(ms.ov_nsm_loss_mass_total, l);
      if (!ms.chan_nsm_gain_mass_total.empty()) {
        gain += at(ms.chan_nsm_gain_mass_total, l);
        loss += at(ms.chan_nsm_loss_mass_total, l);
      }
      kinetics = gain - loss;
      g.in += gain;
      g.out += loss;
    }
    if (ms.channel_on && (ms.water_table_on || ms.stream_loss_on)) {
      const double gw = at(ms.GLOBAL_GW_MASS, l);
      if (gw > 0.0) {
        g.in += gw;
      } else {
        g.out -= gw;
        if (l <= ms.GLOBAL_MASS_OUT.size()) ms.GLOBAL_MASS_OUT[l] -= gw;
      }
    }
    if (ms.soil_contam_on) {
      g.in += at(ms.soil_seep_up_mass_total, l);
    } else {
      if (ms.water_table_on) g.in += at(ms.OV_EXFIL_MASS, l);
      g.out += at(ms.OV_INFIL_MASS, l);
      if (l <= ms.GLOBAL_MASS_OUT.size()) ms.GLOBAL_MASS_OUT[l] += at(ms.OV_INFIL_MASS, l);
    }
    store(ms.GLOBAL_MASS_CON_ERROR, l, g.error(0.0));
    std::fprintf(f, "\n \n");
    if (t == 1) std::fprintf(f, "Contaminant Transport Global Summary for Contaminant %5ld \n", l);
    else if (t == 2)
      std::fprintf(f, "Contaminant Transport Global Summary for %s \n", label_of(ms, l, first_nutrient, 0).c_str());
    std::fprintf(f, "Amounts are total for simulations in (Kg) \n \n");
    std::fprintf(f, "Total initial mass            %14.2lf \n", at(ms.GLOBAL_MASS_INIT, l));
    std::fprintf(f, "Total final Mass              %14.2lf \n \n", at(ms.GLOBAL_MASS_FINAL, l));
    std::fprintf(f, "Point source inputs           %14.2lf\n", at(ms.GLOBAL_POINT_SOURCE, l));
    std::fprintf(f, "Precipitation inputs          %14.2lf \n", at(ms.global_precip_mass, l));
    std::fprintf(f, "Flux from GW to streams       %14.2lf \n", at(ms.GLOBAL_GW_MASS, l));
    if (ms.soil_contam_on)
      std::fprintf(f, "Soil mass in from groundwater %14.2lf \n \n", at(ms.soil_seep_up_mass_total, l));
    std::fprintf(f, "Total mass out of system      %14.2lf \n \n", at(ms.GLOBAL_MASS_OUT, l));
    if (ms.contam_table_read && t == 1) std::fprintf(f, "Mass decay loss               %14.2lf \n", at(ms.GLOBAL_MASS_DECAY, l));
    if (ms.nutrients_on && t == 2) std::fprintf(f, "NSM gain/loss                 %14.2lf \n", kinetics);
    std::fprintf(f, "\n");
    std::fprintf(f, "Contam mass balance error       %14.4lf percent \n", at(ms.GLOBAL_MASS_CON_ERROR, l));
  }
}

// Stage 2, step 9: the nutrient kinetics' mass changes over the run.
void write_run_nutrient_rates_summary(main_state& ms) {
  std::FILE* f = ms.fs_summary.fp;
  if (f == nullptr) return;
  const nsm_model* m = ms.nsm;
  std::fprintf(f, "NSM dm/dt Summary\n");
  std::fprintf(f, "  Total dm/dt in:  %14.4lf\n", m ? m->dmdt_in_total : 0.0);
  std::fprintf(f, "  Total dm/dt out: %14.4lf\n\n", m ? m->dmdt_out_total : 0.0);
}

}  // namespace kavro
