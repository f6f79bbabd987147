#include "input/map_table_reader.h"

#include <array>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "input/map_placement.h"
#include "input/map_table_limits.h"
#include "input/time_series.h"

namespace kavro {

namespace {

void report_code(int code, const std::string& name) {
  error_rec.code = code;
  error_rec.name = name;
  report_error(error_rec);
}

}  // namespace

indexed_table_reader::indexed_table_reader(main_state& ms, int code) : ms_(ms), code_(code) {
  map_table_card_name(code, keyword_);
}

bool indexed_table_reader::open_and_seek() {
  if (!file_.open(ms_.mapping_table_path, "r")) {
    report_code(64, ms_.mapping_table_path);
    return false;
  }
  if (seek_map_table_card(file_, code_, map_path_)) num_ids_ = read_num_ids(file_);
  if (num_ids_ > 0) return true;
  error_rec.code = 66;
  error_rec.what = keyword_;
  report_error(error_rec);
  return false;
}

int indexed_table_reader::second_count(int count_code) {
  std::string line;
  if (!read_line(line, file_) || line_card_code(line) != count_code) return 0;
  return count_of_count_line(line);
}

void indexed_table_reader::skip_to_rows(int n_precip, dvec* precip) {
  if (n_precip > 0 && precip)
    read_precip_conc_line(file_, n_precip, *precip);
  else
    skip_card_lines(file_);
}

bool indexed_table_reader::read_rows(int k) {
  return read_table_rows(file_, keyword_, num_ids_, k, rows_) && map_table_values_allowed(code_, keyword_, file_.name, rows_);
}

bool indexed_table_reader::read_map(id_zero zero) {
  if (ms_.velm_grid_on) {
    ids_.allocate(ms_.rows, ms_.cols);  // no map: every ID stays 0
    return true;
  }
  file_wrapper map;
  if (!map.open(map_path_, "r")) {
    report_code(65, map_path_);
    return false;
  }
  // The grid's coordinates stay the mask's; an index map of another place is refused.
  double north = 0, south = 0, east = 0, west = 0;
  int map_rows = 0, map_cols = 0;
  if (!read_index_map(map, map_path_, north, south, east, west, map_rows, map_cols, ms_.mask, ids_, rows_.max_id,
                      ms_.rows, ms_.cols, &ms_.fs_summary, ms_.tool_mode, zero))
    return false;
  if (map_edges_agree(ms_, "index map", map_path_, north, south, east, west)) return true;
  ids_.reset();
  return false;
}

int read_map_table(main_state& ms, int code, dvec* d1, dvec* d2, dvec* d3, dvec* d4, dvec* d5, dvec* d6,
                   dvec* d7, int n_precip, dvec* precip) {
  if (!time_series_index_loaded) load_time_series_index(ms.mapping_table_path);
  indexed_table_reader t(ms, code);
  if (!t.open_and_seek()) return 0;
  t.skip_to_rows(n_precip, precip);
  const int k = map_table_values_per_row(code);
  if (!t.read_rows(k)) return 0;
  const std::array<dvec*, 7> dest{d1, d2, d3, d4, d5, d6, d7};
  // A map that stopped part-way has stored the IDs read before the problem:
  // those cells still get their values, the stop flag ends the run.
  if (!t.read_map() && t.ids().empty()) return 0;  // the map did not open
  for (int i = 0; i < k && i < 7; ++i) {
    dvec* d = dest[static_cast<std::size_t>(i)];
    if (!d || d->empty()) continue;
    assign_ids_to_cells(*d, table_column_by_id(t.rows(), i), t.ids(), ms.mask, ms.rows, ms.cols);
  }
  return 1;
}

int load_time_series_index(const std::string& table_path) {
  time_series_index_loaded = 1;
  time_series_index.clear();
  file_wrapper f;
  if (!f.open(table_path, "r")) {
    report_code(64, table_path);
    return 0;
  }
  std::string map_path;
  if (!seek_map_table_card(f, map_card::time_series_index, map_path)) return 1;
  const int n = read_num_ids(f);
  if (n == 0) return 1;
  skip_card_lines(f);
  std::string line;
  for (int i = 1; i <= n; ++i) {
    if (!read_line(line, f)) return 0;
    int id = 0;
    if (!row_id(line, id) || id < 1) return 0;
    const std::string name = row_name_token(line);
    std::printf("Adding table to list: %s... ", name.c_str());
    time_series* series = name.empty() ? nullptr : find_time_series(name);
    std::printf(series ? "Success!\n" : "Failure, table not found.\n");
    // One entry per ID: a later row replaces the binding of an earlier one.
    bool replaced = false;
    for (time_series_index_entry& e : time_series_index) {
      if (e.id != id) continue;
      e.series = series;
      replaced = true;
    }
    if (!replaced) time_series_index.push_back({id, series});
  }
  return 1;
}

}  // namespace kavro
