#include "input/lake_files.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "input/ascii_map.h"
#include "input/cell_loaders.h"
#include "input/setup_lines.h"

namespace kavro {

namespace {

void stop_with(std::FILE* stream, const std::string& text) {
  std::fputs(text.c_str(), stream);
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

// Removes the first token (blank, tab or line-end delimited) from `line`
// and returns it lowered.
std::string take_first_word(std::string& line) {
  const std::size_t start = line.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) {
    line.clear();
    return {};
  }
  std::size_t end = line.find_first_of(" \t\r\n", start);
  if (end == std::string::npos) end = line.size();
  std::string word = line.substr(start, end - start);
  line.erase(0, end);
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word;
}

// True when the first token of `line` is a leading part of `keyword` (case
// ignored); an empty token is a leading part of every word.
bool starts_keyword(std::string line, std::string_view keyword) {
  const std::string word = take_first_word(line);
  return word.size() <= keyword.size() && keyword.starts_with(word);
}

// Takes the values of a card line in order by the number rule: `whole` ints
// then reals. False after the refusal names the card, the file, the line and
// the text.
bool take_card_values(std::string& line, const char* card, const char* file_kind, const std::string& path,
                      long line_no, std::initializer_list<int*> whole, std::initializer_list<double*> reals) {
  std::string token;
  number_fault fault = number_fault::none;
  for (int* v : whole)
    if ((fault = pop_whole(line, *v, token)) != number_fault::none) break;
  if (fault == number_fault::none)
    for (double* v : reals)
      if ((fault = pop_real(line, *v, token)) != number_fault::none) break;
  if (fault == number_fault::none) return true;
  stop_with(stderr, format_string("Error: the %s card on line %ld of the %s %s: %s.\n", card, line_no, file_kind,
                                  path.c_str(), number_fault_text(fault, token, INT_MIN, INT_MAX).c_str()));
  return false;
}

}  // namespace

int is_lake_card(std::string& line) { return take_first_word(line) == "lake" ? 0 : 1; }
int is_spot_card(std::string& line) { return take_first_word(line) == "spot" ? 0 : 1; }

void read_lake_file(file_wrapper& f, const std::string& path, int kind, int expected, one_based_vec<olake>& lakes) {
  (void)kind;  // overland lakes are the only kind
  std::string line;
  const bool first = read_line(line, f) != 0;
  if (first && !starts_keyword(line, "kavro_overland_lake_file")) {
    stop_with(stderr, "The overland lake input data file doesn't start with\n"
                      " KAVRO_OVERLAND_LAKE_FILE card.\n"
                      "The file format is invalid.  Program terminated.\n");
    return;
  }
  std::vector<bool> seen(static_cast<std::size_t>(std::max(expected, 0)) + 1, false);
  int cards = 0;
  for (long line_no = 2; first && read_line(line, f); ++line_no) {
    if (is_lake_card(line) != 0) continue;
    int n = 0;
    double elev = 0, volume = 0;
    if (!take_card_values(line, "LAKE", "overland lake file", path, line_no, {&n}, {&elev, &volume})) return;
    if (n < 1 || n > expected || lakes.size() < n) {
      stop_with(stderr, format_string("Error: the LAKE card on line %ld of the overland lake file %s names lake %d; "
                                      "the lake map has lakes 1 to %d.\n",
                                      line_no, path.c_str(), n, expected));
      return;
    }
    if (seen[static_cast<std::size_t>(n)]) {
      stop_with(stderr, format_string("Error: the LAKE card on line %ld of the overland lake file %s repeats lake "
                                      "%d.\n",
                                      line_no, path.c_str(), n));
      return;
    }
    if (!std::isfinite(elev) || !std::isfinite(volume)) {
      stop_with(stderr, format_string("Error: the LAKE card of lake %d on line %ld of the overland lake file %s "
                                      "holds a value that is not a number.\n",
                                      n, line_no, path.c_str()));
      return;
    }
    seen[static_cast<std::size_t>(n)] = true;
    lakes[n].level = elev;
    lakes[n].initial_level = elev;
    lakes[n].volume = volume;
    ++cards;
    std::printf("%d   Elev: %.2lf   Volume: %.2lf\n", cards, elev, volume);
  }
  if (cards == expected && cards > 0) return;
  if (cards > 0) {
    stop_with(stderr, format_string("Incorrect number of LAKE cards in the overland lake input data file.\n"
                                    "Expected %d LAKE cards, read %d\n"
                                    "Program terminated.\n",
                                    expected, cards));
    return;
  }
  stop_with(stderr, "Premature end-of-file in the overland lake input data file.\n"
                    "No LAKE cards encountered before end of file.\n"
                    "Program terminated.\n");
}

void read_lowspot_file(file_wrapper& f, const std::string& path, int& count, one_based_vec<low_spot>& spots) {
  std::string line;
  const bool first = read_line(line, f) != 0;
  if (first && !starts_keyword(line, "lowspot")) {
    stop_with(stderr, format_string("The lowspot input file: %s does not start with the LOWSPOT card.\n"
                                    "The file format is invalid.  Program terminated.\n",
                                    path.c_str()));
    return;
  }
  // Each SPOT card: row, column, side, width fraction, crest elevation.
  std::vector<low_spot> read;
  for (long line_no = 2; first && read_line(line, f); ++line_no) {
    if (is_spot_card(line) != 0) continue;
    low_spot s;
    if (!take_card_values(line, "SPOT", "lowspot input file", path, line_no, {&s.row, &s.col, &s.direction},
                          {&s.width_fraction, &s.crest_elev}))
      return;
    if (!std::isfinite(s.width_fraction) || !std::isfinite(s.crest_elev)) {
      stop_with(stderr, format_string("Error: the SPOT card on line %ld of the lowspot input file %s holds a value "
                                      "that is not a number.\n",
                                      line_no, path.c_str()));
      return;
    }
    read.push_back(s);
  }
  if (read.empty()) {
    stop_with(stderr, "Premature end-of-file in the lowspot input file.\n"
                      "No SPOT cards encountered before end of file.\n"
                      "Program terminated.\n");
    return;
  }
  spots.allocate(static_cast<long>(read.size()));
  std::copy(read.begin(), read.end(), spots.begin() + 1);
  count = static_cast<int>(read.size());
}

void read_overland_lake_maps(main_state& ms) {
  if (ms.overland_lake_on != 1) return;
  print_load_line(ms, format_string("reading overland lake map from file: %s\n", ms.overland_lake_map_path.c_str()));
  if (ms.oland_lake_mask.size() < ms.n_cells) ms.oland_lake_mask.allocate(ms.n_cells);
  if (ms.oland_lake_new.size() < ms.n_cells) ms.oland_lake_new.allocate(ms.n_cells);
  read_cell_map(ms, ms.fs_overland_lake_map, ms.overland_lake_map_path, map_categories, nullptr,
                &ms.oland_lake_mask);
  ms.fs_overland_lake_map.close();
  if (error_rec.stop) return;
  int largest = 0;
  for (long i = 1; i <= ms.n_cells; ++i) {
    ms.oland_lake_new[i] = ms.oland_lake_mask[i];
    largest = std::max(largest, ms.oland_lake_mask[i]);
  }
  ms.n_olakes = largest;
  ms.olake_table.allocate(largest);
  read_lake_file(ms.fs_overland_lake_file, ms.overland_lake_file_path, 1, ms.n_olakes, ms.olake_table);
  ms.fs_overland_lake_file.close();
  if (error_rec.stop) return;
  for (long k = 1; k <= ms.n_olakes; ++k) {
    ms.olake_table[k].volume = 0;
    ms.olake_table[k].n_lake_cells = 0;
  }
  const double area = ms.dx * ms.dx;
  for (long i = 1; i <= ms.n_cells; ++i) {
    const int lake = ms.oland_lake_mask[i];
    if (lake <= 0) continue;
    olake& l = ms.olake_table[lake];
    ++l.n_lake_cells;
    if (ms.elevation[i] > l.level) {
      stop_with(stdout, format_string("There is a lake cell in lake %d that is above the initial lake water surface\n"
                                      "elevation in that lake, which is specified as %f.  This situation is not\n"
                                      "physically realistic.  Check your lake map.  Program terminated.\n",
                                      lake, l.level));
      return;
    }
    l.volume += (l.level - ms.elevation[i]) * area;
  }
}

}  // namespace kavro
