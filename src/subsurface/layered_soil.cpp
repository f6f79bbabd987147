// The layered soil table of multi-layer Green-Ampt infiltration: per soil
// type three layer lines of conductivity (cm/h), pore-size index, suction
// head (cm), porosity, field capacity, wilting point, residual saturation,
// initial moisture and, for the upper two layers, the thickness (cm). Every
// value is checked as it is read; a refused value is named with the file it
// came from.
#include "subsurface/layered_soil.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "input/map_table_format.h"
#include "subsurface/soil_type_table.h"

namespace kavro {

namespace {

constexpr double least = 1e-16;
// Description words may stand before the conductivity of a line: the first
// non-zero of this many tokens is taken.
constexpr int ks_search_tokens = 87;

// One soil's values as read, layers 1 to 3.
struct layered_soil_row {
  double ks[4] = {}, lambda[4] = {}, suction[4] = {}, porosity[4] = {}, fc[4] = {}, wp[4] = {}, residual[4] = {},
         initial[4] = {}, depth[4] = {};
};

// Prints a refusal and the line that names the file and the value.
int refuse(const file_wrapper& f, const std::string& message, double value) {
  std::fputs(message.c_str(), stdout);
  std::printf("  in the multi-layer soil table of %s the value read is %g\n", f.name.c_str(), value);
  return 0;
}

// The next value of the line: a token that is not a number reads 0, and
// a line without more tokens gives 0.
double next_value(std::string& line) {
  double v = 0.0;
  if (!pop_double(line, v)) return 0.0;
  return v;
}

// Reads the line of layer l of soil `id` into `row`; 0 (refused, printed)
// or 1.
int read_layer_line(const file_wrapper& f, std::string line, int id, int l, layered_soil_row& row) {
  double ks = 0.0;
  for (int i = 0; i < ks_search_tokens && ks == 0.0; ++i) ks = next_value(line);
  row.ks[l] = ks;
  if (!std::isfinite(ks))
    return refuse(f, format_string("Soil hydraulic conductivity for layer %d of soil %d must be greater than zero \n", l, id), ks);
  const double lambda = row.lambda[l] = next_value(line);
  if (!(lambda >= least && lambda <= 1.0))
    return refuse(f, format_string("Lamda for layer %d of soil %d must be between 0.0 and 1.0 \n", l, id), lambda);
  const double suction = row.suction[l] = next_value(line);
  if (!(suction >= least) || !std::isfinite(suction))
    return refuse(f, format_string("Suction head for layer %d of soil %d must be greater than zero \n", l, id), suction);
  const double porosity = row.porosity[l] = next_value(line);
  if (!(porosity >= least && porosity <= 1.0))
    return refuse(f, format_string("Porosity for layer %d of soil %d must be between 0.0 and 1.0 \n", l, id), porosity);
  const double fc = row.fc[l] = next_value(line);
  if (!(fc >= least && fc <= porosity))
    return refuse(f, format_string("Field Capacity for layer %d of soil %d must be between 0.0 and porosity \n", l, id), fc);
  const double wp = row.wp[l] = next_value(line);
  if (!(wp >= least && wp <= fc))
    return refuse(f, format_string("Wilting point for layer %d of soil %d must be between 0.0 and field capacity \n", l, id), wp);
  const double residual = row.residual[l] = next_value(line);
  if (!(residual >= least && residual <= wp))
    return refuse(f, format_string("Residual saturation for layer %d of soil %d must be between 0.0 and wilting point \n", l, id), residual);
  const double initial = row.initial[l] = next_value(line);
  if (!(initial >= residual && initial <= porosity))
    return refuse(f, format_string("Initial moisture for layer %d of soil %d must be between residual saturation and porosity \n ", l, id), initial);
  if (l < 3) {
    const double depth = row.depth[l] = next_value(line);
    if (!std::isfinite(depth))
      return refuse(f, format_string("Layer thickness for layer %d of soil %d must be a number \n", l, id), depth);
  }
  return 1;
}

void store(const layered_soil_row& row, soil_type_params& p) {
  for (int l = 1; l <= 3; ++l) {
    p.layer_ks[l] = row.ks[l];
    p.layer_lambda[l] = row.lambda[l];
    p.layer_suction_head[l] = row.suction[l];
    p.layer_porosity[l] = row.porosity[l];
    p.layer_field_capacity[l] = row.fc[l];
    p.layer_wilting_point[l] = row.wp[l];
    p.layer_residual_moisture[l] = row.residual[l];
    p.layer_initial_moisture[l] = row.initial[l];
  }
  p.layer_depth[1] = row.depth[1];
  p.layer_depth[2] = row.depth[2];
}

// The count behind the word of a header line; 0 when there is none.
int header_count(file_wrapper& f) {
  std::string line, word;
  int count = 0;
  if (!read_line(line, f) || !pop_token(line, word) || !pop_int(line, count)) return 0;
  return count;
}

}  // namespace

int read_mlga_soil_params(file_wrapper& f, soil_type_store& table) {
  const int n_soils = header_count(f);
  header_count(f);  // the second count line is not used
  if (n_soils < 1) return n_soils;
  skip_card_lines(f);
  for (int s = 1; s <= n_soils; ++s) {
    layered_soil_row row;
    int id = 0;
    for (int l = 1; l <= 3; ++l) {
      std::string line;
      if (!read_line(line, f)) {
        std::printf("The multi-layer soil table of %s ends before layer %d of soil %d of %d \n", f.name.c_str(), l,
                    s, n_soils);
        return 0;
      }
      if (l == 1) {
        double value = 0.0;
        pop_double(line, value);
        if (!(value >= 0.0 && value < static_cast<double>(soil_type_store::size())) || value != std::floor(value))
          return refuse(f, format_string("Soil ID of soil %d must be a whole number from 0 to %ld \n", s,
                                         soil_type_store::size() - 1),
                        value);
        id = static_cast<int>(value);
      }
      if (!read_layer_line(f, line, id, l, row)) return 0;
    }
    for (int l = 1; l <= 3; ++l) {
      if (!(row.ks[l] >= least))
        return refuse(f, format_string("Soil hydraulic conductivity for layer %d of soil %d must be greater than zero \n", l, id),
                      row.ks[l]);
    }
    store(row, table[id]);
  }
  return n_soils;
}

}  // namespace kavro
