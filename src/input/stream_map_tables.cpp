#include "input/stream_map_tables.h"

#include <array>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"
#include "input/map_table_format.h"

namespace kavro {

namespace {

constexpr std::string_view stream_header = "KAVRO_STREAM_INDEX_MAP_TABLES";

struct stream_card {
  int id;
  std::string_view keyword;  // compared over `compared` leading characters
  std::size_t compared;
  std::string_view display;
  int values;
};

// In the order a line is tested (after "ROUGHNESS"); NSM_OTH is told from
// NSM_C by its fifth character, so it is tested first.
constexpr std::array<stream_card, 7> stream_cards{{
    {stream_table::nsm_n, "NSM_N", 5, "NSM_N (Stream)", 4},
    {stream_table::nsm_p, "NSM_P", 5, "NSM_P (Stream)", 3},
    {stream_table::nsm_oth, "NSM_OTH", 6, "NSM_OTH (Stream)", 3},
    {stream_table::nsm_c, "NSM_C", 5, "NSM_C (Stream)", 2},
    {stream_table::num_ids, "NUM_IDS", 7, "NUM_IDS (Stream)", 0},
    {stream_table::st_index_map, "ST_INDEX_MAP", 9, "ST_INDEX_MAP (Stream)", 0},
    {stream_table::dispersion, "DISPERSION", 5, "DISPERSION (Stream)", 1},
}};

// Check report: label and flag entry per table id, in report order.
struct stream_report {
  int id;
  std::string_view label;
  std::size_t entry;
};
constexpr std::array<stream_report, 6> stream_reports{{
    {stream_table::roughness, "Roughness", 0},
    {stream_table::nsm_n, "NSM Nitrogen", 1},
    {stream_table::nsm_p, "NSM Phosphorus", 2},
    {stream_table::nsm_c, "NSM Carbon", 4},
    {stream_table::nsm_oth, "NSM Other", 3},
    {stream_table::dispersion, "Dispersion", 5},
}};

bool is_st_index_map_line(std::string_view line) {
  return stream_table_code(line) == stream_table::st_index_map;
}

void report_code(int code, const std::string& name) {
  error_rec.code = code;
  error_rec.name = name;
  report_error(error_rec);
}

// The count line, the rows and the stream map of table `id` of the open
// stream mapping table; false after a reported refusal.
bool check_stream_table_rows(file_wrapper& f, int id) {
  std::rewind(f.fp);
  std::string map_path, name;
  stream_table_name(id, name);
  if (!seek_stream_table(f, id, map_path)) return true;
  const int n = read_stream_num_ids(f);
  if (n == 0) {
    error_rec.code = 66;
    error_rec.what = name;
    report_error(error_rec);
    return false;
  }
  skip_card_lines(f);
  table_rows rows;
  return read_table_rows(f, name, n, stream_table_values(id), rows) && check_stream_map_file(map_path);
}

}  // namespace

int stream_table_code(std::string_view line) {
  if (line.starts_with("ROUGHNESS")) return stream_table::roughness;
  for (const stream_card& c : stream_cards)
    if (line.substr(0, c.compared) == c.keyword.substr(0, c.compared)) return c.id;
  return 0;
}

void stream_table_name(int id, std::string& out) {
  if (id == stream_table::roughness) {
    out = "ROUGHNESS (Stream)";
    return;
  }
  for (const stream_card& c : stream_cards)
    if (c.id == id) out = c.display;
}

int stream_table_values(int id) {
  if (id == stream_table::roughness) return 1;
  for (const stream_card& c : stream_cards)
    if (c.id == id) return c.values;
  return 0;
}

int seek_stream_table(file_wrapper& f, int id, std::string& map_path) {
  map_path.clear();
  std::vector<index_map_entry> maps;
  std::string line;
  bool at_end = true;
  if (!read_map_lines(f, stream_header, is_st_index_map_line, maps, line, at_end) || at_end) return 0;
  do {
    if (stream_table_code(line) != id) continue;
    if (std::feof(f.fp)) return 0;  // a card line that ends the file has no table
    const std::string* path = find_index_map(maps, map_name_of_card_line(line));
    if (!path || map_name_of_card_line(line).empty()) return 0;
    map_path = *path;
    return 1;
  } while (read_line(line, f));
  return 0;
}

std::vector<std::pair<int, std::string>> stream_map_names(const std::string& path) {
  return map_line_paths(path, stream_header, is_st_index_map_line);
}

int read_stream_num_ids(file_wrapper& f) {
  std::string line;
  if (!read_line(line, f) || stream_table_code(line) != stream_table::num_ids) return 0;
  return count_of_count_line(line);
}

namespace {

// The values of a STREAM_MAP file: its header and then one value per link,
// across lines, each one finite number (a whole number for IDs). A value
// that is not one is printed with the file, the line and the text.
class stream_map_values {
 public:
  explicit stream_map_values(file_wrapper& f) : f_(f) {}
  // 1 with a value, 0 at the end of the file, -1 after a printed refusal.
  int next(double& v, bool whole) {
    std::string token;
    while (!pop_token(line_, token)) {
      if (!read_line(line_, f_)) return 0;
      ++line_no_;
    }
    number_fault fault = number_fault::none;
    if (whole) {
      int id = 0;
      fault = read_int(token, id);
      v = id;
    } else {
      fault = read_real(token, v);
    }
    if (fault == number_fault::none) return 1;
    std::printf("Error: stream map %s, line %d: %s.\n", f_.name.c_str(), line_no_,
                number_fault_text(fault, token, INT_MIN, INT_MAX).c_str());
    return -1;
  }
  // The header: "STREAM_MAP" on line 1, a word and the link count on line 2.
  // The count, or -2 (wrong first line) / -3 (no count).
  int header() {
    if (!read_line(line_, f_) || !line_.starts_with("STREAM_MAP")) return -2;
    line_no_ = 1;
    line_.clear();
    std::string word, token;
    while (!pop_token(line_, word)) {
      if (!read_line(line_, f_)) return -3;
      ++line_no_;
    }
    int count = 0;
    const number_fault fault = pop_whole(line_, count, token, 0, INT_MAX);
    if (fault == number_fault::none) return count;
    std::printf("Error: stream map %s, line %d: the link count: %s.\n", f_.name.c_str(), line_no_,
                number_fault_text(fault, token, 0, INT_MAX).c_str());
    return -3;
  }

 private:
  file_wrapper& f_;
  std::string line_;
  int line_no_ = 0;
};

}  // namespace

int read_stream_map(const std::string& path, int links, int maxnodes, const ivec& nx, imat& ids,
                    std::span<double> values, int mode) {
  file_wrapper f;
  if (!f.open(path, "r")) return -1;
  stream_map_values in(f);
  const int count = in.header();
  if (count < 0) return count;
  if (count != links) return -3;
  const std::size_t stride = static_cast<std::size_t>(maxnodes) + 1;
  for (int i = 1; i <= links; ++i) {
    double v = 0.0;
    if (in.next(v, mode == 0) != 1) return -4;
    const int id = mode == 0 ? static_cast<int>(v) : 0;
    const int nodes = i <= nx.size() ? std::min(nx[i], maxnodes) : 0;
    for (int j = 1; j <= nodes; ++j) {
      if (mode == 0) {
        if (j <= ids.size1() && i <= ids.size2()) ids[j][i] = id;
      } else {
        const std::size_t at = static_cast<std::size_t>(i) * stride + static_cast<std::size_t>(j);
        if (at < values.size()) values[at] = v;
      }
    }
  }
  return 0;
}

bool check_stream_map_file(const std::string& path) {
  file_wrapper f;
  if (!f.open(path, "r")) {
    report_code(115, path);
    return false;
  }
  stream_map_values in(f);
  const int count = in.header();
  if (count < 0) {
    report_code(count == -2 ? 116 : 117, path);
    return false;
  }
  for (int i = 1; i <= count; ++i) {
    double v = 0.0;
    const int got = in.next(v, true);
    if (got == 1) continue;
    if (got == 0)
      std::printf("Error: stream map %s ends at link %d of its %d links.\n", path.c_str(), i, count);
    report_code(118, path);
    return false;
  }
  return true;
}

void assign_ids_to_links(std::span<double> dest, const std::vector<double>& by_id, const imat& ids, int links,
                         const ivec& nx, int stride) {
  if (dest.empty() || ids.empty()) return;
  const long last_id = static_cast<long>(by_id.size()) - 1;
  for (int i = 1; i <= links && i <= nx.size() && i <= ids.size2(); ++i) {
    for (int j = 1; j <= nx[i] && j <= ids.size1(); ++j) {
      const int id = ids[j][i];
      const std::size_t at =
          static_cast<std::size_t>(i) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(j);
      if (id < 1 || id > last_id || at >= dest.size()) continue;
      dest[at] = by_id[static_cast<std::size_t>(id)];
    }
  }
}

int read_stream_map_table(const std::string& path, int id, std::span<double> d1, std::span<double> d2,
                          std::span<double> d3, std::span<double> d4, int links, int maxnodes,
                          const ivec& nx) {
  file_wrapper f;
  if (!f.open(path, "r")) {
    report_code(64, path);
    return 0;
  }
  std::string map_path, name;
  stream_table_name(id, name);
  const int n = seek_stream_table(f, id, map_path) ? read_stream_num_ids(f) : 0;
  if (n == 0) {
    error_rec.code = 66;
    error_rec.what = name;
    report_error(error_rec);
    return 0;
  }
  const int v = stream_table_values(id);
  skip_card_lines(f);
  table_rows rows;
  if (!read_table_rows(f, name, n, v, rows)) return 0;

  imat ids{"filedata"};
  ids.allocate(maxnodes + 1, links + 1);
  const int result = read_stream_map(map_path, links, maxnodes, nx, ids, {}, 0);
  if (result < 0) {
    report_code(114 - result, map_path);  // -1..-4 -> 115..118
    return 0;
  }
  // Links whose ID no row can carry keep their values.
  for (int i = 1; i <= links && i <= nx.size(); ++i) {
    const int link_id = ids.size1() >= 1 ? ids[1][i] : 0;
    if (link_id >= 0 && link_id <= rows.max_id) continue;
    warn(format_string(
        "Warning: link %d of stream map file %s has ID %d, which table %s does not hold; the link keeps "
        "its values.\n",
        i, map_path.c_str(), link_id, name.c_str()));
    for (int j = 1; j <= ids.size1(); ++j) ids[j][i] = 0;
  }
  const std::array<std::span<double>, 4> dest{d1, d2, d3, d4};
  for (int c = 0; c < v && c < 4; ++c)
    assign_ids_to_links(dest[static_cast<std::size_t>(c)], table_column_by_id(rows, c), ids, links, nx,
                        maxnodes + 1);
  return 1;
}

void report_stream_table(int& flag, file_wrapper& f, int id, std::string_view label, int quiet) {
  std::rewind(f.fp);
  std::string map_path;
  flag = 0;
  if (seek_stream_table(f, id, map_path)) {
    file_wrapper map;
    flag = map.open(map_path, "r") ? 1 : 0;
  }
  if (quiet != 1) print_table_report_line(label, flag);
}

void check_stream_map_table(const std::string& path, stream_table_flags& present, int tool_mode) {
  file_wrapper f;
  if (!f.open(path, "r")) {
    report_code(64, path);
    return;
  }
  std::string first;
  if (!read_line(first, f) || !first.starts_with(stream_header)) {
    std::printf("Error: the stream mapping table %s does not begin with %.*s.\n", path.c_str(),
                static_cast<int>(stream_header.size()), stream_header.data());
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return;
  }
  if (tool_mode != 1) std::printf("\nChecking stream mapping table file...\n");
  for (const stream_report& r : stream_reports)
    report_stream_table(present[r.entry], f, r.id, r.label, tool_mode);
  // Every table the file holds is read now, its rows and its stream map, so
  // that a table that cannot be used stops the run before it starts.
  bool any = false;
  for (const stream_report& r : stream_reports) {
    if (!present[r.entry]) continue;
    any = true;
    if (!check_stream_table_rows(f, r.id) || error_rec.stop) return;
  }
  if (any) return;
  std::printf("Error: the stream mapping table %s holds no table with a stream map.\n", path.c_str());
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

}  // namespace kavro
