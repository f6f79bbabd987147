#include "output/output_steps.h"

#include "framework/main_state.h"
#include "output/event_summary.h"
#include "output/final_summary.h"
#include "output/map_writers.h"

namespace kavro {

void write_run_soil_constituent_summary(main_state&, int) {}
void write_run_overland_constituent_summary(main_state&, int) {}
void write_run_channel_constituent_summary(main_state&, int) {}
void write_run_global_constituent_summary(main_state&, int) {}
void write_run_nutrient_rates_summary(main_state&) {}
void write_event_constituent_budgets(main_state&) {}

void write_nutrient_map_output(main_state&) {}

}  // namespace kavro
