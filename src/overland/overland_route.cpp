// The overland routing step: once per overland interval it decides whether
// any water can move, calls the chosen solver, books the outlet water, keeps
// the maximum depth, advances the overland schedule, checks the depths and
// ends an event run whose runoff is complete.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_routing.h"
#include "framework/error_record.h"
#include "framework/event_volumes.h"
#include "framework/main_state.h"
#include "framework/run_clock.h"
#include "overland/overland_flow.h"
#include "overland/overland_grid_view.h"
#include "overland/overland_steps.h"
#include "transport/transport_seams.h"

namespace kavro {

namespace {

constexpr double seconds_per_day = 86400.0;

// Result of a scan of the depths and face flows.
struct wet_scan {
  int wet = 0;            // some cell holds water
  int flowing = 0;        // some face carries flow
  long n_flowing = 0;     // cells with a flowing face
  long n_can_flow = 0;    // cells outside channel lakes
  long first_nan = 0;     // first cell with a NaN depth, 0 for none
};

wet_scan scan_cells(const main_state& ms) {
  wet_scan s;
  const long n = ms.n_cells;
  const double* h = ms.ov_depth.data();
  const double* qx = ms.ov_qx.data();
  const double* qy = ms.ov_qy.data();
  const bool olake = ms.overland_lake_on && !ms.oland_lake_new.empty();
  const bool clake = ms.lakes_on && !ms.lake_mask.empty();
  long n_wet = 0, n_flowing = 0, n_lake = 0, first_nan = n + 1;
#pragma omp parallel for schedule(static) reduction(+ : n_wet, n_flowing, n_lake) reduction(min : first_nan) if (n >= parallel_min_items)
  for (long i = 1; i <= n; ++i) {
    if (olake && ms.oland_lake_new[i] > 0) continue;
    if (clake && ms.lake_mask[i] > 0) {
      ++n_lake;
      continue;
    }
    if (h[i] > 1e-16) ++n_wet;
    if (std::fabs(qx[i]) > 1e-16 || std::fabs(qy[i]) > 1e-16) ++n_flowing;
    if (std::isnan(h[i]) && i < first_nan) first_nan = i;
  }
  s.wet = n_wet > 0;
  s.flowing = n_flowing > 0;
  s.n_flowing = n_flowing;
  s.n_can_flow = n - n_lake;
  s.first_nan = first_nan <= n ? first_nan : 0;
  return s;
}

// The step's flags from a scan; false (error reported) on a NaN depth.
bool scan_and_check(main_state& ms, wet_scan& s, const char* when) {
  ms.ov_cells_wet = ms.ov_faces_flowing = 0;
  if (ms.snow_calibrate_on == 1) {
    if (ms.n_cells >= 1) ms.ov_depth[1] = 0.0;
    s = wet_scan{};
    return true;
  }
  s = scan_cells(ms);
  if (s.first_nan > 0) {
    std::printf("A non-real overland flow water depth has been detected in cell %ld %s.\n", s.first_nan, when);
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return false;
  }
  ms.ov_cells_wet = s.wet;
  ms.ov_faces_flowing = s.flowing;
  return true;
}

// Snow roughness of long-term runs: the snow value under snow, the loaded
// roughness elsewhere.
void apply_snow_roughness(main_state& ms) {
  if (!ms.long_term_on || ms.snow_roughness_on != 1 || ms.swe.empty() || ms.dist_rough_copy.empty()) return;
  for (long i = 1; i <= ms.n_cells; ++i)
    ms.dist_rough[i] = ms.swe[i] > 1e-16 ? ms.snow_roughness_value : ms.dist_rough_copy[i];
}

// An event run whose rain has ended and whose cells are dry ends when the
// channels hold less than 1e-4 of the event's rain.
void end_completed_runoff(main_state& ms) {
  if (ms.long_term_on || ms.ov_cells_wet || ms.qln_on || ms.channel_on != 1) return;
  ms.vol_channel_final = channel_water_volume(ms, false);
  if (ms.vol_channel_final >= ms.vol_precip * 1e-4) return;
  if (ms.fs_summary.is_open()) {
    std::fprintf(ms.fs_summary.fp, "Rainfall for this event ended. Runoff is complete\n");
    std::fflush(ms.fs_summary.fp);
  }
  ms.event_active = 0;
  ms.event_done = 1;
  ms.keep_running = 0;
  std::printf("Event %3d is over due to completion of runoff \n", ms.event_no);
}

// Long-term runs jump over dry periods to the next rain event.
void jump_to_next_event(main_state& ms) {
  if (!ms.long_term_on || ms.any_exfil || ms.overbank_flow_on || ms.ov_faces_flowing) return;
  if (ms.ov_bmp_on) return;  // a storage unit may still release water
  if (ms.event_no < 1 || ms.event_no > ms.event_start_times.size()) return;
  ms.runoff_active = 0;
  ms.precip_period_end = ms.event_start_times[ms.event_no];
  ms.qout = 0.0;
  ms.precip_period_start = ms.precip_period_end - ms.precip_period;
  const bool soil_between = ms.richards_on || ms.gw_simulation_on || ms.inf_redist_on;
  if (soil_between && ms.ov_cells_wet) {
    ms.next_infil_time = ms.next_lt_et_time;
    ms.infil_interval = ms.lt_et_interval;
    ms.infil_interval_days = ms.lt_et_interval_days;
    ms.next_et_time = ms.next_infil_time;
    ms.et_interval = ms.infil_interval;
    ms.et_interval_days = ms.infil_interval_days;
  } else {
    ms.next_infil_time = ms.precip_period_end;
    ms.last_infil_time = ms.precip_period_start;
  }
  if (ms.gw_simulation_on) {
    const double g = ms.gw_timestep;
    // While the channel network still carries water the groundwater keeps
    // its schedule; otherwise it restarts on its own time step.
    const bool present = ms.chan_active != 0;
    if (ms.infil_interval > g) {
      if (!present) {
        ms.gw_interval = g;
        ms.gw_interval_days = g / seconds_per_day;
        ms.next_gw_time = std::min(ms.now, ms.next_lt_et_time);
      }
      ms.infil_interval = ms.gw_interval;
      ms.infil_interval_days = ms.gw_interval_days;
      ms.next_infil_time = ms.now + ms.gw_interval_days;
    } else if (!present) {
      ms.gw_interval = g;
      ms.gw_interval_days = g / seconds_per_day;
      ms.next_gw_time = ms.now;
    }
  }
  if (ms.ov_contam_on) {
    ms.next_ov_contam_time = ms.next_infil_time;
    ms.ov_contam_interval = ms.infil_interval;
    ms.ov_contam_interval_days = ms.infil_interval_days;
  }
}

}  // namespace

overland_grid_view make_overland_view(main_state& ms) {
  overland_grid_view g;
  g.n = ms.n_cells;
  g.dx = ms.dx;
  g.z = ms.elevation.data();
  g.right = ms.rightcon.data();
  g.below = ms.belowcon.data();
  g.left = ms.leftcon.data();
  g.above = ms.abovecon.data();
  g.ret = ms.retent_dep.data();
  g.rough = ms.dist_rough.data();
  g.kexp = ms.roughness_exp.data();
  g.dike_on = ms.dike_on && !ms.dike_mask.empty();
  g.dike = ms.dike_mask.data();
  g.olake_on = ms.overland_lake_on && !ms.oland_lake_new.empty() && ms.n_olakes > 0;
  g.olake_id = ms.oland_lake_new.data();
  g.olakes = ms.olake_table.data();
  g.clake_on = ms.lakes_on && !ms.lake_mask.empty() && ms.n_lakes > 0;
  g.lmask = ms.lake_mask.data();
  g.lelev = ms.lake_elev.data();
  g.wet_on = ms.wetlands_on && !ms.wetland_mask.empty();
  g.wmask = ms.wetland_mask.data();
  g.wet = ms.wetland_table.data();
  g.snow_on = ms.route_lat_snow_on == 1 && !ms.swe.empty() && !ms.snap_kavro_params.empty();
  g.swe = ms.swe.data();
  g.snap = ms.snap_kavro_params.empty() ? nullptr : ms.snap_kavro_params.rows();
  g.snow_darcy = ms.snow_darcy;
  g.block_on = ms.ovr_flow_block_on && !ms.ovr_flow_block.empty() && !ms.ovr_flow_block_frac.empty();
  g.bfrac = ms.ovr_flow_block_frac.empty() ? nullptr : ms.ovr_flow_block_frac.rows();
  g.bcell = ms.ovr_flow_block.data();
  g.bnd_on = ms.ov_boundary_on && !ms.boundary_type.empty();
  g.btype = ms.boundary_type.data();
  g.general = g.dike_on || g.olake_on || g.clake_on || g.wet_on || g.snow_on || g.block_on || g.bnd_on;
  return g;
}

void prepare_overland_arrays(main_state& ms) {
  const long n = ms.n_cells;
  if (n <= 0 || ms.ov_vol_x.size() == n) return;
  for (dvec* v : {&ms.ov_qx, &ms.ov_qy})
    if (v->size() != n) v->allocate(n);
  for (dvec* v : {&ms.ov_vol_x, &ms.ov_vol_y, &ms.ov_depth_pred, &ms.ov_q_pred,
                  &ms.ov_clip, &ms.explicit_saved_depth, &ms.ov_outflow_depth, &ms.boundary_value})
    v->allocate(n);
  for (dvec* v : {&ms.ov_aux_depth, &ms.ov_depth_new, &ms.ov_mann_exp})
    if (v->size() != n) v->allocate(n);
  ms.ov_face_flag.allocate(n);
  if (ms.n_olakes > 0) ms.olake_dv.allocate(ms.n_olakes);
  if (ms.n_lakes > 0) {
    ms.explicit_saved_lake_elev.allocate(ms.n_lakes);
    ms.explicit_saved_lake_volume.allocate(ms.n_lakes);
  }
  // Four values per chunk: the ADE stability scan keeps an index and a cell
  // per direction.
  ms.ov_sum_chunks.assign(static_cast<size_t>(4 * sum_chunk_count(1, n)), 0.0);
}

double take_clipped(main_state& ms, long n_clipped) {
  if (n_clipped == 0) return 0.0;
  double* clip = ms.ov_clip.data();
  const double area = ms.dx * ms.dx;
  const double made = fixed_chunk_sum(1, ms.n_cells, [&](long i) { return clip[i] * area; }, ms.ov_sum_chunks);
  std::fill(clip, clip + ms.n_cells + 1, 0.0);
  return made;
}

void depth_varied_roughness(long count, const dvec& n, const dvec& k, const dvec& h, dvec& out) {
  const double* nn = n.data();
  const double* kk = k.data();
  const double* hh = h.data();
  double* o = out.data();
#pragma omp parallel for schedule(static) if (count >= parallel_min_items)
  for (long i = 1; i <= count; ++i) o[i] = nn[i] * std::exp(-kk[i] * hh[i]);
}

void track_max(const dvec& source, dvec& destination, long n) {
  const double* s = source.data();
  double* d = destination.data();
#pragma omp parallel for schedule(static) if (n >= parallel_min_items)
  for (long i = 1; i <= n; ++i) d[i] = std::max(d[i], s[i]);
}

void overland_route_step(main_state& ms) {
  if (std::fabs(ms.now - ms.precip_period_end) >= ms.time_tol) return;
  // The span the rain step booked, to the millisecond: a span taken from the
  // difference of two day numbers is off by up to 1e-5 s, and the outlet
  // would drain over a span other than the one the rain fell in.
  const double dt = seconds_between(ms.precip_period_start, ms.now);
  ms.ov_outlet_vol = 0.0;
  if (ms.n_cells > 0 && !ms.ov_depth.empty()) {
    prepare_overland_arrays(ms);
    apply_snow_roughness(ms);
    wet_scan s;
    if (!scan_and_check(ms, s, "after applying overland boundary conditions and overland pumping")) return;
    // With channels the outlet discharge is the channel routing's: it keeps
    // its value between channel steps.
    if (ms.channel_on == 0) ms.qout = 0.0;
    // The lake-activity flag tells of this step's exchange only: the channel
    // interval of a dry spell shortens while lakes trade water with cells.
    ms.lake_overland_exchange_on = 0;
    if (book_lake_exchange(ms, false)) ms.lake_overland_exchange_on = 1;
    if (ms.ov_cells_wet || ms.ov_faces_flowing) {
      if (ms.overtype == 1) {
        ov_route_explicit(ms, dt);
      } else if (ov_route_ade(ms, dt) < 0.0) {
        return;
      }
      const double v = ms.ov_outlet_vol;
      if (ms.overtype == 2 && !ms.lakes_on && !ms.overland_lake_on) {
        // The face flows that the next call's stability estimate and the
        // outputs read: mean discharge over the span.
        double* qx = ms.ov_qx.data();
        double* qy = ms.ov_qy.data();
        const double* vx = ms.ov_vol_x.data();
        const double* vy = ms.ov_vol_y.data();
#pragma omp parallel for schedule(static) if (ms.n_cells >= parallel_min_items)
        for (long i = 1; i <= ms.n_cells; ++i) {
          qx[i] = vx[i] / dt;
          qy[i] = vy[i] / dt;
        }
      }
      if (ms.flood_grid_on && !ms.flood_depth_max.empty()) track_max(ms.ov_depth, ms.flood_depth_max, ms.n_cells);
      ms.ov_toggle = ms.ov_toggle == 1 ? 2 : 1;
      if (ms.channel_on == 0) {
        ms.vol_discharge_acc += v;
        ms.vol_discharge_total += v;
        if (ms.ov_contam_on) ms.ov_outlet_vol_con += v;
        ms.qout = v / dt;
      }
      ++ms.ov_route_count;
      ++ms.n_ov_routings;
    }
    if (s.n_can_flow > 0 && static_cast<double>(s.n_flowing) / static_cast<double>(s.n_can_flow) > 1e-16 &&
        ms.sed_control.erosion_on == 1 && ms.sed_transport_mode == 1) {
      ov_sediment_transport(ms, dt);
      book_overland_sediment_step(ms);
    }
    if (ms.overland_lake_on) ms.olake_event_flag = 1;
    if (book_lake_exchange(ms, false)) ms.lake_overland_exchange_on = 1;
  }
  ms.precip_period_start = ms.now;
  ms.precip_period_end = ms.now + ms.precip_period;
  if (ms.rain_active || ms.n_cells <= 0 || ms.ov_depth.empty()) return;
  wet_scan s;
  if (!scan_and_check(ms, s, "after overland flow routing")) return;
  end_completed_runoff(ms);
  jump_to_next_event(ms);
}

}  // namespace kavro
