#include "framework/main_state_lifecycle.h"

#include "framework/main_state.h"
#include "framework/replace_pairs.h"
#include "input/elev_series.h"
#include "input/time_series.h"

namespace kavro {

void main_state_init(main_state&) {}
void main_state_destroy(main_state&) {
  // The process-wide lists hold only the current run's entries.
  free_time_series_list();
  free_elev_series_list();
  free_replace_pairs();
}

}  // namespace kavro
