// The overland lake file (LAKE cards) and the low-spot file (LOWSPOT and
// SPOT cards) of the embankments.
#pragma once

#include <string>

#include "framework/one_based.h"
#include "overland/overland_records.h"

namespace kavro {

class file_wrapper;
struct main_state;

// Reads the lake map (each cell's lake number), makes one record per lake
// number up to the largest, reads the lake file and computes every lake's
// initial volume and cell count from the cell elevations.
void read_overland_lake_maps(main_state& ms);

// Reads the LAKE cards of the open lake file `f` (named `path` in messages)
// into lakes[1..expected]: the water-surface elevation of each card's lake
// and its volume. `kind` 1 is the overland lake file. A card whose number
// lies outside 1..expected or repeats an earlier one, a count of cards other
// than `expected`, or a bad first line stops the run (code 4000, reported).
void read_lake_file(file_wrapper& f, const std::string& path, int kind, int expected, one_based_vec<olake>& lakes);

// Reads the SPOT cards of the open low-spot file `f` into spots[1..count].
// A bad first line or a file without SPOT cards stops the run (reported).
void read_lowspot_file(file_wrapper& f, const std::string& path, int& count, one_based_vec<low_spot>& spots);

// 0 when the first token of `line` (leading blanks, tabs and line ends
// skipped) is "lake" (resp. "spot") in any case, else 1; the token is
// removed from `line`.
int is_lake_card(std::string& line);
int is_spot_card(std::string& line);

}  // namespace kavro
