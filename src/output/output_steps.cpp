#include "output/output_steps.h"

#include "framework/main_state.h"

namespace kavro {

void open_map_datasets(main_state&) {}
void write_linknode_headers(main_state&) {}
void open_contaminant_map_writers(main_state&) {}
void open_contaminant_link_writers(main_state&) {}
void setup_xy_outputs(main_state&) {}
void write_timeseries_output(main_state&) {}
void write_map_output(main_state&) {}
void write_final_summary(main_state&) {}
void write_event_summary(main_state&) {}

}  // namespace kavro
