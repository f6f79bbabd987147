// The overland sediment model: soil detached by raindrops and by flowing
// water, carried across the cell faces up to a transport capacity, settled
// back on the bed, delivered to channel lakes or out of the grid, by size
// class. Volumes are m3 of solid sediment (mass / 2645.23 kg/m3).
//
// The state is `vol_sed` of the overland sediment record, per cell and
// class: component 1 the parent soil (0 at the start, falling as soil is
// detached), 2 suspended, 3 deposited, 4 discharged through the outlet.
// Every volume moved leaves one component and enters another, so for every
// class -sum(component 1) = sum(components 2 and 3) + component 4 of the
// outlet + what the channels and lakes received. The step itself and the
// routing step's bookkeeping after it are declared in transport_seams.h.
#pragma once

#include "framework/one_based.h"

namespace kavro {

struct main_state;

// The arrays of the overland sediment model and its work arrays, sized by
// the run's cells and classes, with the classes sorted into fine (below
// SAND_SIZE) and sand. Needs n_sed_classes, kin_viscosity, sand_size and
// the class table of ov_sed (spec_grav, part_diam); called by the set-up.
void allocate_sediment_arrays(main_state& ms);
// Kinematic viscosity of water (m2/s) at `temp_c` degrees C.
double kinematic_viscosity(double temp_c);
// Settling velocity (m/s) of a particle of diameter d (m) and specific
// gravity s in water of viscosity nu: Stokes' law up to 0.1 mm, above it
// the dimensionless-diameter form.
double fall_velocity(double d, double spec_grav, double nu);

// The weight of a class in capacity formula 1: 1 / ((s - 1)^2 d), d the
// diameter in m (given in mm).
double formula1_class_factor(double spec_grav, double diam_mm);

// The parts of a transport capacity that do not depend on the load of the
// source cell: term[0] is 1 when the face can carry anything (unit
// discharge and depth above 1e-16), terms 1.. the formula's factors for
// one step (block factor included). capacity_term_count gives how many
// factor terms a formula has.
int capacity_term_count(int formula);
void capacity_terms(int formula, double slope, double depth, double q, double dt, double dx, double sed_K,
                    double block, double* term);

// Transport capacity (m3 for one step of dt s) of formula `formula` for the
// source cell k: slope S (m/m), depth h (m), unit discharge q (m2/s), cell
// size dx (m), the multiplier sed_K, `mass_to_volume` = dt dx / 2645.23 and
// block factor f. Formula 1 takes the class fractions of the suspended load
// (else of the deposit, else of the parent soil), formulas 3 to 6 the median
// diameter of the cell; any formula other than 1 to 6 gives q. As a side
// effect the fractions it used are stored in sed_fract of cell k.
double ov_transport_capacity(int formula, long k, double S, double h, double q, double dt, double dx,
                             d3d& sed_fract, const dvec& part_diam, const dvec& spec_grav, double sed_K,
                             int n_classes, double mass_to_volume, d3d& vol_sed, double f);

// Median diameter (micrometres) of the suspended load of cell k, else of its
// deposit, else of its parent soil, interpolated logarithmically between the
// classes (class n is taken as the finest).
double sediment_d50(long k, int n_classes, const dvec& part_diam, d3d& vol_sed, d3d& sed_fract);

// Soil splashed by rain of intensity I (mm/h) onto water of depth h (m) on
// cell k over dt s: the deposit first, parent soil (never in a channel cell)
// for the rest; what is lifted is added to `eroded` [cell][class].
void raindrop_detachment(long k, double I, double h, d3d& sed_fract, d3d& vol_sed, double dt, double dx,
                         double splash_K, double coef, double expo, int n_classes, const ivec& channel_cells,
                         dmat& eroded);
// Soil scoured by flow of depth h on slope S over dt s while the suspended
// load is below the capacity C; `block` is the cell's blocked fraction when
// blockage is on (block_on). Returns the potential volume.
double flow_detachment(long k, double S, double h, d3d& sed_fract, d3d& vol_sed, double dt, double dx,
                       double coef, double expo, double crit, int n_classes, const ivec& channel_cells,
                       dmat& eroded, double C, int block_on, const dvec& block);

// Wall-clock seconds of the phases of overland sediment steps (for the
// benchmark): detachment, the load-free capacity terms of the faces, the
// transport sweep, settling with the output copies.
struct sediment_phase_times {
  double detach = 0, faces = 0, sweep = 0, settle = 0;
};
// One overland sediment step that adds its phase times to `times`.
void ov_sediment_transport_timed(main_state& ms, double dt, sediment_phase_times& times);

}  // namespace kavro
