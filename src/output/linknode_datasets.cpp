// Link/node datasets: one value per computational node of every channel (or
// superlink) link at each output time, in the layout a network viewer reads:
// a five-line header, then one "TS" block per output time with one line per
// link.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "framework/run_clock.h"
#include "output/map_writers.h"
#include "output/output_steps.h"

namespace kavro {

namespace {

constexpr std::array<std::string_view, 32> linknode_kind = {
    "KAVRO_LINKNODE_STREAM_DEPTH\n",       "KAVRO_LINKNODE_STREAM_FLOW\n",
    "KAVRO_LINKNODE_STREAM_STAGE\n",       "KAVRO_LINKNODE_STREAM_VELOCITY\n",
    "KAVRO_LINKNODE_FLOOD_STREAM_DEPTH\n", "KAVRO_LINKNODE_SUPERLINK_FLOW\n",
    "KAVRO_LINKNODE_SUPERLINK_HEAD\n",     "KAVRO_LINKNODE_SUPERLINK_TILE_FLOW\n",
    "KAVRO_LINKNODE_NO2_MASS\n",           "KAVRO_LINKNODE_NO3_MASS\n",
    "KAVRO_LINKNODE_NH4_MASS\n",           "KAVRO_LINKNODE_ON_MASS\n",
    "KAVRO_LINKNODE_OP_MASS\n",            "KAVRO_LINKNODE_DP_MASS\n",
    "KAVRO_LINKNODE_ALG_MASS\n",           "KAVRO_LINKNODE_CBOD_MASS\n",
    "KAVRO_LINKNODE_DO_MASS\n",            "KAVRO_LINKNODE_NO2_CONC\n",
    "KAVRO_LINKNODE_NO3_CONC\n",           "KAVRO_LINKNODE_NH4_CONC\n",
    "KAVRO_LINKNODE_ON_CONC\n",            "KAVRO_LINKNODE_OP_CONC\n",
    "KAVRO_LINKNODE_DP_CONC\n",            "KAVRO_LINKNODE_ALG_CONC\n",
    "KAVRO_LINKNODE_CBOD_CONC\n",          "KAVRO_LINKNODE_DO_CONC\n",
    "KAVRO_LINKNODE_MASS\n",               "KAVRO_LINKNODE_CONCENTRATION\n",
    "KAVRO_LINKNODE_TOTAL_NITROGEN\n",     "KAVRO_LINKNODE_TOTAL_KJELDAHL_NITROGEN\n",
    "KAVRO_LINKNODE_TOTAL_PHOSPHORUS\n",   "KAVRO_LINKNODE_STREAM_SED_FLUX\n",
};

// Link type bits of `ltype`.
constexpr int ltype_sections = 4 | 8 | 16;
constexpr int ltype_lake = 32;
constexpr int ltype_structure = 64;

constexpr const char* missing_pair = "0  -999.999   ";

// A run's own link/node dataset: its condition, file and kind.
struct linknode_dataset_row {
  bool (*on)(const main_state&);
  file_wrapper& (*file)(main_state&);
  int kind;
  bool superlink;
};

const std::array<linknode_dataset_row, 9> linknode_dataset_rows = {{
    {[](const main_state& m) { return m.chan_depth_on != 0 && m.channel_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.chan_depth_file; }, 0, false},
    {[](const main_state& m) { return m.channel_on != 0 && m.chan_sed_flux_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.chan_sed_flux_file; }, 31, false},
    {[](const main_state& m) { return m.chan_discharge_on != 0 && m.channel_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.chan_discharge_file; }, 1, false},
    {[](const main_state& m) { return m.chan_stage_on != 0 && m.channel_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.chan_stage_file; }, 2, false},
    {[](const main_state& m) { return m.chan_velocity_on != 0 && m.channel_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.chan_velocity_file; }, 3, false},
    {[](const main_state& m) { return m.flood_stream_on != 0; },
     [](main_state& m) -> file_wrapper& { return m.flood_stream_file; }, 4, false},
    {[](const main_state& m) { return m.storm_sewer_on != 0 && m.project_params.use_pipe_flow != 0; },
     [](main_state& m) -> file_wrapper& { return m.pipe_flow_file; }, 5, true},
    {[](const main_state& m) { return m.storm_sewer_on != 0 && m.project_params.use_pipe_head != 0; },
     [](main_state& m) -> file_wrapper& { return m.pipe_head_file; }, 6, true},
    {[](const main_state& m) { return m.storm_sewer_on != 0 && m.project_params.use_pipe_tile != 0; },
     [](main_state& m) -> file_wrapper& { return m.pipe_tile_file; }, 7, true},
}};

long at_or_zero(const ivec* v, long i) { return v != nullptr && i >= 1 && i <= v->size() ? (*v)[i] : 0; }

// [node][link] entry, 0 outside the table.
double cell_of(const dmat& m, long node, long link) {
  return node >= 0 && node <= m.size1() && link >= 0 && link <= m.size2() ? m[node][link] : 0.0;
}

}  // namespace

std::string_view linknode_kind_line(int kind) {
  return kind >= 0 && kind < static_cast<int>(linknode_kind.size()) ? linknode_kind[static_cast<size_t>(kind)]
                                                                     : std::string_view{};
}

void write_linknode_header(std::FILE* out, int kind, int n_links, int time_step_min, int n_steps, int day, int month,
                           int year, int hour, int minute) {
  const std::string_view line = linknode_kind_line(kind);
  if (!line.empty()) std::fwrite(line.data(), 1, line.size(), out);
  std::fprintf(out, "NUM_LINKS     %d\n", n_links);
  std::fprintf(out, "TIME_STEP     %d\n", time_step_min);
  std::fprintf(out, "NUM_TS        %d\n", n_steps);
  std::fprintf(out, "START_TIME    %2d %2d %4d %2d %2d %2d\n", day, month, year, hour, minute, 0);
}

void write_linknode_step(file_wrapper& file, int n_links, const ivec& valid_nodes, const ivec* written_nodes,
                         const ivec& link_types, int step, const dmat& first, const dmat* second, int mode,
                         const ivec& lake_of_link, const dvec& lake_values) {
  if (!file.is_open()) return;
  std::FILE* out = file.fp;
  std::fprintf(out, "TS    %d\n", step);
  for (long i = 1; i <= n_links; ++i) {
    const long type = at_or_zero(&link_types, i);
    if (type & ltype_lake) {
      const long lake = at_or_zero(&lake_of_link, i);
      if (mode == 0 || lake < 1 || lake > lake_values.size()) std::fputs(missing_pair, out);
      else std::fprintf(out, "-1 %6.5lf   ", lake_values[lake]);
    }
    if (type & ltype_structure) {
      if (mode == 0) std::fprintf(out, "-2  %6.5lf   ", cell_of(first, 1, i));
      else std::fputs(missing_pair, out);
    }
    if (type & ltype_sections) {
      const long valid = at_or_zero(&valid_nodes, i);
      const long shown = written_nodes != nullptr ? at_or_zero(written_nodes, i) : valid;
      std::fprintf(out, "%ld   ", shown);
      for (long j = 1; j <= shown; ++j) {
        if (j > valid) {
          std::fputs(missing_pair, out);
          continue;
        }
        double v = cell_of(first, j, i);
        if (mode == 1 && second != nullptr) {
          v -= cell_of(*second, j, i);
        } else if (mode == 2 && second != nullptr) {
          // Discharge over flow area; a dry node has no velocity.
          const double a = cell_of(*second, j, i);
          v = a > 1e-7 ? v / a : 0.0;
        }
        std::fprintf(out, "1  %6.5lf   ", v);
      }
    }
    std::fputc('\n', out);
  }
  std::fputc('\n', out);
}

namespace {

// The interval (whole minutes) and the block count of the run's headers.
struct header_counts {
  int time_step = 0;
  int n_steps = 0;
};

header_counts counts_of(const main_state& ms) {
  header_counts h;
  h.time_step = static_cast<int>(ms.hyd_interval_steps * ms.dt / 60.0);
  // Under a minute the interval shows as 0; the block count is then the
  // run's duration over the interval, as the time-series step writes it.
  const double interval_s = ms.hyd_interval_steps * ms.dt;
  h.n_steps = h.time_step > 0 ? ms.sim_duration_min / h.time_step
              : interval_s > 0 ? static_cast<int>(ms.sim_duration_min * 60.0 / interval_s)
                               : 0;
  return h;
}

}  // namespace

void write_linknode_headers(main_state& ms) {
  const auto [time_step, n_steps] = counts_of(ms);
  for (const linknode_dataset_row& row : linknode_dataset_rows) {
    if (!row.on(ms)) continue;
    file_wrapper& f = row.file(ms);
    if (!f.is_open()) continue;
    write_linknode_header(f.fp, row.kind, row.superlink ? ms.n_sl_links : ms.LINKS, time_step, n_steps, ms.cur_day,
                          ms.cur_month, ms.cur_year, ms.cur_hour, ms.cur_minute);
  }
}

void date_linknode_headers(main_state& ms) {
  // The headers were written before the start of a run driven by a gauge
  // file was known: their START_TIME line is written again in its place,
  // with the same widths.
  const calendar_instant c = calendar_date(ms.now);
  const auto [time_step, n_steps] = counts_of(ms);
  for (const linknode_dataset_row& row : linknode_dataset_rows) {
    if (!row.on(ms)) continue;
    file_wrapper& f = row.file(ms);
    if (!f.is_open()) continue;
    const long before = static_cast<long>(linknode_kind_line(row.kind).size()) +
                        static_cast<long>(format_string("NUM_LINKS     %d\n", row.superlink ? ms.n_sl_links : ms.LINKS).size() +
                                          format_string("TIME_STEP     %d\n", time_step).size() +
                                          format_string("NUM_TS        %d\n", n_steps).size());
    std::fflush(f.fp);
    if (std::fseek(f.fp, before, SEEK_SET) != 0) continue;
    std::fprintf(f.fp, "START_TIME    %2d %2d %4d %2d %2d %2d\n", c.day, c.month, c.year, c.hour, c.minute, 0);
    std::fseek(f.fp, 0, SEEK_END);
  }
}

linknode_writer::~linknode_writer() {
  if (lake_bad_range) std::printf("Error: bad range addressed in array %s\n", lake_out.name().c_str());
}

void linknode_writer::set_node_source(int kind, const dmat* source, const ivec* valid, const ivec* written,
                                      const ivec* types, const dmat* second, const ivec* lake_of_link_,
                                      const dvec* lake_values_, int n_lakes, int n_links_, int stride_) {
  set_link_source(kind, nullptr, valid, written, types, second, lake_of_link_, lake_values_, n_lakes, n_links_,
                  stride_);
  node_source = source;
  source_kind = 2;
}

void linknode_writer::set_link_source(int kind, const double* source, const ivec* valid, const ivec* written,
                                      const ivec* types, const dmat* second, const ivec* lake_of_link_,
                                      const dvec* lake_values_, int n_lakes, int n_links_, int stride_) {
  kind_code = kind;
  flat_source = source;
  source_kind = 1;
  valid_nodes = valid;
  written_nodes = written;
  link_types = types;
  second_rows = second;
  lake_of_link = lake_of_link_;
  lake_values = lake_values_;
  n_links = n_links_;
  stride = stride_;
  if (n_lakes > 0) lake_out.allocate(n_lakes);
  out_rows.allocate(std::max(stride, 1), std::max(n_links, 1));
}

void linknode_writer::open(std::string_view first, std::string_view second_part, std::string_view third,
                           double scale_) {
  std::string name(first);
  name.append(second_part).append(third);
  scale = scale_;
  if (!file.open(name, "w")) {
    std::printf("Error: unable to open file %s\n", name.c_str());
    return;
  }
  write_linknode_header(file.fp, kind_code, n_links, 15, 15, 0, 0, 0, 0, 0);
}

void linknode_writer::write_step() {
  for (long i = 1; i <= n_links; ++i) {
    const long type = at_or_zero(link_types, i);
    if (type & ltype_sections) {
      const long shown = at_or_zero(written_nodes, i);
      const long valid = at_or_zero(valid_nodes, i);
      for (long j = 1; j <= shown && j <= out_rows.size1() && i <= out_rows.size2(); ++j) {
        double v = 0.0;
        if (source_kind == 1 && flat_source != nullptr && j < stride) v = flat_source[j + i * stride] / scale;
        else if (source_kind == 2 && node_source != nullptr) v = cell_of(*node_source, j, i) * scale;
        // The last valid node and every node after it show 0.
        out_rows[j][i] = j >= valid ? 0.0 : v;
      }
    } else if (type & ltype_lake) {
      const long lake = at_or_zero(lake_of_link, i);
      if (lake < 1 || lake > lake_out.size()) lake_bad_range = 1;
      else if (lake_values != nullptr && lake <= lake_values->size()) lake_out[lake] = (*lake_values)[lake] / scale;
    }
  }
  if (file.is_open() && valid_nodes != nullptr && link_types != nullptr && lake_of_link != nullptr) {
    write_linknode_step(file, n_links, *valid_nodes, written_nodes, *link_types, step, out_rows, second_rows, 0,
                        *lake_of_link, lake_out);
  } else {
    std::printf("Error writing to link/node file...\n");
  }
  ++step;
}

void open_contaminant_link_writers(main_state& ms) {
  const long n = ms.contam_map_writers.size();
  if (n <= 0) return;
  ms.contam_link_writers.add_rows(n, 2);
  const int stride = ms.max_nodes_per_link;
  for (long c = 1; c <= n; ++c) {
    const std::string base = c <= ms.contamoutputfilenames.size() ? ms.contamoutputfilenames[c] : std::string();
    for (int k = 1; k <= 2; ++k) {
      linknode_writer& w = ms.contam_link_writers[c][k];
      // The channel concentration and mass rows of a contaminant come with
      // the channel constituent transport, the lake values with the lake
      // transport; until then the writer steps the layout with zero values.
      w.set_link_source(k == 1 ? 27 : 26, nullptr, &ms.nx1, &ms.og_nx1, &ms.ltype, &ms.bel, &ms.lake2link, nullptr,
                        ms.n_lakes, ms.LINKS, stride);
      w.open(base, ".chan", k == 1 ? ".conc" : ".mass", 1.0);
    }
  }
}

}  // namespace kavro
