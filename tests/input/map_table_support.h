// Shared by the mapping-table tests: the 8-cell grid of the example mask
// (3 x 4, cells 1 2 / 3 4 5 6 / 7 8), and mapping-table and index-map files
// written into the scratch folder, where the readers find them by name.
#pragma once

#include <string>
#include <vector>

#include "grid_test_support.h"

namespace kavro_test {

// A table row in the fixed columns: ID in columns 1 to 6, a description up
// to column 86, the values from column 87.
std::string table_row(int id, const std::vector<double>& values, const std::string& description = "row");

// An index map of the 3 x 4 grid; `ids` holds the 12 values in row order.
std::string index_map(const std::vector<int>& ids, int rows = 3);

class map_table_test : public grid_test {
 public:
  void SetUp() override;
  void TearDown() override;
  // Writes `text` to file `name` of the scratch folder.
  void write(const std::string& name, const std::string& text) const;
  // Writes the mapping-table file "t.cmt" and names it in the record.
  void write_table(const std::string& text);
  // What the run log ("log.txt") holds so far.
  std::string run_log();
};

}  // namespace kavro_test
