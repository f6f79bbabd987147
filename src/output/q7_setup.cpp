// The segment-model coupling: the segment map and the link/node-to-segment
// table read at the end of the grid set-up, the flows summed every time step
// and their means written at every hydrograph interval.
#include "output/q7_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/error_record.h"
#include "framework/readers.h"
#include "input/ascii_map.h"
#include "input/card_records.h"
#include "output/q7_coupling.h"

namespace kavro {

namespace {

// Largest segment id a map may hold (the per-segment arrays are indexed by id).
constexpr int max_segment_id = 1000000;

void report_now(int code) {
  error_rec.code = code;
  report_error(error_rec);
}

// Reads the segment map into seg_map; false when the map counts as missing
// (not opened, or no segment in it) or stopped the run.
bool read_segment_map(q7_data_record& d, const std::string& path, imat& mask, int rows, int cols, int n_cells) {
  file_wrapper f;
  if (!f.open(path, "r")) return false;
  d.max_segment = -1;  // while the map is read
  d.seg_map.allocate(n_cells);
  double north = 0, south = 0, east = 0, west = 0;
  int map_rows = 0, map_cols = 0;
  read_ascii_map(f, path, map_categories, north, south, east, west, map_rows, map_cols, mask, nullptr, nullptr,
                 &d.seg_map, rows, cols, 1);
  d.max_segment = 0;
  if (error_rec.code != 0 || error_rec.stop) return false;
  if (n_cells < 1) {
    report_now(95);
    return false;
  }
  for (int i = 1; i <= n_cells; ++i) {
    if (d.seg_map[i] < 0 || d.seg_map[i] > max_segment_id) {
      // The sums are indexed by id: a negative id would index below them, a
      // mistyped huge one would size them beyond the machine's memory.
      std::printf("Error: cell %d of the Q7 segment map %s holds segment %d; segment ids are 0 (no segment) or "
                  "1 to %d.\n",
                  i, path.c_str(), d.seg_map[i], max_segment_id);
      error_rec.code = already_printed_code;
      return false;
    }
    d.max_segment = std::max(d.max_segment, d.seg_map[i]);
  }
  if (d.max_segment <= 0) {
    report_now(95);
    return false;
  }
  d.sums.assign(static_cast<size_t>(d.max_segment) + 1, 0.0);
  d.n_accumulated = 0;
  d.active_array.allocate(d.max_segment);
  for (int i = 1; i <= n_cells; ++i)
    if (d.seg_map[i] > 0) d.active_array[d.seg_map[i]] = 1;
  return true;
}

// The next token as a whole number; false when there is none or it is not one.
bool pop_whole(std::string& line, int& value) {
  std::string token;
  if (!pop_token(line, token)) return false;
  char* end = nullptr;
  const long v = std::strtol(token.c_str(), &end, 10);
  if (end == token.c_str() || *end != '\0' || v < -2147483647L || v > 2147483647L) return false;
  value = static_cast<int>(v);
  return true;
}

bool active_segment(const q7_data_record& d, int s) { return s >= 1 && s <= d.max_segment && d.active_array[s]; }

// Reads the link/node-to-segment table; false when it counts as missing (not
// opened, no rows) or stopped the run. Rows naming a segment the map does not
// hold, or a link or node the channel network does not have, stop the run
// after every row has been read.
bool read_segment_table(q7_data_record& d, const std::string& path, int channel_on, int links, const ivec& nx) {
  file_wrapper f;
  if (!f.open(path, "r")) return false;
  std::string line;
  int n = 0;
  if (read_line(line, f)) pop_int(line, n);
  if (n <= 0) return false;
  bool bad_segment = false, bad_channel = false;
  for (int k = 0; k < n; ++k) {
    int l = 0, j = 0, s = 0;
    std::string row;
    if (!read_line(row, f)) {
      std::printf("Error: the Q7 link/node-to-segment file %s announces %d rows but holds %d.\n", path.c_str(), n, k);
      error_rec.code = already_printed_code;
      return false;
    }
    std::string rest = row;
    if (!pop_whole(rest, l) || !pop_whole(rest, j) || !pop_whole(rest, s)) {
      std::printf("Error: row %d of the Q7 link/node-to-segment file %s is not a link, a node and a segment: %s\n",
                  k + 1, path.c_str(), row.c_str());
      error_rec.code = already_printed_code;
      return false;
    }
    d.link.push_back(l);
    d.node.push_back(j);
    d.segment.push_back(s);
    if (!active_segment(d, s)) bad_segment = true;
    if (channel_on && (l < 1 || l > links || j < 1 || j > nx[l])) {
      std::printf("Error: row %d of the Q7 link/node-to-segment file %s names link %d node %d, which the channel "
                  "network does not have.\n",
                  k + 1, path.c_str(), l, j);
      bad_channel = true;
    }
  }
  d.n_table = n;
  if (bad_segment || bad_channel) {
    error_rec.code = 97;
    return false;
  }
  return true;
}

}  // namespace

void q7_setup(q7_data_record& data, const q7_card_block* settings, imat& mask, int rows, int cols, int n_cells,
              int channel_on, int links, const ivec& nx) {
  data.first_output = true;
  if (!settings) return;
  const bool have_map = read_segment_map(data, settings->q7_segment_map, mask, rows, cols, n_cells);
  if (error_rec.code != 0 || error_rec.stop) return;
  const bool have_table = read_segment_table(data, settings->q7_nodes_to_segs, channel_on, links, nx);
  if (error_rec.code != 0) return;
  if (!have_map && !have_table) {
    report_now(96);
    return;
  }
  if (!data.output.open(settings->q7_segment_fluxes, "w")) {
    error_rec.name = settings->q7_segment_fluxes;
    error_rec.code = 98;
    return;
  }
  std::fputs("   jday   ", data.output.fp);
  for (int s = 1; s <= data.max_segment; ++s)
    if (data.active_array[s]) std::fprintf(data.output.fp, "%-8d  ", s);
  std::fputs("\n", data.output.fp);
}

void q7_accumulate_flows(q7_data_record& data, const dvec& flow_x, const dvec& flow_y, int n_cells,
                         const ivec& right, const ivec& below, int channel_on, const dmat& qp, double dx) {
  if (data.max_segment <= 0) return;
  ++data.n_accumulated;
  const int* seg = data.seg_map.data();
  double* sums = data.sums.data();
  // A face adds to the segment on its one side when the other side is in no
  // segment; faces inside a segment or between two segments add nothing. In
  // cell order, so the sums are the same for any thread count.
  auto face = [&](const dvec& flow, const ivec& next) {
    if (flow.size() < n_cells || next.size() < n_cells) return;
    for (int i = 1; i <= n_cells; ++i) {
      const int j = next[i];
      if (j == 0 || (seg[i] == 0) == (seg[j] == 0)) continue;
      sums[std::max(seg[i], seg[j])] += std::fabs(flow[i]) * dx;
    }
  };
  face(flow_x, right);
  face(flow_y, below);
  if (!channel_on || qp.empty()) return;
  for (int k = 0; k < data.n_table; ++k)
    sums[data.segment[static_cast<size_t>(k)]] +=
        std::fabs(qp[data.node[static_cast<size_t>(k)]][data.link[static_cast<size_t>(k)]]);
}

void q7_write_fluxes(q7_data_record& data, double t) {
  if (data.n_accumulated == 0 || !data.output.is_open()) return;
  if (data.first_output) {
    data.first_output_time = t;
    data.first_output = false;
  }
  std::FILE* f = data.output.fp;
  std::fprintf(f, "%-8.3lf  ", t - data.first_output_time + 1.0);
  for (int s = 1; s <= data.max_segment; ++s) {
    if (!data.active_array[s]) continue;
    data.sums[static_cast<size_t>(s)] /= data.n_accumulated;
    std::fprintf(f, "%-8.2lf  ", data.sums[static_cast<size_t>(s)]);
    data.sums[static_cast<size_t>(s)] = 0.0;
  }
  std::fputs("\n", f);
  data.n_accumulated = 0;
}

void q7_free(std::unique_ptr<q7_data_record>& data) {
  if (!data) return;
  data->output.close();
  data.reset();
}

}  // namespace kavro
