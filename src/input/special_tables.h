// The tables of the grid mapping-table file that have layouts of their own:
// sediment classes, soil erosion properties, BMPs, wells, wetlands and the
// rating curves of overland boundary cells.
//
// All read the file named by `mapping_table_path` from its first line and
// close it again; those with an index map share the steps of
// indexed_table_reader (error 64 file, 66 card or NUM_IDS, 65 index map, 71
// to 74 index map contents, code 4000 bad rows; all reported at once).
// Per-cell destinations are indexed by cell number (1..n_cells); a null or
// unallocated destination is skipped and nothing is written past its size.
#pragma once

#include <array>
#include <string>

#include "framework/one_based.h"

namespace kavro {

struct main_state;

// SEDIMENTS: `count` = NUM_SED (0 without the card or the count line, no
// message); per class i = 1..count, from column 41 of its line: specific
// gravity, particle diameter, binding fraction and the output file name.
// A class line missing, or a value that is not finite, stops the run (code
// 4000). The arrays are allocated here (count elements, 1-based). Result 0.
int read_sediments_table(const std::string& table_path, int& count, dvec& spec_grav, dvec& part_diam,
                         one_based_vec<std::string>& output_filename, dvec& f_bind);

// SOIL_EROSION_PROPS: rows of 5 + n_classes values. Columns 1 to 5 go to
// `dest`; column 5 + j to sed_fract[cell][j] (j = 1..n_classes). A NUM_SED
// line that differs from n_classes sets error 91 (int1 = n_classes, int2 =
// NUM_SED; reported by the run driver) and assigns nothing. Loads the
// time-series index first. Result 1 read, 0 failed.
int read_soil_erosion_table(main_state& ms, const std::array<dvec*, 5>& dest, dmat* sed_fract, int n_classes);

// BMPS: rows of 10 + n_constituents values. Columns 1 to 10 go to `dest`;
// column 10 + j to per_constituent[j][cell] (j = 1..n_constituents). A
// NUM_CON line that differs from n_constituents prints its own message and
// stops the run (code 4000), assigning nothing. Loads the time-series index
// first. Result 1 read, 0 failed.
int read_bmp_table(main_state& ms, const std::array<dvec*, 10>& dest, dmat* per_constituent,
                   int n_constituents);

// WELL_TABLE: rows (ID, from-series flag, rate or series index, unused) go to
// `well_table_list` in file order, then build_well_cells makes one well cell
// per active cell of the well index map (ID 0: no well). Loads the
// time-series index first. Result 1 read, 0 failed.
int read_well_table(main_state& ms);

// WETLAND_PROPERTIES: numbers the IDs of the wetland index map 1, 2, ... in
// the order in which they first occur in row order (ID 0: no wetland),
// fills `wetland_table` (1..n_wetlands) from the rows of those IDs in SI
// units and `wetland_mask` (allocated here, per cell) with each cell's
// wetland number. Error 67 when the map's distinct IDs differ from NUM_IDS,
// 68 when its largest ID is above 300. Result 1 read, 0 failed.
int read_wetland_table(main_state& ms);

// RATINGCURVES: allocates `ov_boundary_faces` (one zeroed record per active
// cell) and binds each cell of boundary type 6 or 7 to the elevation series
// named in the row whose ID is its boundary value (exact name first, else
// the first that begins with it). A name that binds no series sets error 86
// and the stop flag (reported by the run driver). A missing table or a cell
// whose ID has no row leaves the curve null. Result 1 done, 0 failed.
int read_rating_curves(main_state& ms);

}  // namespace kavro
