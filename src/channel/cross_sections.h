// Hydraulic properties of the channel cross-sections.
#pragma once

#include "framework/one_based.h"

namespace kavro {

struct main_state;

// Section properties of every node of the network. Mode 1: water surface
// yp and properties from the flow areas `area_values` ([node][link]; the
// routing may pass its own predicted areas). Mode 2: area, top width and
// conveyance from the depth yp - bel. Any other mode does nothing. Errors
// print their message and set code 4000.
// Serial over links and nodes: an error stops the links after it.
void ex_section(main_state& ms, int mode, dmat& area_values);

// The same for one node of a trapezoid or breakpoint link (other links are
// left alone); false after an error message (the caller sets the code).
bool node_section(main_state& ms, int mode, int node, int link, dmat& area_values);

// The flow area (m2) of node `node` of link `link` at depth y (m) above its
// bed, from the link's trapezoid or breakpoint table; 0 for y <= 0 and for
// links of other kinds. Reads the network only: the node keeps its state.
double section_area_at_depth(const main_state& ms, int node, int link, double y);

// New profiles and bed elevations of the erodible breakpoint nodes from the
// bed change that channel sediment transport left; with the bed switch on
// also the stored profiles, bel and the node tables. Failures print their
// message and set the code (200 ends the run); the result is 0.
int xsec_update(main_state& ms);

}  // namespace kavro
