// main_state: the one record of a simulation run.
//
// The record is made of plain block structs, each owned by the subsystem
// whose processes write it, and main_state derives from all of them so that
// a step reads `ms.now` or `ms.yp` directly. Blocks are listed in declaration
// order. The record lives on the heap for one run and is never copied.
#pragma once

#include "channel/channel_blocks.h"
#include "framework/core_block.h"
#include "framework/tail_block.h"
#include "input/card_block.h"
#include "input/cell_block.h"
#include "input/file_name_block.h"
#include "output/constituent_budget_block.h"
#include "overland/overland_block.h"
#include "overland/precip_block.h"
#include "subsurface/soil_blocks.h"
#include "transport/constituent_blocks.h"
#include "subsurface/lumped_boundary_block.h"
#include "subsurface/richards_met_block.h"
#include "subsurface/soil_type_table.h"
#include "transport/contam_host_block.h"
#include "transport/sediment_block.h"

namespace kavro {

struct main_state : file_slots_block,
                    core_run_block,
                    per_cell_block,
                    constituent_block,
                    overland_sediment_block,
                    superlink_block,
                    drain_block,
                    channel_network_block,
                    channel_lake_block,
                    channel_constituent_block,
                    constituent_budget_block,
                    precipitation_block,
                    overland_flow_block,
                    sediment_control_block,
                    card_block,
                    file_name_block,
                    soil_block,
                    groundwater_block,
                    richards_met_block,
                    contam_host_block,
                    lumped_boundary_block,
                    soil_type_table_block,
                    record_tail_block {
  main_state() = default;
  main_state(const main_state&) = delete;
  main_state& operator=(const main_state&) = delete;
  main_state(main_state&&) = delete;
  main_state& operator=(main_state&&) = delete;
};

}  // namespace kavro
