// Couplings of the permafrost soil temperatures with the Richards columns.
#pragma once

namespace kavro {

struct main_state;

// Maps the Richards nodes of `cell` to the permafrost temperature nodes and
// back. 0, or -9 when its listing file cannot be written.
int map_layers_to_temp_nodes(main_state& ms, long cell);

// Reduces the relative conductivity KHEAD of the frozen Richards nodes of
// `cell` in place. 0, or -9 when its listing file cannot be written.
int frozen_conductivity_column(main_state& ms, long cell);

}  // namespace kavro
