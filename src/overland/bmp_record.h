// The storage units (BMPs) of a run: ponds, basins and similar units that sit
// on overland cells, take water from their cell and give it back through an
// outlet, with their event and run volume totals.
#pragma once

#include "framework/one_based.h"

namespace kavro {

// One storage unit on one overland cell.
struct bmp_unit {
  int unit_type = 0;           // unit type of the BMPS table (positive for a unit)
  int cell = 0;                // host cell (active-cell number)
  int inflow_type = 0;         // 1 share of the cell water, 2 constant rate, 3 weir, 4 Manning-like
  int outflow_type = 0;        // as inflow_type, for the outlet
  double area = 0;             // storage area (m2), at most the cell area
  double max_depth = 0;        // storage depth below the outlet (m)
  double seepage_rate = 0;     // area loss (cm/h)
  double inflow_coef = 0;      // coefficient of the inflow law
  double outflow_coef = 0;     // coefficient of the outlet law
  double underdrain_coef = 0;  // underdrain coefficient (fraction), 0 none
  double trap_efficiency = 0;  // sediment trap efficiency
  double storage = 0;          // water held (m3)
  double underdrain_store = 0; // water in the underdrain (m3)
  double vol_in = 0;           // run volume taken from the cell (m3)
  double vol_out = 0;          // run volume released to the cell (m3)
  double vol_loss = 0;         // run area loss (m3)
  double vol_evap = 0;         // run evaporation (m3)
  double vol_underdrain = 0;   // run underdrain (or area-loss) outflow (m3)
  double vol_rain = 0;         // run rain on the unit (m3)
};

struct bmp_record {
  int bmp_active = 0;          // 1 when an outlet released water in the last unit step (holds the long-term jump)
  double event_vol_to_ov = 0;   // event volume released to overland cells (m3)
  double event_vol_from_ov = 0; // event volume taken from overland cells (m3)
  double event_vol_precip = 0;  // event rain on the units (m3)
  double event_vol_seep = 0;    // event underdrain and seepage outflow (m3)
  double event_vol_other = 0;   // event evaporation from the units (m3)
  double event_sed_in = 0;      // event sediment into the units (m3)
  double event_sed_out = 0;     // event sediment out of the units (m3)
  dvec event_con_mass_in{"event_con_mass_in"};    // [constituent] event mass in (kg)
  dvec event_con_mass_out{"event_con_mass_out"};  // [constituent] event mass out (kg)
  int n_units = 0;              // storage units
  one_based_vec<bmp_unit> units{"bmp_units"};     // [unit] the units, numbered in cell order from 1
  ivec unit_of_cell{"bmp_unit_of_cell"};          // [cell] unit on the cell, 0 none
  dvec underdrain_vol{"bmp_underdrain_vol"};      // [cell] underdrain (or area-loss) outflow of the cell's unit in the last step (m3)
  double total_vol_to_ov = 0;   // run volume released to overland cells (m3)
  double total_vol_from_ov = 0; // run volume taken from overland cells (m3)
  double total_vol_precip = 0;  // run rain on the units (m3)
  double total_vol_seep = 0;    // run underdrain and seepage outflow (m3)
  double total_vol_evap = 0;    // run evaporation from the units (m3)
};

}  // namespace kavro
