// Units and small formulas shared by the constituent steps: the soil mass of
// a layer, the dissolved share of a soil layer and the release of pending
// amounts. Masses in g, concentrations of water in g/m3, of soil in mg/kg.
#pragma once

namespace kavro {

inline constexpr double tiny_amount = 1e-16;       // a depth, mass or rate at or below this counts as none
inline constexpr double seconds_per_day = 86400.0;
inline constexpr double grams_per_kg = 1000.0;
inline constexpr double soil_particle_density = 2.65;  // g/cm3 of the soil solids
inline constexpr double release_slack_s = 0.5;     // a step this much shorter than its amount's interval takes a share

// Mass (g) in a soil layer of thickness h (m) and porosity n under a cell of
// `area` m2 at concentration c (mg/kg): solids volume x density x c.
inline double soil_layer_mass(double c_mg_per_kg, double n, double h, double area) {
  return (1.0 - n) * c_mg_per_kg * h * area * soil_particle_density;
}

// Concentration (mg/kg) of `mass` g in such a layer; 0 for a layer without solids.
inline double soil_layer_conc(double mass, double n, double h, double area) {
  const double solids = (1.0 - n) * h * area * soil_particle_density;
  return solids > tiny_amount ? mass / solids : 0.0;
}

// Share of a soil layer's mass dissolved in its pore water, water content
// theta, porosity n, partition coefficient kd (L/kg).
inline double soil_dissolved_fraction(double theta, double n, double kd) {
  return theta / ((1.0 - n) * kd * soil_particle_density + theta);
}

// The part of a pending amount gathered over T seconds that a step of x
// seconds releases: all of it unless the step is shorter by more than 0.5 s.
inline double release_fraction(double x, double t, double amount) {
  return x < t - release_slack_s ? amount * x / t : amount;
}

}  // namespace kavro
