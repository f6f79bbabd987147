// Storage units (BMPs) on the overland cells: their set-up from the BMPS
// table, the share of rain they catch and their water balance per step.
#pragma once

#include "framework/one_based.h"
#include "overland/bmp_record.h"

namespace kavro {

struct main_state;

// The ten values of the BMPS table for every cell ([cell], from 1), in the
// units of the table: maximum depth in mm, seepage in cm/h, underdrain in %.
struct bmp_table_columns {
  dvec unit_type{"bmp_type"};
  dvec inflow_type{"bmp_inflow_type"};
  dvec outflow_type{"bmp_outflow_type"};
  dvec area{"bmp_area"};
  dvec max_depth_mm{"bmp_max_depth"};
  dvec seepage_cm_h{"bmp_seepage"};
  dvec inflow_coef{"bmp_inflow_coef"};
  dvec outflow_coef{"bmp_outflow_coef"};
  dvec underdrain_pct{"bmp_underdrain"};
  dvec trap_efficiency{"bmp_trap_efficiency"};
};

// Makes a unit of every cell whose unit type is positive, in cell order.
// False when a unit is larger than its cell (message printed, code 4000).
bool build_bmp_units(main_state& ms, const bmp_table_columns& table);

// Volume (m3) that flow law `type` moves in `step_s` seconds, at most
// `available`; 0 when nothing is available.
double bmp_flow(int type, double coef, double head, double available, double step_s, double slope_x, double slope_y,
                double roughness);

// What one unit did in one step (m3).
struct bmp_step_result {
  double inflow = 0;
  double outflow = 0;
  double evaporation = 0;
  double loss = 0;
  double underdrain = 0;
};

// Water balance of unit `k` for a step of `step_s` seconds with open-water
// evaporation `evap_rate`; the host cell's depth changes by the net exchange.
bmp_step_result bmp_unit_balance(main_state& ms, int k, double step_s, double evap_rate);

// Open-water evaporation rate of the units from the hour's weather.
double bmp_evaporation_rate(double air_temp_c, double rel_humidity_pct, double wind_m_s);

// Rain depth `d` (m) on cell `i`: a unit on the cell catches its area share
// (booked as unit rain); returns the depth left for the cell.
double bmp_rain_share(main_state& ms, long i, double d);

}  // namespace kavro
