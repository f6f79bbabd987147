#include "output/output_steps.h"

#include "framework/main_state.h"
#include "output/event_summary.h"
#include "output/final_summary.h"
#include "output/map_writers.h"
#include "output/q7_setup.h"
#include "output/xy_seams.h"

namespace kavro {

void setup_xy_outputs(main_state&) {}
void write_run_soil_constituent_summary(main_state&, int) {}
void write_run_overland_constituent_summary(main_state&, int) {}
void write_run_channel_constituent_summary(main_state&, int) {}
void write_run_global_constituent_summary(main_state&, int) {}
void write_run_nutrient_rates_summary(main_state&) {}
void write_event_constituent_budgets(main_state&) {}

void write_nutrient_map_output(main_state&) {}
void xy_output::write_step(double) {}
void q7_accumulate_flows(q7_data_record&, const dvec&, const dvec&, int, const ivec&, const ivec&, int, const dmat&,
                         double) {}
void q7_write_fluxes(q7_data_record&, double) {}

}  // namespace kavro
