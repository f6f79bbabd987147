// The CONTAMINANT_TRANSPORT block of the grid mapping-table file: the
// contaminants of a run, each with a description, an output file, its
// concentration in rain, its water-soil partition coefficient and a table of
// eight per-cell parameters read through an index map of its own.
//
// Block layout, after the INDEX_MAP lines:
//   CONTAMINANT_TRANSPORT
//   NUM_CONTAM n
//   then per contaminant:
//     "description" "index map name" "output file"
//     PRECIP_CONC value
//     PARTITION value
//     NUM_IDS m, a column header and m rows of 8 values from column 87.
// The index-map name keeps its quotes, so its INDEX_MAP line must name the
// map in quotes too.
#pragma once

#include <array>
#include <string>

#include "framework/checked_array.h"

namespace kavro {

struct main_state;

// The first quoted text of `line` with its quotes; `line` keeps what follows
// its closing quote, from the next opening quote on.
std::string split_quoted(std::string& line);
// Deletes every double quote of `text`.
void remove_all_quotes(std::string& text);

// Reads the block into the run record: n_contaminants, contamdescriptions and
// contamoutputfilenames (1..n), one element per contaminant appended to
// precip_conc and water_soil_partition_coef (0.0 when its line is missing),
// and one row per contaminant appended to every destination that is not
// null ([constituent][cell], cells 1..n_cells; column l of the table goes to
// dest[l - 1]). Result 1 when every contaminant's index map was found and
// read; 0 after error 64 (file), 65 (index map, reported at once), or 69
// (the card is absent or an index-map name is unknown, reported at once),
// and when the file has no contaminants (no error).
int read_contaminant_tables(main_state& ms, const std::array<checked_array_2d<double>*, 8>& dest);

}  // namespace kavro
