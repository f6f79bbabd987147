#include "framework/run_globals.h"

#include <omp.h>

namespace kavro {

run_context_record init_run_globals() {
  run_context_record ctx;
  ctx.thread_count = omp_get_max_threads();
  omp_set_num_threads(ctx.thread_count);
  return ctx;
}

run_context_record run_context = init_run_globals();
int web_mode = 0;
file_wrapper q7_inflow_file;

}  // namespace kavro
