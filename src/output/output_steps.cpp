#include "output/output_steps.h"

#include "framework/main_state.h"
#include "output/event_summary.h"
#include "output/final_summary.h"
#include "output/map_writers.h"

namespace kavro {

void write_nutrient_map_output(main_state&) {}

}  // namespace kavro
