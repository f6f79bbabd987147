#include "input/grid_setup.h"

#include <algorithm>
#include <memory>

#include "channel/channel_steps.h"
#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "hydromet/hydromet_steps.h"
#include "input/cell_arrays.h"
#include "input/cell_loaders.h"
#include "input/location_lists.h"
#include "input/watershed_mask.h"
#include "output/q7_setup.h"
#include "overland/overland_steps.h"
#include "subsurface/subsurface_steps.h"
#include "transport/nutrient_setup.h"
#include "transport/transport_steps.h"

namespace kavro {

namespace {

// Reports a problem a step left behind; true when the run must stop. A step
// that printed and reported its own failure has set the stop flag already;
// one that only set a code is reported here, so that a stop-kind code ends
// the set-up at once and a warning lets it go on.
// The cell-number grid and the integer scratch grid, rows 0..rows+1 and
// columns 0..cols+1, all zero: the ring around the grid answers every look
// at a neighbour of an edge cell with "no cell".
void allocate_grids(main_state& ms) {
  const bool mask_ok = alloc_imat_zero(ms.mask, ms.rows + 1L, ms.cols + 1L, "mask");
  const bool data_ok = alloc_imat_zero(ms.data, ms.rows + 1L, ms.cols + 1L, "data");
  if (mask_ok && data_ok) return;
  error_rec.code = already_printed_code;  // the allocation message is out
  report_error(error_rec);
}

void allocate_elevation(main_state& ms) {
  alloc_dvec(ms.elevation, ms.n_cells, "elevation");
  alloc_dvec(ms.exchange_map_values, ms.n_cells, "exchange_map_values");
}

void setup_permafrost(main_state& ms) {
  read_permafrost_mask(ms);
  if (report_pending_and_check_stop()) return;
  read_permafrost_soil_setup(ms);
}

void set_channel_sediment(main_state& ms) { ms.chan_sed_flag = 1; }

// The previous pressure heads: one per cell or per Richards column node,
// whichever is more.
void allocate_previous_heads(main_state& ms) {
  alloc_dvec(ms.PHEADOLD, std::max(ms.n_cells, ms.richards_max_nodes), "PHEADOLD");
}

// The nutrient model joins the run: its aquatic environment, its overland
// compartment, nine nutrient constituents and their parameters.
void setup_nutrients(main_state& ms) {
  if (ms.nsm == nullptr) return;
  ms.nsm->cell_count = ms.n_cells;
  read_aquatic_env(ms.nsm->aquatic_env);
  if (error_rec.code != 0) return;
  nsm_overland_alloc(ms);
  add_constituents(ms, 9, ms.n_cells, 1, 0);
  assign_nsm_ov_params(ms);
  if (report_pending_and_check_stop()) return;
  read_nsm_gw_tables(ms);
  nsm_overland_set_refs(ms);
  // Nutrients travel with the overland and the general constituent transport.
  ms.ov_contam_on = 1;
  ms.contam_on = 1;
}

void setup_segment_coupling(main_state& ms) {
  ms.q7_data = std::make_unique<q7_data_record>();
  q7_setup(*ms.q7_data, ms.q7_settings, ms.mask, ms.rows, ms.cols, ms.n_cells, ms.channel_on, ms.LINKS, ms.nx);
}

struct grid_step {
  void (*run)(main_state&);
  bool (*when)(const main_state&);  // null: always
};

// The steps in their fixed order: each finds the arrays and counts that the
// steps before it filled, so every step is followed by the stop test.
const grid_step grid_steps[] = {
    {check_mask_header, nullptr},
    {allocate_grids, nullptr},
    {read_watershed_mask, nullptr},
    {allocate_elevation, nullptr},
    {read_elevation_map, nullptr},
    {compute_elevation_bands, nullptr},
    {alloc_cell_arrays, nullptr},
    {read_dike_map, nullptr},
    {read_wetlands, nullptr},
    {read_overland_boundary, nullptr},
    {setup_permafrost,
     [](const main_state& ms) {
       return ms.project_params.permafrost_kotu != 0 || ms.project_params.multi_layer_infil_kotu != 0;
     }},
    {read_infiltration_params, nullptr},
    {read_groundwater_setup, nullptr},
    {load_sacramento_params, nullptr},
    {load_conceptual_gw_params, nullptr},
    {read_link_map, nullptr},
    {read_snow_band_params, nullptr},
    {alloc_zeroed_cell_array, nullptr},
    {set_met_station_location, nullptr},
    {read_interception_maps, nullptr},
    {read_overland_lake_maps, nullptr},
    {read_retention_map, nullptr},
    {read_roughness_map, nullptr},
    {apply_snow_roughness_options, nullptr},
    {read_flow_block_table, nullptr},
    {read_sediment_setup, nullptr},
    {read_contaminant_setup, nullptr},
    {read_output_cell_list, nullptr},
    {setup_bmps, nullptr},
    {set_channel_sediment, [](const main_state& ms) { return ms.ov_sed_out_on == 1; }},
    {allocate_previous_heads,
     [](const main_state& ms) { return ms.richards_on || ms.gw_simulation_on || ms.channel_on; }},
    {read_hotstart_depth_maps, nullptr},
    {read_soil_moisture_hotstart, nullptr},
    {setup_nutrients, [](const main_state& ms) { return ms.nutrients_on != 0; }},
    {setup_channel, nullptr},
    // Without a channel network the channel set-up reads no output lists.
    {read_output_locations, [](const main_state& ms) { return ms.channel_on == 0; }},
    {setup_superlink, nullptr},
    {setup_drain_network, nullptr},
    {connect_superlink_outlets, [](const main_state& ms) { return ms.storm_sewer_on != 0; }},
    {connect_drain_outlets, [](const main_state& ms) { return ms.storm_drain_on != 0; }},
    {assign_nsm_soil_params, [](const main_state& ms) { return ms.nutrients_on && ms.soil_contam_on; }},
    {setup_segment_coupling,
     [](const main_state& ms) { return ms.q7_settings != nullptr && ms.q7_settings->use_q7_fluxes != 0; }},
};

}  // namespace

void setup_grid_and_maps(main_state& ms) {
  for (const grid_step& step : grid_steps) {
    if (step.when && !step.when(ms)) continue;
    step.run(ms);
    // A fatal code stays pending: the driver reports it, once, after the grid set-up.
    if (error_rec.code == 200 || error_rec.code == 300) return;
    if (report_pending_and_check_stop()) return;
  }
}

}  // namespace kavro
