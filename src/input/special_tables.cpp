#include "input/special_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "input/elev_series.h"
#include "input/map_table_format.h"
#include "input/map_table_reader.h"
#include "input/time_series.h"
#include "overland/overland_records.h"
#include "subsurface/wells.h"

namespace kavro {

namespace {

constexpr int max_wetland_id = 300;

void stop_printed() {
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

void load_index_once(const main_state& ms) {
  if (!time_series_index_loaded) load_time_series_index(ms.mapping_table_path);
}

// Columns first_col.. of the rows: for every active cell in row order, the
// value of its ID in column first_col + j - 1 goes to out[j][cell] (or
// out[cell][j] when by_cell), j = 1..n.
void assign_columns_per_cell(const indexed_table_reader& t, const main_state& ms, int first_col, int n,
                             dmat& out, bool by_cell) {
  if (out.empty()) return;
  for (int j = 1; j <= n; ++j) {
    const std::vector<double> by_id = table_column_by_id(t.rows(), first_col + j - 1);
    const long last_id = static_cast<long>(by_id.size()) - 1;
    for (int r = 1; r <= ms.rows; ++r) {
      for (int c = 1; c <= ms.cols; ++c) {
        const int cell = ms.mask[r][c];
        const int id = t.ids()[r][c];
        if (cell < 1 || id < 1 || id > last_id) continue;
        const long row = by_cell ? cell : j, col = by_cell ? j : cell;
        if (row <= out.size1() && col <= out.size2()) out[row][col] = by_id[static_cast<std::size_t>(id)];
      }
    }
  }
}

template <std::size_t N>
void assign_leading_columns(const indexed_table_reader& t, const main_state& ms,
                            const std::array<dvec*, N>& dest) {
  for (std::size_t i = 0; i < N; ++i) {
    dvec* d = dest[i];
    if (!d || d->empty()) continue;
    assign_ids_to_cells(*d, table_column_by_id(t.rows(), static_cast<int>(i)), t.ids(), ms.mask, ms.rows,
                        ms.cols);
  }
}

// The RATINGCURVES table as ID -> series name (a later row of an ID wins).
// False after a reported problem.
bool read_rating_curve_names(main_state& ms, std::map<int, std::string>& names) {
  file_wrapper f;
  if (!f.open(ms.mapping_table_path, "r")) {
    error_rec.code = 64;
    error_rec.name = ms.mapping_table_path;
    report_error(error_rec);
    return false;
  }
  if (!seek_ratingcurves_card(f)) return true;
  const int n = read_num_ids(f);
  if (n == 0) return true;
  skip_card_lines(f);
  std::string line;
  for (int i = 1; i <= n; ++i) {
    int id = 0;
    if (!read_line(line, f)) {
      std::printf(
          "Error: table RATINGCURVES of the mapping table file %s ends at row %d of its %d rows (NUM_IDS).\n",
          f.name.c_str(), i, n);
      stop_printed();
      return false;
    }
    if (!row_id(line, id) || id < 1) {
      std::printf(
          "Error: row %d of table RATINGCURVES of the mapping table file %s has no ID of 1 or more in columns "
          "1 to 6.\n",
          i, f.name.c_str());
      stop_printed();
      return false;
    }
    names[id] = row_name_token(line);
  }
  return true;
}

}  // namespace

int read_sediments_table(const std::string& table_path, int& count, dvec& spec_grav, dvec& part_diam,
                         one_based_vec<std::string>& output_filename, dvec& f_bind) {
  count = 0;
  file_wrapper f;
  if (!f.open(table_path, "r")) {
    error_rec.code = 64;
    error_rec.name = table_path;
    report_error(error_rec);
    return 0;
  }
  const int n = seek_sediments_card(f) ? read_num_sed(f) : 0;
  if (n == 0) return 0;
  std::string line;
  read_line(line, f);  // the column header
  struct sed_class {
    double spec_grav = 0, part_diam = 0, f_bind = 0;
    std::string file;
  };
  std::vector<sed_class> classes;
  for (int i = 1; i <= n; ++i) {
    if (!read_line(line, f)) {
      std::printf(
          "Error: table SEDIMENTS of the mapping table file %s ends at class %d of its %d (NUM_SED).\n",
          table_path.c_str(), i, n);
      stop_printed();
      return 0;
    }
    std::string rest = line.size() > 40 ? line.substr(40) : std::string{};
    sed_class s;
    std::string token;
    number_fault fault = number_fault::none;
    // A value missing from a short row is 0; one that is there must be a number.
    for (double* v : {&s.spec_grav, &s.part_diam, &s.f_bind})
      if ((fault = pop_real(rest, *v, token)) != number_fault::none) break;
    if (fault == number_fault::missing) fault = number_fault::none;
    pop_token(rest, s.file);
    if (fault != number_fault::none) {
      std::printf("Error: sediment class %d of table SEDIMENTS in %s: %s: %s\n", i, table_path.c_str(),
                  number_fault_text(fault, token).c_str(), printable(line).c_str());
      stop_printed();
      return 0;
    }
    classes.push_back(std::move(s));
  }
  count = n;
  spec_grav.set_name("spec_grav");
  part_diam.set_name("part_diam");
  f_bind.set_name("f_bind");
  output_filename.set_name("output_filename");
  spec_grav.allocate(n);
  part_diam.allocate(n);
  f_bind.allocate(n);
  output_filename.allocate(n + 1);
  for (int i = 1; i <= n; ++i) {
    const sed_class& s = classes[static_cast<std::size_t>(i - 1)];
    spec_grav[i] = s.spec_grav;
    part_diam[i] = s.part_diam;
    f_bind[i] = s.f_bind;
    output_filename[i] = s.file;
  }
  return 0;
}

int read_soil_erosion_table(main_state& ms, const std::array<dvec*, 5>& dest, dmat* sed_fract,
                            int n_classes) {
  load_index_once(ms);
  indexed_table_reader t(ms, map_card::soil_erosion);
  if (!t.open_and_seek()) return 0;
  const int num_sed = t.second_count(map_card::num_sed);
  if (num_sed != n_classes) {
    error_rec.code = 91;
    error_rec.int1 = n_classes;
    error_rec.int2 = num_sed;
    return 0;
  }
  t.skip_to_rows();
  if (!t.read_rows(5 + n_classes) || !t.read_map()) return 0;
  assign_leading_columns(t, ms, dest);
  if (sed_fract) assign_columns_per_cell(t, ms, 5, n_classes, *sed_fract, true);
  return 1;
}

int read_bmp_table(main_state& ms, const std::array<dvec*, 10>& dest, dmat* per_constituent,
                   int n_constituents) {
  load_index_once(ms);
  indexed_table_reader t(ms, map_card::bmps);
  if (!t.open_and_seek()) return 0;
  const int num_con = t.second_count(map_card::num_con);
  if (num_con != n_constituents) {
    std::printf(
        "Error: the BMPS table of the mapping table file %s gives NUM_CON %d, while the run carries %d "
        "constituents.\n",
        ms.mapping_table_path.c_str(), num_con, n_constituents);
    stop_printed();
    return 0;
  }
  t.skip_to_rows();
  if (!t.read_rows(10 + n_constituents) || !t.read_map()) return 0;
  assign_leading_columns(t, ms, dest);
  if (per_constituent) assign_columns_per_cell(t, ms, 10, n_constituents, *per_constituent, false);
  return 1;
}

int read_well_table(main_state& ms) {
  load_index_once(ms);
  indexed_table_reader t(ms, map_card::wells);
  if (!t.open_and_seek()) return 0;
  t.skip_to_rows();
  if (!t.read_rows(3) || !t.read_map(id_zero::none)) return 0;
  well_table_list.clear();
  const table_rows& rows = t.rows();
  for (std::size_t r = 0; r < rows.ids.size(); ++r) {
    well_entry e;
    e.id = rows.ids[r];
    const double flag = rows.value(r, 0), v2 = rows.value(r, 1);
    e.from_series = static_cast<int>(flag);
    if (flag != 0.0) {
      e.series_index = static_cast<int>(v2);
    } else {
      e.rate = v2;
    }
    well_table_list.push_back(e);
  }
  build_well_cells(t.ids(), ms.mask, ms.rows, ms.cols);
  return 1;
}

int read_wetland_table(main_state& ms) {
  indexed_table_reader t(ms, map_card::wetlands);
  if (!t.open_and_seek()) return 0;
  t.skip_to_rows();
  if (!t.read_rows(7) || !t.read_map(id_zero::none)) return 0;
  const imat& ids = t.ids();
  // IDs of the map are at most the largest row ID (larger ones stopped the
  // reading of the map), so the renumbering array is bounded by the table.
  int largest = 0;
  for (int r = 1; r <= ms.rows; ++r)
    for (int c = 1; c <= ms.cols; ++c) largest = std::max(largest, ids[r][c]);
  std::vector<int> number(static_cast<std::size_t>(largest) + 1, 0);
  int distinct = 0;
  for (int r = 1; r <= ms.rows; ++r)
    for (int c = 1; c <= ms.cols; ++c) {
      const int id = ids[r][c];
      if (id > 0 && number[static_cast<std::size_t>(id)] == 0)
        number[static_cast<std::size_t>(id)] = ++distinct;
    }
  if (distinct != t.num_ids()) {
    error_rec.code = 67;
    error_rec.int1 = distinct;
    error_rec.int2 = t.num_ids();
    report_error(error_rec);
    return 0;
  }
  ms.n_wetlands = t.num_ids();
  if (largest > max_wetland_id) {
    error_rec.code = 68;
    report_error(error_rec);
    return 0;
  }
  ms.wetland_table.set_name("wetland_table");
  ms.wetland_table.allocate(distinct);
  const table_rows& rows = t.rows();
  for (std::size_t r = 0; r < rows.ids.size(); ++r) {
    const int id = rows.ids[r];
    if (id > largest || number[static_cast<std::size_t>(id)] == 0) continue;  // not in the map
    wetland_params& w = ms.wetland_table[number[static_cast<std::size_t>(id)]];
    w.initial_depth = rows.value(r, 0) / 1000.0;         // mm -> m
    w.wet_layer_depth = rows.value(r, 1) / 1000.0;       // mm -> m
    w.wet_layer_k = rows.value(r, 2) / 86400.0;          // m/day -> m/s
    w.wet_transition_depth = rows.value(r, 3) / 1000.0;  // mm -> m
    w.wet_transition_k = rows.value(r, 4) / 86400.0;     // m/day -> m/s
    w.wet_mannings_n = rows.value(r, 5);
    w.elev_drop = rows.value(r, 6) / 1000.0;  // mm -> m
  }
  ms.wetland_mask.set_name("wetland_mask");
  if (ms.wetland_mask.size() < ms.n_cells) ms.wetland_mask.allocate(ms.n_cells);
  for (int r = 1; r <= ms.rows; ++r)
    for (int c = 1; c <= ms.cols; ++c) {
      const int cell = ms.mask[r][c];
      if (cell < 1 || cell > ms.wetland_mask.size()) continue;
      const int id = ids[r][c];
      ms.wetland_mask[cell] = id > 0 ? number[static_cast<std::size_t>(id)] : 0;
    }
  return 1;
}

int read_rating_curves(main_state& ms) {
  ms.ov_boundary_faces.set_name("ov_boundary_faces");
  ms.ov_boundary_faces.allocate(ms.n_cells);
  bool any = false;
  for (long i = 1; i <= ms.n_cells && i <= ms.boundary_type.size(); ++i)
    any = any || ms.boundary_type[i] == 6 || ms.boundary_type[i] == 7;
  if (!any) return 1;
  std::map<int, std::string> names;
  if (!read_rating_curve_names(ms, names)) return 0;
  for (long i = 1; i <= ms.n_cells && i <= ms.boundary_type.size(); ++i) {
    if (ms.boundary_type[i] != 6 && ms.boundary_type[i] != 7) continue;
    const double value = i <= ms.ov_boundary_value.size() ? ms.ov_boundary_value[i] : 0.0;
    if (!(std::fabs(value) < 2.0e9)) continue;  // no row can carry such an ID
    const auto row = names.find(static_cast<int>(value));
    if (row == names.end()) continue;
    const elev_series* curve = row->second.empty() ? nullptr : find_elev_series(row->second);
    if (!curve) {
      error_rec.code = 86;
      error_rec.stop = 1;
      continue;
    }
    ms.ov_boundary_faces[i].rating_curve = curve;
  }
  return 1;
}

}  // namespace kavro
