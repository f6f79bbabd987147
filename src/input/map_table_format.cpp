#include "input/map_table_format.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"
#include "input/ascii_map.h"
#include "input/map_table_check.h"

namespace kavro {

namespace {

constexpr std::string_view file_header = "KAVRO_INDEX_MAP_TABLES";
constexpr std::size_t values_column = 86;  // column 87, counted from 0
constexpr std::size_t id_columns = 6;

// Every report line and every flag exactly once.
constexpr bool reports_are_a_permutation() {
  std::array<int, 35> seen_report{}, seen_flag{};
  for (const map_table_card& c : map_table_cards) {
    if (c.report == 0) {
      if (c.flag != -1 || !c.label.empty()) return false;
      continue;
    }
    if (c.report < 1 || c.report > 35 || c.flag < 0 || c.flag > 34) return false;
    ++seen_report[static_cast<std::size_t>(c.report - 1)];
    ++seen_flag[static_cast<std::size_t>(c.flag)];
  }
  for (std::size_t i = 0; i < 35; ++i)
    if (seen_report[i] != 1 || seen_flag[i] != 1) return false;
  return true;
}
static_assert(reports_are_a_permutation());

// The named flags that settings and run files read agree with the table.
static_assert(map_table_flag(1) == map_table::roughness);
static_assert(map_table_flag(2) == map_table::interception);
static_assert(map_table_flag(3) == map_table::retention);
static_assert(map_table_flag(4) == map_table::green_ampt);
static_assert(map_table_flag(5) == map_table::green_ampt_moisture);
static_assert(map_table_flag(201) == map_table::layered_soil);
static_assert(map_table_flag(6) == map_table::richards_havercamp);
static_assert(map_table_flag(7) == map_table::richards_brooks);
static_assert(map_table_flag(8) == map_table::evapotranspiration);
static_assert(map_table_flag(12) == map_table::wetlands);
static_assert(map_table_flag(17) == map_table::groundwater);

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool is_header(std::string_view line) { return line.starts_with(file_header); }

int read_count(file_wrapper& f, int code) {
  std::string line;
  if (!read_line(line, f) || line_card_code(line) != code) return 0;
  return count_of_count_line(line);
}

// Reads lines until one of card `code`; true when found.
bool find_card_line(file_wrapper& f, int code, std::string& line) {
  do {
    if (line_card_code(line) == code) return true;
  } while (read_line(line, f));
  return false;
}

int seek_plain_card(file_wrapper& f, int code) {
  std::string line;
  if (!f.fp || !read_line(line, f) || !is_header(line)) return 0;
  if (!read_line(line, f)) return 0;
  return find_card_line(f, code, line) ? 1 : 0;
}

}  // namespace

int map_table_card_code(std::string_view line) {
  for (std::size_t i = 1; i < map_table_cards.size(); ++i)
    if (line.starts_with(map_table_cards[i].keyword)) return map_table_cards[i].code;
  return 0;
}

int line_card_code(std::string_view line) {
  return line.starts_with(map_table_cards[0].keyword) ? map_table_cards[0].code : map_table_card_code(line);
}

void map_table_card_name(int code, std::string& out) {
  if (code >= 201 && code <= 203) return;
  if (const map_table_card* c = find_map_table_card(code)) out = c->keyword;
}

int map_table_values_per_row(int code) {
  if (code < 1 || code > 36) return 0;
  const map_table_card* c = find_map_table_card(code);
  return c ? c->values : 0;
}

bool map_table_has(const main_state& ms, int code) {
  const int flag = map_table_flag(code);
  return flag >= 0 && ms.map_table_present[static_cast<std::size_t>(flag)] != 0;
}

bool read_map_lines(file_wrapper& f, std::string_view header, bool (*is_map_line)(std::string_view),
                    std::vector<index_map_entry>& maps, std::string& line, bool& at_end) {
  maps.clear();
  line.clear();
  at_end = true;
  if (!f.fp || !read_line(line, f) || !line.starts_with(header)) return false;
  while (read_line(line, f)) {
    if (!is_map_line(line)) {
      at_end = false;
      return true;
    }
    std::string rest = line, word;
    pop_token(rest, word);  // the keyword
    index_map_entry e;
    pop_token(rest, e.path);
    e.name = rest;
    maps.push_back(std::move(e));
  }
  line.clear();
  return true;
}

bool read_index_map_lines(file_wrapper& f, std::vector<index_map_entry>& maps, std::string& line,
                          bool& at_end) {
  return read_map_lines(
      f, file_header, [](std::string_view l) { return line_card_code(l) == map_card::index_map; }, maps, line,
      at_end);
}

std::vector<std::pair<int, std::string>> map_line_paths(const std::string& path, std::string_view header,
                                                          bool (*is_map_line)(std::string_view)) {
  std::vector<std::pair<int, std::string>> names;
  file_wrapper f;
  if (!f.open(path, "r")) return names;
  std::vector<index_map_entry> maps;
  std::string line;
  bool at_end = true;
  if (!read_map_lines(f, header, is_map_line, maps, line, at_end)) return names;
  for (std::size_t k = 0; k < maps.size(); ++k) names.emplace_back(static_cast<int>(k) + 2, maps[k].path);
  return names;
}

std::vector<std::pair<int, std::string>> index_map_names(const std::string& path) {
  return map_line_paths(path, file_header,
                        [](std::string_view l) { return line_card_code(l) == map_card::index_map; });
}

std::string_view map_name_of_card_line(std::string_view line) {
  const std::size_t gap = line.find_first_of(" \t");
  if (gap == std::string_view::npos) return {};
  const std::size_t start = line.find_first_not_of(" \t", gap);
  return start == std::string_view::npos ? std::string_view{} : line.substr(start);
}

const std::string* find_index_map(const std::vector<index_map_entry>& maps, std::string_view name) {
  for (auto it = maps.rbegin(); it != maps.rend(); ++it)
    if (it->name == name) return &it->path;
  return nullptr;
}

int seek_map_table_card(file_wrapper& f, int code, std::string& map_path) {
  map_path.clear();
  std::vector<index_map_entry> maps;
  std::string line;
  bool at_end = true;
  if (!read_index_map_lines(f, maps, line, at_end) || at_end) return 0;
  if (!find_card_line(f, code, line)) return 0;
  if (code == map_card::time_series_index || code == map_card::contaminants) return 1;
  // A card line that ends the file (no line end) has no table after it.
  if (std::feof(f.fp)) return 0;
  // The map name runs from the second word of the card line to its end.
  const std::string_view rest = map_name_of_card_line(line);
  if (rest.empty()) return 0;
  const std::string* path = find_index_map(maps, rest);
  if (!path) return 0;
  map_path = *path;
  return 1;
}

int seek_sediments_card(file_wrapper& f) { return seek_plain_card(f, map_card::sediments); }

int seek_ratingcurves_card(file_wrapper& f) { return seek_plain_card(f, map_card::ratingcurves); }

int count_of_count_line(std::string_view line) {
  std::string rest(line), word, token;
  pop_token(rest, word);
  int n = 0;
  const number_fault fault = pop_whole(rest, n, token);
  if (fault == number_fault::missing) return 0;
  if (fault != number_fault::none) {
    std::printf("Error: the count line \"%s\" of the mapping table: %s.\n", printable(line).c_str(),
                number_fault_text(fault, token, INT_MIN, INT_MAX).c_str());
    return 0;
  }
  return n > 0 ? n : 0;
}

bool row_id(std::string_view line, int& id) {
  std::string id_text(line.substr(0, id_columns)), token;
  id = 0;
  if (!pop_token(id_text, token)) return false;
  return read_int(token, id) == number_fault::none;
}

std::string row_name_token(std::string_view line) {
  std::string rest(line.size() > id_columns ? line.substr(id_columns) : std::string_view{}), name;
  pop_token(rest, name);
  return name;
}

int read_num_ids(file_wrapper& f) { return read_count(f, map_card::num_ids); }
int read_num_sed(file_wrapper& f) { return read_count(f, map_card::num_sed); }
int read_num_con(file_wrapper& f) { return read_count(f, map_card::num_con); }
int read_num_contam(file_wrapper& f) { return read_count(f, map_card::num_contam); }

void skip_card_lines(file_wrapper& f) {
  std::string line;
  while (read_line(line, f))
    if (line_card_code(line) == 0) return;
}

void read_precip_conc_line(file_wrapper& f, int n, dvec& values) {
  std::string line;
  if (!read_line(line, f)) return;
  if (line_card_code(line) != map_card::precip_conc) return;  // that was the column header
  std::string word, token;
  pop_token(line, word);
  for (int i = 1; i <= n; ++i) {
    double v = 0.0;
    // A value missing from the line is 0; one that is no finite number too,
    // with a message naming it.
    const number_fault fault = pop_real(line, v, token);
    if (fault != number_fault::none && fault != number_fault::missing) {
      std::printf("Error: value %d of the PRECIP_CONC line of the mapping table: %s.\n", i,
                  number_fault_text(fault, token).c_str());
      error_rec.code = already_printed_code;
      report_error(error_rec);
      v = 0.0;
    }
    if (i <= values.size()) values[i] = v;
  }
  read_line(line, f);  // the column header
}

int read_table_row(file_wrapper& f, int& id, int k, double* values, std::string& bad_token, number_fault& fault) {
  id = 0;
  for (int j = 0; j < k; ++j) values[j] = 0.0;
  std::string line;
  if (!read_line(line, f)) return -2;
  if (!row_id(line, id)) return -1;
  std::size_t pos = values_column;
  int read = 0;
  while (read < k && pos < line.size()) {
    while (pos < line.size() && is_blank(line[pos])) ++pos;
    if (pos >= line.size()) break;
    const std::size_t start = pos;
    while (pos < line.size() && !is_blank(line[pos])) ++pos;
    bad_token = line.substr(start, pos - start);
    fault = read_real(bad_token, values[read]);
    if (fault != number_fault::none) return -3;
    ++read;
  }
  return read;
}

bool read_table_rows(file_wrapper& f, std::string_view table, int n, int k, table_rows& out) {
  out = table_rows{};
  out.k = k;
  std::vector<double> row(static_cast<std::size_t>(k > 0 ? k : 1), 0.0);
  for (int i = 1; i <= n; ++i) {
    int id = 0;
    std::string bad_token;
    number_fault fault = number_fault::none;
    const int got = read_table_row(f, id, k, row.data(), bad_token, fault);
    if (got == -3) {
      std::printf("Error: the row of ID %d (row %d) in table %.*s of the mapping table file %s: %s.\n", id, i,
                  static_cast<int>(table.size()), table.data(), f.name.c_str(),
                  number_fault_text(fault, bad_token).c_str());
      error_rec.code = already_printed_code;
      report_error(error_rec);
      return false;
    }
    if (got == -2) {
      std::printf("Error: table %.*s of the mapping table file %s ends at row %d of its %d rows (NUM_IDS).\n",
                  static_cast<int>(table.size()), table.data(), f.name.c_str(), i, n);
      error_rec.code = already_printed_code;
      report_error(error_rec);
      return false;
    }
    if (got == -1 || id < 1) {
      std::printf(
          "Error: row %d of table %.*s of the mapping table file %s has no ID of 1 or more in columns 1 to 6.\n",
          i, static_cast<int>(table.size()), table.data(), f.name.c_str());
      error_rec.code = already_printed_code;
      report_error(error_rec);
      return false;
    }
    for (int j = 0; j < got; ++j) {
      if (std::isfinite(row[static_cast<std::size_t>(j)])) continue;
      std::printf(
          "Error: value %d of ID %d (row %d) in table %.*s of the mapping table file %s is not a number.\n",
          j + 1, id, i, static_cast<int>(table.size()), table.data(), f.name.c_str());
      error_rec.code = already_printed_code;
      report_error(error_rec);
      return false;
    }
    if (got < k)
      warn(format_string(
          "Warning: the row of ID %d in table %.*s has %d of its %d values; the missing values are 0.0.\n",
          id, static_cast<int>(table.size()), table.data(), got, k));
    out.ids.push_back(id);
    out.data.insert(out.data.end(), row.begin(), row.begin() + k);
    if (id > out.max_id) out.max_id = id;
  }
  return true;
}

std::vector<double> table_column_by_id(const table_rows& rows, int col) {
  std::vector<double> by_id(static_cast<std::size_t>(rows.max_id) + 1, 0.0);
  if (col < 0 || col >= rows.k) return by_id;
  for (std::size_t r = 0; r < rows.ids.size(); ++r)
    by_id[static_cast<std::size_t>(rows.ids[r])] = rows.value(r, col);
  return by_id;
}

bool read_index_map(file_wrapper& f, const std::string& map_path, double& north, double& south, double& east,
                    double& west, int& map_rows, int& map_cols, const imat& mask, imat& ids, int max_id,
                    int rows, int cols, file_wrapper* log, int quiet, id_zero zero) {
  ids.set_name("Index File Data");
  ids.allocate(rows, cols);
  imat grid{"Index File Data"};
  grid.allocate(rows, cols);
  if (ids.empty() || grid.empty()) return false;
  const int stop_before = error_rec.stop;
  error_rec.stop = 0;
  read_ascii_map(f, map_path, map_integer_grid, north, south, east, west, map_rows, map_cols, grid, nullptr,
                 nullptr, nullptr, rows, cols, 1);
  const bool read_whole = error_rec.stop == 0;
  error_rec.stop = error_rec.stop || stop_before;
  if (!read_whole) return false;

  std::vector<int> count(static_cast<std::size_t>(max_id > 0 ? max_id : 0) + 1, 0);
  long no_id = 0;
  int first_r = 0, first_c = 0;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      if (r > mask.size1() || c > mask.size2() || mask[r][c] == 0) continue;
      const int id = grid[r][c];
      if (id > max_id) {
        error_rec.code = 71;
        error_rec.int1 = r;
        error_rec.int2 = c;
        error_rec.name = map_path;
        report_error(error_rec);
        return false;
      }
      if (id < 1) {
        if (id == 0 && zero == id_zero::none) continue;
        if (no_id++ == 0) {
          first_r = r;
          first_c = c;
        }
        continue;
      }
      ids[r][c] = id;
      ++count[static_cast<std::size_t>(id)];
    }
  }
  if (no_id > 0)
    warn(
        format_string("Warning: index map %s gives %ld active cells no ID of 1 or more (the first at "
                           "row %d, column %d); they keep their values.\n",
                      map_path.c_str(), no_id, first_r, first_c),
        log);
  if (quiet != 1 && log && log->is_open()) {
    for (int id = 1; id <= max_id; ++id) {
      const int n = count[static_cast<std::size_t>(id)];
      if (n > 0) std::fprintf(log->fp, "In map %s category %d has %d values\n", map_path.c_str(), id, n);
    }
  }
  return true;
}

void assign_ids_to_cells(std::span<double> dest, const std::vector<double>& by_id, const imat& ids,
                         const imat& mask, int rows, int cols) {
  if (dest.empty() || ids.empty()) return;
  const long last_id = static_cast<long>(by_id.size()) - 1;
  const long last_cell = static_cast<long>(dest.size()) - 1;
  for (int r = 1; r <= rows && r <= ids.size1() && r <= mask.size1(); ++r) {
    for (int c = 1; c <= cols && c <= ids.size2() && c <= mask.size2(); ++c) {
      const int cell = mask[r][c];
      const int id = ids[r][c];
      if (cell < 1 || cell > last_cell || id < 1 || id > last_id) continue;
      dest[static_cast<std::size_t>(cell)] = by_id[static_cast<std::size_t>(id)];
    }
  }
}

void assign_ids_to_cells(dvec& dest, const std::vector<double>& by_id, const imat& ids, const imat& mask,
                         int rows, int cols) {
  if (dest.empty()) return;
  assign_ids_to_cells(std::span<double>(dest.data(), static_cast<std::size_t>(dest.size()) + 1), by_id, ids,
                      mask, rows, cols);
}

}  // namespace kavro
