// Speed of the hourly snow model: 1,000 x 1,000 cells under snow, seeded
// weather (-10 to +8 C), 24 model hours of the temperature-index model with
// one melt packet, each hour followed by twelve 300 s melt releases. It
// prints cell-hours per second of the per-cell model and of the release
// (one release step counts as a twelfth of a cell-hour), with one thread and
// with all threads, and beside them a plain loop over the same arrays
// measured in the same run: the weather read and swe, the precipitation
// history, the heat deficit, the liquid water, the packet and the waiting
// melt each updated by one multiply-add. Last, the layered pack's rate.
#include <omp.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>

#include "framework/main_state.h"
#include "hydromet/snow_model.h"

namespace {

using kavro::main_state;
constexpr long n_cells = 1000L * 1000L;
constexpr int hours = 24;

std::unique_ptr<main_state> make_snowy_grid() {
  auto ms = std::make_unique<main_state>();
  main_state& m = *ms;
  m.n_cells = n_cells;
  m.dx = 30.0;
  m.long_term_on = 1;
  m.nwsrfs_snow_on = 1;
  m.snap_mode_value = 1;
  for (kavro::dvec* v : {&m.swe, &m.swe_scaled, &m.H_Val, &m.ATI_2, &m.D_2, &m.Wq, &m.Wi, &m.snowpack_temp,
                         &m.snow_density, &m.snow_last_air_temp, &m.snow_melt_to_ov, &m.temper_gridded,
                         &m.rh_gridded, &m.pres_gridded, &m.vel_gridded, &m.eff_temp_gridded, &m.snow_mf_max,
                         &m.snow_mf_min, &m.snow_fr_use, &m.snow_tipm, &m.snow_nmf, &m.snow_plwhc, &m.ov_depth,
                         &m.canopy_snow})
    v->allocate(n_cells);
  m.melt_occurred.allocate(n_cells);
  m.SNOW_PRECIP_6HR.allocate(n_cells, 8);
  m.sn_stat.allocate(n_cells, 23);
  m.snap_kavro_params.allocate(n_cells, 11);
  m.Melt_Waves.allocate(n_cells, 6, 3);
  m.wave.allocate(n_cells, 51, 5);
  std::mt19937 gen(5u);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (long i = 1; i <= n_cells; ++i) {
    m.swe[i] = 0.05 + 0.1 * unit(gen);
    m.swe_scaled[i] = 5.0 * m.swe[i];
    m.temper_gridded[i] = -10.0 + 18.0 * unit(gen);
    m.rh_gridded[i] = 40.0 + 50.0 * unit(gen);
    m.pres_gridded[i] = 1000.0;
    m.vel_gridded[i] = 5.0 * unit(gen);
    m.snow_mf_max[i] = 6.0, m.snow_mf_min[i] = 2.0, m.snow_fr_use[i] = 1.0, m.snow_tipm[i] = 0.5;
    m.snow_nmf[i] = 3.6, m.snow_plwhc[i] = 0.04;
    double* p = m.snap_kavro_params[i];
    p[3] = 3.0, p[4] = 0.67, p[5] = 40.0, p[6] = 10.0, p[7] = 0.05, p[8] = 3600.0, p[9] = 0.3, p[11] = 0.077;
  }
  m.hmet_record.month = 3, m.hmet_record.day = 25;
  return ms;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct rates {
  double model = 0, release = 0, plain = 0, layered = 0;
};

rates measure(int threads) {
  omp_set_num_threads(threads);
  auto ms = make_snowy_grid();
  main_state& m = *ms;
  rates r;
  double t_model = 0, t_release = 0;
  for (int h = 0; h < hours; ++h) {
    auto t0 = std::chrono::steady_clock::now();
    kavro::snow_cell_model(m, 3600.0, *kavro::month_day_offset(3, 25));
    t_model += seconds_since(t0);
    t0 = std::chrono::steady_clock::now();
    for (int step = 0; step < 12; ++step) {
#pragma omp parallel for schedule(static)
      for (long i = 1; i <= n_cells; ++i) kavro::release_cell_melt(m, i, 300.0);
    }
    t_release += seconds_since(t0);
  }
  r.model = n_cells * static_cast<double>(hours) / t_model;
  r.release = n_cells * static_cast<double>(hours) / t_release;
  // The plain loop: the same arrays, one multiply-add each.
  auto t0 = std::chrono::steady_clock::now();
  for (int h = 0; h < hours; ++h) {
#pragma omp parallel for schedule(static)
    for (long i = 1; i <= n_cells; ++i) {
      const double T = m.temper_gridded[i] + m.rh_gridded[i] * 1e-6 + m.vel_gridded[i] * 1e-6;
      m.swe[i] = m.swe[i] * 0.999999 + 1e-9 * T;
      m.SNOW_PRECIP_6HR[i][1] = m.SNOW_PRECIP_6HR[i][1] * 0.5 + 1e-9;
      m.D_2[i] = m.D_2[i] * 0.5 + 1e-9 * T;
      m.Wq[i] = m.Wq[i] * 0.5 + 1e-9;
      m.Melt_Waves[i][1][1] = m.Melt_Waves[i][1][1] * 0.5 + 1e-9;
      m.snow_melt_to_ov[i] = m.snow_melt_to_ov[i] * 0.5 + 1e-9;
    }
  }
  r.plain = n_cells * static_cast<double>(hours) / seconds_since(t0);
  // The layered pack, fresh calls of one hour.
  const long layered_cells = n_cells / 10;
  t0 = std::chrono::steady_clock::now();
#pragma omp parallel for schedule(static)
  for (long i = 1; i <= layered_cells; ++i) {
    m.sn_stat[i][21] = 0.0;
    kavro::snowpack_layer_step(m, i, 0.1, m.temper_gridded[i], m.rh_gridded[i], m.vel_gridded[i]);
  }
  r.layered = static_cast<double>(layered_cells) / seconds_since(t0);
  return r;
}

}  // namespace

int main() {
  const int all = omp_get_max_threads();
  const rates one = measure(1);
  const rates many = measure(all);
  std::printf("snow model, %ld cells x %d hours (cell-hours per second)\n", n_cells, hours);
  std::printf("%-28s %14s %14s %9s\n", "", "1 thread", "all threads", "speed-up");
  const auto line = [](const char* name, double a, double b) {
    std::printf("%-28s %14.4g %14.4g %9.2f\n", name, a, b, b / a);
  };
  line("snow_cell_model", one.model, many.model);
  line("melt release (12 steps/h)", one.release, many.release);
  line("plain loop", one.plain, many.plain);
  line("layered pack (calls/s)", one.layered, many.layered);
  std::printf("model: plain loop / model per cell-hour on 1 thread %.2f (target at most 4)\n", one.plain / one.model);
  std::printf("release: plain loop / release per cell-hour on 1 thread %.2f (target at most 2)\n",
              one.plain / one.release);
  std::printf("speed-up of the model / of the plain loop %.2f, of the release %.2f (target at least 0.8)\n",
              (many.model / one.model) / (many.plain / one.plain),
              (many.release / one.release) / (many.plain / one.plain));
  std::printf("threads: %d\n", all);
  return 0;
}
