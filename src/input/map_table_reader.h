// The generic reader of the grid mapping-table file and the time-series
// index table.
//
// Each reader opens the file named by `mapping_table_path`, searches it from
// its first line for its card, reads the table, reads the card's index map
// and closes both files again: nothing is kept between calls except the
// process-wide time-series index.
#pragma once

#include <string>
#include <string_view>

#include "framework/file_wrapper.h"
#include "framework/one_based.h"
#include "input/map_table_format.h"

namespace kavro {

struct main_state;

// Reads the table of card `code` (a card of at most seven values per row)
// and gives every active cell the values of its ID: column i of the table
// goes to d[i] (element = cell number, 1-based). A null or unallocated
// destination is skipped, and no element past its size is written; cells
// without a valid ID keep their values. With `n_precip` > 0 and `precip`
// given, an optional "PRECIP_CONC v1 .. vn" line between the count line and
// the column header fills precip[1..n_precip] (0.0 for missing values).
// Loads the time-series index first when this run has not.
// Result 1 when the table was read (errors of the index map, 71 to 74, are
// then reported and have set the stop flag), 0 after error 64 (file), 65
// (index map) or 66 (card absent or NUM_IDS 0) or a bad row (code 4000), all
// reported at once.
int read_map_table(main_state& ms, int code, dvec* d1, dvec* d2 = nullptr, dvec* d3 = nullptr,
                   dvec* d4 = nullptr, dvec* d5 = nullptr, dvec* d6 = nullptr, dvec* d7 = nullptr,
                   int n_precip = 0, dvec* precip = nullptr);

// Binds the IDs of the TIME_SERIES_INDEX table to the named time series of
// the run (exact name first, else the first name that begins with it),
// printing "Adding table to list: %s... " and "Success!" or "Failure, table
// not found." per row. Sets time_series_index_loaded first. Result 1 when
// the file was read (also without the table), 0 when it does not open (error
// 64, reported) or a row has no ID of 1 or more (the rows before it kept).
int load_time_series_index(const std::string& table_path);

// The steps shared by the readers of tables with an index map, for the
// special tables. Every step reports its own failure at once and answers
// false; the file closes with the object.
class indexed_table_reader {
 public:
  indexed_table_reader(main_state& ms, int code);

  // Opens the file (error 64), seeks the card and reads NUM_IDS (error 66
  // when either is missing or the count is 0).
  bool open_and_seek();
  // The count of the next line when it is a count line of `count_code`.
  int second_count(int count_code);
  // Skips to the first row, through an optional PRECIP_CONC line when
  // `precip` is given.
  void skip_to_rows(int n_precip = 0, dvec* precip = nullptr);
  // Reads the NUM_IDS rows of k values.
  bool read_rows(int k);
  // Reads the index map into ids() unless velm_grid_on is set (error 65
  // when it does not open). True when the map was read without error or
  // not read at all.
  bool read_map(id_zero zero = id_zero::warn);

  file_wrapper& file() { return file_; }
  int num_ids() const { return num_ids_; }
  const table_rows& rows() const { return rows_; }
  const imat& ids() const { return ids_; }
  const std::string& map_path() const { return map_path_; }
  std::string_view keyword() const { return keyword_; }

 private:
  main_state& ms_;
  int code_;
  std::string keyword_;
  file_wrapper file_;
  std::string map_path_;
  int num_ids_ = 0;
  table_rows rows_;
  imat ids_{"Index File Data"};
};

}  // namespace kavro
