#include "overland/overland_lakes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "overland/overland_steps.h"

namespace kavro {

namespace {

constexpr double same_elevation = 0.0001;  // candidates closer than this (m) join together

using entry_list = std::vector<std::pair<double, int>>;

// A group of candidates of (nearly) one elevation.
struct elevation_group {
  double elev = 0;   // first elevation of the group (m)
  int cumulative = 0;  // candidates in this and the earlier groups
};

std::vector<elevation_group> group_elevations(const entry_list& sorted, bool descending) {
  std::vector<elevation_group> groups;
  for (size_t k = 0; k < sorted.size(); ++k) {
    const double e = descending ? -sorted[k].first : sorted[k].first;
    if (groups.empty() || std::fabs(e - groups.back().elev) >= same_elevation) {
      const int before = groups.empty() ? 0 : groups.back().cumulative;
      groups.push_back({e, before});
    }
    ++groups.back().cumulative;
  }
  return groups;
}

struct lake_context {
  main_state& ms;
  int lake;
  double area;  // cell area (m2)
};

// Cells that neighbour lake E across an open face (no embankment on the
// lake cell's face) and whose water surface lies below the tentative level,
// with their water-surface elevations; a neighbour of several lake cells
// appears once per face.
entry_list rise_candidates(const lake_context& c, double tentative) {
  main_state& ms = c.ms;
  entry_list found;
  const ivec* neighbours[4] = {&ms.abovecon, &ms.rightcon, &ms.belowcon, &ms.leftcon};
  constexpr int face_bit[4] = {1, 2, 4, 8};
  for (long cell = 1; cell <= ms.n_cells; ++cell) {
    if (ms.oland_lake_new[cell] != c.lake) continue;
    for (int f = 0; f < 4; ++f) {
      const int n = (*neighbours[f])[cell];
      if (n <= 0 || ms.oland_lake_new[n] != 0) continue;
      if (ms.dike_on && ms.dike_mask.size() >= cell && (ms.dike_mask[cell] & face_bit[f])) continue;
      const double surface = ms.ov_depth[n] + ms.elevation[n];
      if (tentative > surface) found.emplace_back(surface, n);
    }
  }
  return found;
}

bool candidates_huge(const olake& lk, size_t n) {
  if (n <= 4 * static_cast<size_t>(lk.n_lake_cells) + 4) return false;
  std::printf("The candidate set is HUGE in olake_extent.  Sorry, but your DEM has\n");
  std::printf("too many grids with exactly the same elevation!  You should impose\n");
  std::printf("a little slope on your DEM in the lake region.  Program stopped.\n");
  error_rec.code = already_printed_code;
  return true;
}

void join_lake(const lake_context& c, int n, double& joined_water) {
  main_state& ms = c.ms;
  joined_water += ms.ov_depth[n] * c.area;
  ms.ov_depth[n] = 0.0;
  ms.oland_lake_new[n] = c.lake;
  ++ms.olake_table[c.lake].n_lake_cells;
}

// The lake rises by G > 0 over its cells and the candidates below its level.
bool lake_rise(const lake_context& c, double tentative) {
  main_state& ms = c.ms;
  olake& lk = ms.olake_table[c.lake];
  const double G = lk.step_inflow, H = lk.n_lake_cells, A = c.area;
  entry_list cand = rise_candidates(c, tentative);
  if (candidates_huge(lk, cand.size())) return false;
  sort2(cand);
  if (cand.empty()) {
    lk.level = tentative;
    lk.volume += G;
    ms.vol_into_ov_lakes_total += G;
    return true;
  }
  double joined = 0.0;
  if (cand.size() == 1) {
    lk.level = (cand[0].first + H * tentative) / (H + 1.0);
    join_lake(c, cand[0].second, joined);
    lk.volume += G + joined;
    ms.vol_into_ov_lakes_total += G + joined;
    return true;
  }
  const auto groups = group_elevations(cand, false);
  const size_t M = groups.size();
  // V[m]: volume that raises the lake and the candidates below to group m.
  double V = (groups[0].elev - lk.level) * H * A;
  size_t m = 0;
  for (; m + 1 < M; ++m) {
    const double next = V + (groups[m].cumulative + H) * (groups[m + 1].elev - groups[m].elev) * A;
    if (next > G) break;
    V = next;
  }
  const double new_level = groups[m].elev + (G - V) / ((groups[m].cumulative + H) * A);
  for (const auto& [surface, n] : cand)
    if (ms.elevation[n] < new_level && ms.oland_lake_new[n] == 0) join_lake(c, n, joined);
  lk.level = new_level;
  lk.volume += G + joined;
  ms.vol_into_ov_lakes_total += G + joined;
  return true;
}

// The lake falls by -G > 0; the cells it took in are given up, highest
// ground first, as the level drops below them. Its map cells stay.
bool lake_fall(const lake_context& c, double tentative) {
  main_state& ms = c.ms;
  olake& lk = ms.olake_table[c.lake];
  const double G = lk.step_inflow, H = lk.n_lake_cells, A = c.area;
  ms.vol_from_ov_lakes_total -= G;
  entry_list added;  // (-(ground), cell): highest ground first
  bool any_above = false;
  for (long cell = 1; cell <= ms.n_cells; ++cell) {
    if (ms.oland_lake_new[cell] != c.lake) continue;
    if (ms.elevation[cell] > tentative) any_above = true;
    if (ms.oland_lake_mask[cell] < 1) added.emplace_back(-ms.elevation[cell], static_cast<int>(cell));
  }
  if (added.empty() || !any_above) {
    lk.level = tentative;
    lk.volume += G;
    return true;
  }
  sort2(added);
  const auto groups = group_elevations(added, true);
  const size_t M = groups.size();
  double R = (lk.level - groups[0].elev) * H * A;
  size_t m = 0;
  for (; m + 1 < M; ++m) {
    const double next = R + (H - groups[m].cumulative) * (groups[m].elev - groups[m + 1].elev) * A;
    if (next + G > 0.0) break;
    R = next;
  }
  const double remaining = H - groups[m].cumulative;
  if (remaining <= 0.0) {
    std::printf("Not enough volume in lake %d to satisfy drainage demand.\n", c.lake);
    std::printf("Program stopped in olake_extent.c\n");
    error_rec.code = already_printed_code;
    return false;
  }
  const double new_level = groups[m].elev + (R + G) / (remaining * A);
  for (const auto& [key, n] : added) {
    if (ms.elevation[n] > new_level) {
      ms.oland_lake_new[n] = 0;
      --lk.n_lake_cells;
    }
  }
  lk.level = new_level;
  lk.volume += G;
  return true;
}

}  // namespace

void sort2(entry_list& entries) {
  std::sort(entries.begin(), entries.end());
  entries.erase(std::unique(entries.begin(), entries.end(),
                            [](const auto& a, const auto& b) { return a.second == b.second; }),
                entries.end());
}

void olake_extent(main_state& ms) {
  const double A = ms.dx * ms.dx;
  for (int E = 1; E <= ms.n_olakes; ++E) {
    olake& lk = ms.olake_table[E];
    const double G = lk.step_inflow;
    if (lk.n_lake_cells <= 0) continue;
    const double ag = G / (lk.n_lake_cells * A);
    const double tentative = lk.level + ag;
    const lake_context c{ms, E, A};
    if (lk.initial_level > tentative) {
      // The level never falls below its initial level; the outflow the
      // solvers already gave is still booked.
      lk.level = lk.initial_level;
      lk.volume += G;
      ms.vol_from_ov_lakes_total -= G;
      continue;
    }
    if (std::fabs(ag) < 1e-10) {
      lk.volume += G;
      (G >= 0.0 ? ms.vol_into_ov_lakes_total : ms.vol_from_ov_lakes_total) += std::fabs(G);
      continue;
    }
    const bool ok = ag > 0.0 ? lake_rise(c, tentative) : lake_fall(c, tentative);
    if (!ok) return;
  }
}

void olake_step(main_state& ms) {
  if (!ms.overland_lake_on || !ms.olake_event_flag) return;
  const double A = ms.dx * ms.dx;
  double v = 0.0;
  for (long cell = 1; cell <= ms.n_cells; ++cell) {
    const int L = ms.oland_lake_new[cell];
    if (L > 0) v += (ms.olake_table[L].level - ms.elevation[cell]) * A;
  }
  ms.vol_ov_lakes_step = v;
  olake_extent(ms);
  for (int E = 1; E <= ms.n_olakes; ++E) ms.olake_table[E].step_inflow = 0.0;
  ms.olake_event_flag = 0;
}

}  // namespace kavro
