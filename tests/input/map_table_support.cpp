#include "map_table_support.h"

#include <cstdio>

#include "framework/main_state.h"
#include "test_support.h"

namespace kavro_test {

std::string table_row(int id, const std::vector<double>& values, const std::string& description) {
  char head[16];
  std::snprintf(head, sizeof head, "%6d", id);
  std::string row = head + description;
  row.resize(86, ' ');
  for (double v : values) {
    char text[32];
    std::snprintf(text, sizeof text, "%g ", v);
    row += text;
  }
  return row + "\n";
}

std::string index_map(const std::vector<int>& ids, int rows) {
  std::string text =
      "north: 1030\nsouth: 1000\neast: 540\nwest: 500\nrows: " + std::to_string(rows) + "\ncols: 4\n";
  for (std::size_t i = 0; i < ids.size(); ++i) text += std::to_string(ids[i]) + ((i % 4 == 3) ? "\n" : " ");
  return text;
}

void map_table_test::SetUp() {
  grid_test::SetUp();
  number_grid(ms(), {"0110", "1111", "0110"});
  ASSERT_TRUE(ms().fs_summary.open((scratch() / "log.txt").string(), "w"));
}

void map_table_test::TearDown() { grid_test::TearDown(); }

void map_table_test::write(const std::string& name, const std::string& text) const {
  write_file(scratch() / name, text);
}

void map_table_test::write_table(const std::string& text) {
  write("t.cmt", text);
  ms().mapping_table_on = 1;
  ms().mapping_table_path = "t.cmt";
}

std::string map_table_test::run_log() {
  std::fflush(ms().fs_summary.fp);
  return read_file(scratch() / "log.txt");
}

}  // namespace kavro_test
