// Depth tables of the breakpoint (surveyed) cross-sections: flow area, top
// width, wetted perimeter and conveyance at a constant height step, built
// from the (x, y) profile pairs so that the routing never handles the pairs.
#pragma once

#include <vector>

#include "framework/one_based.h"

namespace kavro {

struct main_state;

// The cross-sections of one breakpoint link as the channel file gave them,
// by their position j = 1, 2, ... in reading order.
struct bp_link_sections {
  int n_sections = 0;           // cross-sections of the link
  int first = 1;                // first defining node carrying a section (1 without interpolation)
  int last = 1;                 // last defining node carrying a section (1 without interpolation)
  std::vector<int> node;        // [j] defining node of section j
  std::vector<int> npairs;      // [j] NPAIRS of section j
  std::vector<int> num_interp;  // [j] NUM_INTERP of section j
  std::vector<std::vector<double>> x, y;  // [j][pair] profile pairs of section j (m), pair from 1
};

// Hands the link's defining nodes their table numbers (from
// ms.n_xsec_tables_used + 1) and fills the tables; an erodible link instead
// keeps one resampled profile per defining node and builds each node's table
// from it. Errors go through the error record (code 4000, or 200 for a
// height step outside 0.0001..1 m, which ends the reading).
void interp_bp_xsecs(main_state& ms, int link, const bp_link_sections& sec, double manning_n);

// Rebuilds the table of one node of an erodible breakpoint link from the
// node's stored profile (xbp_lnn, ybp_lnn).
void xsec_props_table(main_state& ms, int link, int node);

// Sizes the scratch profiles of the run once, from the largest pair count.
void size_xsec_scratch(main_state& ms);

// One row of a table: the properties of the water level `level` over a
// profile of np pairs (x[1..np], y[1..np]). `wet_at_equal_start` makes a
// first pair at the level count as wet (the bed-update rule); `refuse_flat_start`
// refuses a segment that begins between two pairs of equal y. Returns 0, 1 for
// a 50th wet segment, 2 for a flat start.
struct section_row {
  double area = 0, top_width = 0, perimeter = 0;
};
int scan_level(const double* x, const double* y, int np, double level, bool wet_at_equal_start,
               bool refuse_flat_start, section_row& out);

}  // namespace kavro
