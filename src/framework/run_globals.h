// Process-wide values that every run of the process shares.
#pragma once

#include "framework/file_wrapper.h"

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
};

// Set up before main runs (OpenMP thread count read and applied).
extern run_context_record run_context;

// 1 when the program answers as a web (CGI) program.
extern int web_mode;

// The segment model's inflow file and the superlink solver's flow file,
// closed at process exit when still open.
extern file_wrapper q7_inflow_file;
extern file_wrapper superlink_flows_file;

// Reads the OpenMP maximum thread count, applies it and returns the context.
run_context_record init_run_globals();

}  // namespace kavro
