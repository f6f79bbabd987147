#include "input/map_table_check.h"

#include <algorithm>
#include <cstdio>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "input/map_table_format.h"

namespace kavro {

namespace {

constexpr int label_width = 35;

// The cards of the check report in report order.
constexpr std::array<const map_table_card*, 35> report_order() {
  std::array<const map_table_card*, 35> order{};
  for (const map_table_card& c : map_table_cards)
    if (c.report > 0) order[static_cast<std::size_t>(c.report - 1)] = &c;
  return order;
}

// The count of a count line "<keyword> n" whose first token begins with
// `keyword`, as a presence flag: 1 for a positive count.
int count_flag(const std::string& line, std::string_view keyword) {
  std::string rest = line, word;
  if (!pop_token(rest, word) || !std::string_view(word).starts_with(keyword)) return 0;
  return count_of_count_line(line) > 0 ? 1 : 0;
}

}  // namespace

void print_table_report_line(std::string_view label, int flag) {
  std::string line = "  " + std::string(label);
  if (label.size() < label_width) line.append(label_width - label.size(), '.');
  line += flag ? "Y\n" : "N\n";
  std::fputs(line.c_str(), stdout);
}

void report_map_table_card(int& flag, int code, const std::string& path, int velm_grid_on,
                           std::string_view label, int tool_mode) {
  file_wrapper f;
  std::string map_path;
  if (!f.open(path, "r"))
    flag = 0;
  else
    flag = code == map_card::sediments ? seek_sediments_card(f) : seek_map_table_card(f, code, map_path);
  if (code == map_card::contaminants || code == map_card::sediments) {
    // Present when the line after the card is a positive count line.
    std::string line;
    if (flag && !read_line(line, f)) line.clear();
    if (flag) flag = count_flag(line, code == map_card::contaminants ? "NUM_CONTAM" : "NUM_SED");
  } else if (flag) {
    file_wrapper map;
    flag = !velm_grid_on && map.open(map_path, "r") ? 1 : 0;
    if (!flag && !velm_grid_on) {
      // Without its index map the table would be left out of the run unseen.
      std::printf("Error: the %s table of the mapping table %s uses the index map %s (card INDEX_MAP), which is "
                  "not in %s.\n",
                  std::string(label).c_str(), path.c_str(), map_path.c_str(), folders_searched(map_path).c_str());
      error_rec.code = already_printed_code;
    }
  }
  if (tool_mode != 1) print_table_report_line(label, flag);
}

void check_map_table(const std::string& path, map_table_flags& present, int velm_grid_on, int tool_mode) {
  {
    file_wrapper f;
    if (!f.open(path, "r")) {
      error_rec.code = 64;
      error_rec.name = path;
      report_error(error_rec);
      return;
    }
  }
  if (tool_mode != 1) std::printf("\nChecking 2D grid mapping tables...\n");
  for (const map_table_card* c : report_order())
    report_map_table_card(present[static_cast<std::size_t>(c->flag)], c->code, path, velm_grid_on, c->label,
                          tool_mode);
}

}  // namespace kavro
