// Couplings of the permafrost soil temperatures with the water in the soil:
// node maps between the soil water model and the temperature nodes, the
// conductivity of frozen soil, and the thawed part of a saturated aquifer.
#pragma once

namespace kavro {

struct main_state;

// Impedance of ice in the pores at soil temperature T (C): 1 at or above
// 0 C, (1 / ((0.7 |1.22 T|)^2 + 1))^0.6667 below.
double frozen_impedance(double T);
// Conductivity of frozen soil of unfrozen conductivity k with impedance I:
// k^I 0.01^(1 - I).
double frozen_conductivity(double k, double impedance);

// Maps the Richards nodes of `cell` to the permafrost temperature nodes and
// back (node_toKOTU, node_fromKOTU). 0.
int map_layers_to_temp_nodes(main_state& ms, long cell);

// Reduces the relative conductivity KHEAD of the frozen Richards nodes of
// `cell` in place, keeping the unreduced values in K_init and the
// impedances in fr_lq_wat. 0. Touches only the cell's own rows.
int frozen_conductivity_column(main_state& ms, long cell);
// Writes the listing "KVPLhydroCon_linkage.txt" of active cell 45 after a
// Richards pass over the cells.
void write_hydro_con_listing(main_state& ms);

// Writes the listing "KVPLnode_linkage_GA.txt" of active cell 45 after the
// Green-Ampt layers of every cell were linked to the temperature nodes.
void write_ga_node_listing(main_state& ms);

// Length (m) of the depth interval [top, bottom] that lies within the
// nodes z[1..n] and where the temperature, linear between the nodes, is
// above -0.06 C.
double thawed_length(const double* z, const double* temp, int n, double top, double bottom);
// The thawed saturated thickness extent_KOTUgw of every permafrost cell
// between its aquifer bottom and its water-table head (elevations, m, per
// cell from 1) under ground elevations `ground`; cells outside the mask keep
// 0. Writes the listing "KVPL_GW_Transmissivity.txt". 0.
int thawed_aquifer_thickness(main_state& ms, const double* ground, const double* head, const double* bottom);

}  // namespace kavro
