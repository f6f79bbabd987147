#include "input/contaminant_tables.h"

#include <cmath>
#include <cstdio>
#include <span>
#include <vector>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"
#include "input/map_placement.h"
#include "input/map_table_format.h"

namespace kavro {

namespace {

constexpr std::size_t label_width = 35;

// The value of the next line when it is a "<KEYWORD> value" line of card
// `code`. Any other line is left for the next reader, so a missing line
// does not take the table's count line with it. False without the line, or
// when its value is missing or not finite.
bool keyword_value(file_wrapper& f, int code, double& value) {
  value = 0.0;
  const long at = std::ftell(f.fp);
  std::string line;
  if (!read_line(line, f)) return false;
  if (line_card_code(line) != code) {
    std::fseek(f.fp, at, SEEK_SET);
    return false;
  }
  std::string rest = line, word, token;
  pop_token(rest, word);
  if (pop_real(rest, value, token) == number_fault::none) return true;
  value = 0.0;
  return false;
}

void report_69() {
  error_rec.code = 69;
  report_error(error_rec);
}

}  // namespace

std::string split_quoted(std::string& line) {
  std::string out, rest;
  int quotes = 0;
  for (char ch : line) {
    if (ch == '"') ++quotes;
    if (quotes == 1)
      out += ch;
    else if (quotes >= 3)
      rest += ch;
  }
  out += '"';
  line = rest;
  return out;
}

void remove_all_quotes(std::string& text) { std::erase(text, '"'); }

int read_contaminant_tables(main_state& ms, const std::array<checked_array_2d<double>*, 8>& dest) {
  file_wrapper f;
  if (!f.open(ms.mapping_table_path, "r")) {
    error_rec.code = 64;
    error_rec.name = ms.mapping_table_path;
    report_error(error_rec);
    return 0;
  }
  std::vector<index_map_entry> maps;
  std::string line;
  bool at_end = true;
  if (!read_index_map_lines(f, maps, line, at_end)) return 0;
  bool found = false;
  if (!at_end) {
    do {
      found = line_card_code(line) == map_card::contaminants;
    } while (!found && read_line(line, f));
  }
  std::printf("\nReading contaminant table...  ");
  if (!found) {
    report_69();
    return 0;
  }
  const int n = read_num_contam(f);
  ms.n_contaminants = n;
  std::printf("%d contaminants found\n", n);
  if (n == 0) return 0;

  ms.contamdescriptions.allocate(n);
  ms.contamoutputfilenames.allocate(n);
  const long first_conc = ms.precip_conc.size(), first_coef = ms.water_soil_partition_coef.size();
  ms.precip_conc.grow(n);
  ms.water_soil_partition_coef.grow(n);
  std::array<long, 8> first_row{};
  for (std::size_t l = 0; l < dest.size(); ++l) {
    if (!dest[l]) continue;
    first_row[l] = dest[l]->size();
    dest[l]->add_rows(n, ms.n_cells);
  }

  bool failed = false;
  for (int i = 1; i <= n; ++i) {
    if (!read_line(line, f)) line.clear();
    std::string description = split_quoted(line);
    const std::string map_name = split_quoted(line);
    std::string file_name = split_quoted(line);
    remove_all_quotes(description);
    remove_all_quotes(file_name);
    ms.contamdescriptions[i] = description;
    ms.contamoutputfilenames[i] = file_name;

    // One element per contaminant, 0.0 when its line is missing, so every
    // later contaminant keeps its own place.
    double value = 0.0;
    if (!keyword_value(f, map_card::precip_conc, value))
      std::printf("Error in reading the precip concentration of constituent #%d\n", i);
    ms.precip_conc[first_conc + i] = value;
    if (!keyword_value(f, map_card::partition, value))
      warn(format_string("Warning: no partition coefficient (PARTITION) for constituent #%d; it is 0.0.\n", i));
    ms.water_soil_partition_coef[first_coef + i] = value;

    std::string label = "  Checking " + description;
    if (description.size() < label_width) label.append(label_width - description.size(), '.');
    std::fputs(label.c_str(), stdout);
    const std::string* path = find_index_map(maps, map_name);
    if (!path) {
      std::printf("unable to match index map\n");
      failed = true;
      continue;
    }
    const int m = read_num_ids(f);
    if (m == 0) continue;
    skip_card_lines(f);
    table_rows rows;
    if (!read_table_rows(f, format_string("CONTAMINANT_TRANSPORT (constituent #%d)", i), m, 8, rows))
      return 0;
    file_wrapper map;
    if (!map.open(*path, "r")) {
      std::printf("unable to open index map file.\n");
      error_rec.code = 65;
      error_rec.name = *path;
      report_error(error_rec);
      return 0;
    }
    imat ids{"Index File Data"};
    double north = 0, south = 0, east = 0, west = 0;
    int map_rows = 0, map_cols = 0;
    if (read_index_map(map, *path, north, south, east, west, map_rows, map_cols, ms.mask, ids, rows.max_id, ms.rows,
                       ms.cols, &ms.fs_summary, ms.tool_mode) &&
        !map_edges_agree(ms, "index map", *path, north, south, east, west))
      return 0;
    for (std::size_t l = 0; l < dest.size(); ++l) {
      if (!dest[l]) continue;
      double* row = dest[l]->row(first_row[l] + i);
      if (!row) continue;
      assign_ids_to_cells(std::span<double>(row, static_cast<std::size_t>(dest[l]->cols()) + 1),
                          table_column_by_id(rows, static_cast<int>(l)), ids, ms.mask, ms.rows, ms.cols);
    }
    std::printf("found and read index map\n");
  }
  if (failed) {
    report_69();
    return 0;
  }
  return 1;
}

}  // namespace kavro
