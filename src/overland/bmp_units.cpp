#include "overland/bmp_units.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "input/special_tables.h"
#include "overland/overland_steps.h"

namespace kavro {

namespace {

constexpr double gravity = 9.81;
constexpr double cm_h_to_m_s = 1.0 / 360000.0;

double slope_of(const dvec& s, long i) { return s.size() >= i ? s[i] : 0.0; }

}  // namespace

double bmp_flow(int type, double coef, double head, double available, double step_s, double slope_x, double slope_y,
                double roughness) {
  if (!(available > 1e-16)) return 0.0;
  double v = 0.0;
  switch (type) {
    case 1: v = coef / 100.0 * available; break;
    case 2: v = coef * step_s; break;
    case 3: {
      const double h = 2.0 / 3.0 * head;
      v = coef * h * std::sqrt(gravity * h) * step_s;
      break;
    }
    case 4:
      v = roughness > 0.0 ? std::pow(slope_x * slope_x + slope_y * slope_y, 0.25) / roughness *
                                std::pow(head, 5.0 / 3.0) * coef * step_s
                          : 0.0;
      break;
    default: v = 0.0;
  }
  return std::clamp(v, 0.0, available);
}

double bmp_evaporation_rate(double t, double rh, double wind) {
  // Saturation pressure with the constants 6.11 and 17.3 and T + 273.3 as
  // the units were calibrated with.
  return 6.11 * std::exp(17.3 * t / (t + 273.3)) * (1.0 - rh / 100.0) * (wind * 0.001 * 86400.0 * 1.69e-4) /
         8640000.0;
}

bool build_bmp_units(main_state& ms, const bmp_table_columns& t) {
  if (!ms.bmp_list) ms.bmp_list = std::make_unique<bmp_record>();
  bmp_record& b = *ms.bmp_list;
  const double cell_area = ms.dx * ms.dx;
  int n = 0;
  bool ok = true;
  for (long i = 1; i <= ms.n_cells; ++i) {
    if (t.unit_type[i] <= 0.0) continue;
    ++n;
    if (t.area[i] > cell_area) {
      std::printf("Error: the BMP on cell %ld has an area of %lf m2, larger than the cell (%lf m2).\n", i, t.area[i],
                  cell_area);
      ok = false;
    }
  }
  b.n_units = n;
  b.units.allocate(n);
  b.unit_of_cell.allocate(ms.n_cells);
  b.underdrain_vol.allocate(ms.n_cells);
  int k = 0;
  for (long i = 1; i <= ms.n_cells; ++i) {
    if (t.unit_type[i] <= 0.0) continue;
    bmp_unit& u = b.units[++k];
    u.unit_type = static_cast<int>(t.unit_type[i]);
    u.cell = static_cast<int>(i);
    u.inflow_type = static_cast<int>(t.inflow_type[i]);
    u.outflow_type = static_cast<int>(t.outflow_type[i]);
    u.area = t.area[i];
    u.max_depth = t.max_depth_mm[i] / 1000.0;
    u.seepage_rate = t.seepage_cm_h[i];
    u.inflow_coef = t.inflow_coef[i];
    u.outflow_coef = t.outflow_coef[i];
    u.underdrain_coef = t.underdrain_pct[i] / 100.0;
    u.trap_efficiency = t.trap_efficiency[i];
    b.unit_of_cell[i] = k;
  }
  if (!ok) {
    std::printf("A BMP may not be larger than the grid cell it sits on.  Program exiting on error.\n");
    error_rec.code = already_printed_code;
  }
  return ok;
}

double bmp_rain_share(main_state& ms, long i, double d) {
  if (!ms.ov_bmp_on || !ms.bmp_list || ms.bmp_list->unit_of_cell.size() < i) return d;
  bmp_record& b = *ms.bmp_list;
  const int k = b.unit_of_cell[i];
  if (k <= 0) return d;
  bmp_unit& u = b.units[k];
  const double caught = d * u.area;
  u.storage += caught;
  u.vol_rain += caught;
  b.event_vol_precip += caught;
  b.total_vol_precip += caught;
  return d * (1.0 - u.area / (ms.dx * ms.dx));
}

bmp_step_result bmp_unit_balance(main_state& ms, int k, double step_s, double evap_rate) {
  bmp_unit& u = ms.bmp_list->units[k];
  const long c = u.cell;
  const double cell_area = ms.dx * ms.dx;
  const double h = ms.ov_depth[c];
  const double sx = slope_of(ms.slope_x, c), sy = slope_of(ms.slope_y, c);
  const double n = ms.dist_rough.size() >= c ? ms.dist_rough[c] : 0.0;
  bmp_step_result r;

  r.inflow = bmp_flow(u.inflow_type, u.inflow_coef, h, h * cell_area, step_s, sx, sy, n);
  u.storage += r.inflow;

  const double loss = u.seepage_rate * cm_h_to_m_s * u.area * step_s;
  r.loss = std::min(loss, u.storage);
  u.storage -= r.loss;

  if (u.storage > u.area * u.max_depth + 1e-16 && u.area > 0.0) {
    r.outflow = bmp_flow(u.outflow_type, u.outflow_coef, u.storage / u.area, u.storage, step_s, sx, sy, n);
    u.storage -= r.outflow;
  }
  if (u.area > 1e-16) {
    r.evaporation = std::min(std::sqrt(u.area / 1000000.0) * evap_rate * u.area * step_s, u.storage);
    r.evaporation = std::max(r.evaporation, 0.0);
    u.storage -= r.evaporation;
  }
  ms.ov_depth[c] -= (r.inflow - r.outflow) / cell_area;

  if (u.underdrain_coef > 1e-16 && u.area > 0.0) {
    u.underdrain_store += r.loss;
    const double s = u.underdrain_store;
    const double drained =
        std::pow(s / (u.area * u.underdrain_coef) / 0.45, 6.285714285714286) * u.seepage_rate * cm_h_to_m_s * u.area *
        step_s;
    r.underdrain = std::min(s, drained);
    u.underdrain_store -= r.underdrain;
  } else {
    r.underdrain = r.loss;
  }
  return r;
}

void bmp_step(main_state& ms) {
  if (!(std::fabs(ms.next_bmp_time - ms.now) < ms.time_tol)) return;
  const double step_s = seconds_between(ms.precip_period_start, ms.now);
  if (ms.ov_bmp_on && ms.bmp_list) {
    bmp_record& b = *ms.bmp_list;
    b.bmp_active = 0;
    const auto& w = ms.hmet_record;
    const double e = ms.long_term_on && w.hmet_air_temp > 1e-16
                         ? bmp_evaporation_rate(w.hmet_air_temp, w.hmet_rel_humidity, w.hmet_wind_speed)
                         : 0.0;
    for (int k = 1; k <= b.n_units; ++k) {
      const bmp_step_result r = bmp_unit_balance(ms, k, step_s, e);
      bmp_unit& u = b.units[k];
      u.vol_in += r.inflow;
      u.vol_out += r.outflow;
      u.vol_loss += r.loss;
      u.vol_evap += r.evaporation;
      u.vol_underdrain += r.underdrain;
      b.underdrain_vol[u.cell] = r.underdrain;
      if (r.outflow > 1e-16) b.bmp_active = 1;
      b.event_vol_from_ov += r.inflow;
      b.event_vol_to_ov += r.outflow;
      b.event_vol_seep += r.underdrain;
      b.event_vol_other += r.evaporation;
      b.total_vol_from_ov += r.inflow;
      b.total_vol_to_ov += r.outflow;
      b.total_vol_seep += r.underdrain;
      b.total_vol_evap += r.evaporation;
    }
  }
  ms.last_bmp_time = ms.now;
  ms.next_bmp_time = ms.now + ms.bmp_interval_days;
}

}  // namespace kavro

namespace kavro {

void setup_bmps(main_state& ms) {
  if (!ms.ov_bmp_on) return;
  ms.bmp_list = std::make_unique<bmp_record>();
  if (!ms.quiet) std::printf("Reading BMP properties table from mapping table file\n");
  if (ms.fs_summary.is_open()) std::fprintf(ms.fs_summary.fp, "Reading BMP properties table from mapping table file\n");
  if (!ms.mapping_table_on || ms.mapping_table_path.empty()) {
    std::printf("Error: the OV_BMP card needs the BMPS table of a mapping-table file (card MAPPING_TABLE),\n");
    std::printf("but the project names no mapping-table file.  Program exiting on error.\n");
    error_rec.code = already_printed_code;
    return;
  }
  bmp_table_columns t;
  const std::array<dvec*, 10> dest{&t.unit_type,    &t.inflow_type,  &t.outflow_type, &t.area,
                                   &t.max_depth_mm, &t.seepage_cm_h, &t.inflow_coef,  &t.outflow_coef,
                                   &t.underdrain_pct, &t.trap_efficiency};
  for (dvec* d : dest) d->allocate(ms.n_cells);
  if (!read_bmp_table(ms, dest, nullptr, ms.n_constituents)) return;
  build_bmp_units(ms, t);
}

}  // namespace kavro
