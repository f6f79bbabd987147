// Process-wide values that every run of the process shares.
#pragma once

#include "framework/file_wrapper.h"
#include "framework/one_based.h"

namespace kavro {

// The process group the calibration modes receive. There is always exactly
// one process; the grid partition has one strip.
struct run_context_record {
  int process_rank = 0;     // rank of this process
  int thread_count = 1;     // OpenMP thread count at start-up
  int partition_index = 0;  // this process's grid partition
  int partition_count = 1;  // number of grid partitions
  int process_count = 1;    // processes among which a Monte Carlo run count is divided
  int process_id = 0;       // identity of this process in the calibration reports
  int no_sampling = 0;      // 1: the Monte Carlo calibration draws no parameter sets (never set here)
  int group_value = 0;      // group number handed to the calibration result exchange (always 0)

  // The strip partition of the grid, made only with two or more partitions
  // (the watershed mask reader fills it; nothing else reads it).
  int grid_rows = 0;                                   // rows of the partitioned grid
  int grid_cols = 0;                                   // columns of the partitioned grid
  int n_cells = 0;                                     // active cells of the partitioned grid
  ivec row_cell_count{"row_cell_count"};               // [row] active cells of the row
  ivec col_cell_count{"col_cell_count"};               // [col] active cells of the column
  ivec short_row_mask{"short_row_mask"};               // [row] 1 on the rows of this partition's row strip
  ivec short_col_mask{"short_col_mask"};               // [col] 1 on the columns of this partition's column strip
  ivec cell_in_row_strip{"cell_in_row_strip"};         // [cell] 1 when the cell lies in this partition's row strip
  ivec cell_in_col_strip{"cell_in_col_strip"};         // [cell] 1 when the cell lies in this partition's column strip
};

// Set up before main runs (OpenMP thread count read and applied).
extern run_context_record run_context;

// 1 when the program answers as a web (CGI) program.
extern int web_mode;

// The segment model's inflow file, closed at process exit when still open.
extern file_wrapper q7_inflow_file;

// Reads the OpenMP maximum thread count, applies it and returns the context.
run_context_record init_run_globals();

}  // namespace kavro
