// main_state: the one record of a simulation run.
//
// The record is made of plain block structs, each owned by the subsystem
// whose processes write it, and main_state derives from all of them so that
// a step reads `ms.now` or `ms.yp` directly. Blocks are listed in declaration
// order. The record lives on the heap for one run and is never copied.
#pragma once

#include "framework/core_block.h"
#include "framework/tail_block.h"

namespace kavro {

struct main_state : file_slots_block,
                    core_run_block,
                    record_tail_block {
  main_state() = default;
  main_state(const main_state&) = delete;
  main_state& operator=(const main_state&) = delete;
  main_state(main_state&&) = delete;
  main_state& operator=(main_state&&) = delete;
};

}  // namespace kavro
