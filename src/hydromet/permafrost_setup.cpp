#include "hydromet/permafrost_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <omp.h>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "hydromet/hydromet_steps.h"
#include "hydromet/permafrost_soil.h"
#include "hydromet/soil_temperature.h"
#include "input/map_table_format.h"
#include "input/setup_lines.h"
#include "input/soil_tables.h"

namespace kavro {

namespace {

// Sizes read from the table's header beyond these are no soil column.
constexpr int max_types = 100000;
constexpr int max_layer_count = 1000;
constexpr int max_point_count = 1000000;
// Columns 1 to 90 of a type line hold its ID and name.
constexpr std::size_t type_values_column = 90;

void refuse(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

// One header line "LABEL n": n from lo to hi.
bool read_header_count(file_wrapper& f, const std::string& path, const char* what, int lo, int hi, int& out) {
  std::string line, label, token;
  if (!read_line(line, f)) {
    refuse(format_string("Error: the permafrost soil table in %s ends before its line of %s.\n", path.c_str(), what));
    return false;
  }
  pop_token(line, label);
  const number_fault fault = pop_whole(line, out, token, lo, hi);
  if (fault == number_fault::none) return true;
  refuse(format_string("Error: in the permafrost soil table in %s, the line of %s (%s): %s.\n", path.c_str(), what,
                       printable(label).c_str(), number_fault_text(fault, token, lo, hi).c_str()));
  return false;
}

// One header line "LABEL file name".
bool read_header_file(file_wrapper& f, const std::string& path, const char* what, std::string& out) {
  std::string line, label;
  if (read_line(line, f) && pop_token(line, label) && pop_token(line, out)) return true;
  refuse(format_string("Error: the permafrost soil table in %s gives no %s.\n", path.c_str(), what));
  return false;
}

// The numbers of one line of the table, in order.
class row_numbers {
 public:
  row_numbers(std::string text, const std::string& path, int type) : line_(std::move(text)), path_(path), type_(type) {}

  bool whole(int& out, const char* what, int lo, int hi) {
    std::string token;
    const number_fault fault = pop_whole(line_, out, token, lo, hi);
    if (fault == number_fault::none) return true;
    refuse(format_string("Error: in the permafrost soil table in %s, soil type %d: %s: %s.\n", path_.c_str(), type_,
                         what, number_fault_text(fault, token, lo, hi).c_str()));
    return false;
  }
  bool real(double& out, const char* what, int layer) {
    std::string token;
    const number_fault fault = pop_real(line_, out, token);
    if (fault == number_fault::none) return true;
    refuse(format_string("Error: in the permafrost soil table in %s, soil type %d, layer %d: %s: %s.\n", path_.c_str(),
                         type_, layer, what, number_fault_text(fault, token).c_str()));
    return false;
  }

 private:
  std::string line_;
  const std::string& path_;
  int type_;
};

// The ten values of one layer: bottom depth, freezing point, total and
// unfrozen water, the unfrozen-water curve, the two conductivities and the
// skeleton's heat capacity. Values that make no soil are refused here.
bool read_layer(row_numbers& in, permafrost_layer_soil_record& t, int s, int l, const std::string& path) {
  double* dest[10] = {&t.Thick[s][l], &t.Tfr[s][l],     &t.Wvol[s][l],    &t.Wunf[s][l],    &t.Aclv[s][l],
                      &t.Bclv[s][l],  &t.Cclv[s][l],    &t.Cond_th[s][l], &t.Cond_fr[s][l], &t.Cvol[s][l]};
  static constexpr const char* names[10] = {"the layer bottom", "the freezing point", "the water content",
                                            "the unfrozen water content", "the unfrozen-water coefficient a",
                                            "the unfrozen-water exponent b", "the unfrozen-water temperature c",
                                            "the thawed conductivity", "the frozen conductivity", "the heat capacity"};
  for (int k = 0; k < 10; ++k)
    if (!in.real(*dest[k], names[k], l)) return false;
  const char* bad = nullptr;
  double value = 0;
  if (!(t.Cond_th[s][l] > 0)) bad = "the thawed conductivity", value = t.Cond_th[s][l];
  else if (!(t.Cond_fr[s][l] > 0)) bad = "the frozen conductivity", value = t.Cond_fr[s][l];
  else if (!(t.Cvol[s][l] > 0)) bad = "the heat capacity", value = t.Cvol[s][l];
  if (bad != nullptr) {
    refuse(format_string("Error: in the permafrost soil table in %s, soil type %d, layer %d: %s is %g; it must be "
                         "positive.\n",
                         path.c_str(), s, l, bad, value));
    return false;
  }
  if (!(t.Wvol[s][l] > 0 && t.Wvol[s][l] <= 1)) {
    refuse(format_string("Error: in the permafrost soil table in %s, soil type %d, layer %d: the water content is %g; "
                         "it must lie above 0 and not above 1.\n",
                         path.c_str(), s, l, t.Wvol[s][l]));
    return false;
  }
  return true;
}

// A companion file read whole: its lines, for the search of every type's ID line.
struct companion_file {
  const char* kind;  // "initial-temperature file", ...
  std::string path;
  std::vector<std::string> lines;
};

bool load_companion(companion_file& c, const char* missing_line) {
  file_wrapper f;
  if (!f.open(c.path, "r")) {
    std::fputs(missing_line, stdout);
    refuse(format_string("Error: the permafrost %s %s cannot be opened.\n", c.kind, c.path.c_str()));
    return false;
  }
  std::string line;
  while (read_raw_line(line, f)) c.lines.push_back(line);
  return true;
}

// Fills out[1..count * per_line] from the lines after the line "ID type".
// Values run on over line ends; the next ID line or the file's end before
// the last value is refused.
bool read_companion_values(const companion_file& c, int type, int count, int per_line, const char* what,
                           std::vector<double>& out) {
  const std::size_t n_lines = c.lines.size();
  std::size_t at = n_lines;
  for (std::size_t i = 0; i < n_lines && at == n_lines; ++i) {
    std::string line = c.lines[i], word;
    int id = 0;
    if (pop_token(line, word) && word == "ID" && pop_int(line, id) && id == type) at = i;
  }
  if (at == n_lines) {
    refuse(format_string("Error: the permafrost %s %s has no line \"ID %d\": soil type %d has no %s.\n", c.kind,
                         c.path.c_str(), type, type, what));
    return false;
  }
  const std::size_t want = static_cast<std::size_t>(count) * static_cast<std::size_t>(per_line);
  out.assign(1, 0.0);
  for (std::size_t i = at + 1; i < n_lines && out.size() <= want; ++i) {
    std::string line = c.lines[i], token;
    std::string first = line;
    if (pop_token(first, token) && token == "ID") break;
    while (out.size() <= want && pop_token(line, token)) {
      double v = 0;
      if (const number_fault fault = read_real(token, v); fault != number_fault::none) {
        refuse(format_string("Error: line %zu of the permafrost %s %s (soil type %d): %s.\n", i + 1, c.kind,
                             c.path.c_str(), type, number_fault_text(fault, token).c_str()));
        return false;
      }
      out.push_back(v);
    }
  }
  if (out.size() > want) return true;
  refuse(format_string("Error: the permafrost %s %s gives soil type %d %zu of the %d %s that the table in its "
                       "mapping-table file names.\n",
                       c.kind, c.path.c_str(), type, (out.size() - 1) / static_cast<std::size_t>(per_line), count,
                       what));
  return false;
}

// Depths listed by a companion file must increase down the profile.
bool check_increasing(const companion_file& c, int type, const double* depth, int n, const char* what) {
  for (int j = 2; j <= n; ++j) {
    if (depth[j] > depth[j - 1]) continue;
    refuse(format_string("Error: in the permafrost %s %s, soil type %d: %s %d at %g m does not lie below %s %d at "
                         "%g m.\n",
                         c.kind, c.path.c_str(), type, what, j, depth[j], what, j - 1, depth[j - 1]));
    return false;
  }
  return true;
}

bool read_companions(permafrost_layer_soil_record& t) {
  companion_file init{"initial-temperature file", t.init_temp_file, {}};
  companion_file nodes{"depth-node file", t.depth_node_file, {}};
  companion_file outs{"output-node file", t.output_node_file, {}};
  if (!load_companion(init, "where is the init_temp_file?\n") ||
      !load_companion(nodes, "where is the dep_node_file?\n") ||
      !load_companion(outs, "where is the output_node_file?\n"))
    return false;
  std::vector<double> v;
  for (int s = 1; s <= t.n_types; ++s) {
    if (!read_companion_values(init, s, t.Dn_init_nums[s], 2, "initial-profile points", v)) return false;
    for (int k = 1; k <= t.Dn_init_nums[s]; ++k) {
      t.Dn_init[s][k] = v[2 * k - 1];
      t.T_init[s][k] = v[2 * k];
    }
    if (!check_increasing(init, s, t.Dn_init[s], t.Dn_init_nums[s], "point")) return false;
    if (!read_companion_values(nodes, s, t.Dn_nums[s], 1, "node depths", v)) return false;
    for (int j = 1; j <= t.Dn_nums[s]; ++j) t.Depth[s][j] = v[j];
    if (!check_increasing(nodes, s, t.Depth[s], t.Dn_nums[s], "node")) return false;
    if (!read_companion_values(outs, s, t.Dn_out_nums[s], 1, "output nodes", v)) return false;
    for (int j = 1; j <= t.Dn_out_nums[s]; ++j) t.Dn_out[s][j] = v[j];
  }
  return true;
}

// The layer of every node of every type: the first whose bottom, with a
// millimetre's grace, is not above the node; below the last bottom the
// deepest layer.
void fill_node_layers(permafrost_layer_soil_record& t) {
  for (int s = 1; s <= t.n_types; ++s)
    for (int j = 1; j <= t.Dn_nums[s]; ++j) {
      int layer = t.n_layers[s];
      for (int i = 1; i <= t.n_layers[s]; ++i)
        if (t.Depth[s][j] <= t.Thick[s][i] + 0.001) {
          layer = i;
          break;
        }
      t.node_layer[s][j] = layer;
    }
}

bool alloc_type_tables(permafrost_layer_soil_record& t) {
  const long n = t.n_types, l = t.max_layers;
  for (dmat* m : {&t.Thick, &t.Tfr, &t.Wvol, &t.Wunf, &t.Aclv, &t.Bclv, &t.Cclv, &t.Cond_th, &t.Cond_fr, &t.Cvol})
    if (!alloc_dmat_zero(*m, n, l, m->name())) return false;
  return alloc_ivec(t.n_layers, n, "n_layers") && alloc_ivec(t.Dn_init_nums, n, "Dn_init_nums") &&
         alloc_ivec(t.Dn_nums, n, "Dn_nums") && alloc_ivec(t.Dn_out_nums, n, "Dn_out_nums");
}

// One type line: from column 91 on its counts and its first layer, then a
// line of ten values for every further layer.
bool read_type(file_wrapper& f, const std::string& path, permafrost_layer_soil_record& t, int s) {
  std::string line;
  if (!read_line(line, f)) {
    refuse(format_string("Error: the permafrost soil table in %s ends before the line of soil type %d of %d.\n",
                         path.c_str(), s, t.n_types));
    return false;
  }
  if (line.size() <= type_values_column) {
    refuse(format_string("Error: in the permafrost soil table in %s, the line of soil type %d has no values from "
                         "column %zu on.\n",
                         path.c_str(), s, type_values_column + 1));
    return false;
  }
  row_numbers in(line.substr(type_values_column), path, s);
  if (!in.whole(t.n_layers[s], "the number of layers", 1, t.max_layers) ||
      !in.whole(t.Dn_init_nums[s], "the number of initial-profile points", 1, t.max_init_points) ||
      !in.whole(t.Dn_nums[s], "the number of nodes (at least 3)", 3, t.max_depth_nodes) ||
      !in.whole(t.Dn_out_nums[s], "the number of output nodes", 0, t.max_depth_nodes) || !read_layer(in, t, s, 1, path))
    return false;
  for (int l = 2; l <= t.n_layers[s]; ++l) {
    if (!read_line(line, f)) {
      refuse(format_string("Error: the permafrost soil table in %s ends before layer %d of soil type %d.\n",
                           path.c_str(), l, s));
      return false;
    }
    row_numbers layer(line, path, s);
    if (!read_layer(layer, t, s, l, path)) return false;
  }
  return true;
}

}  // namespace

int read_permafrost_soil_file(file_wrapper& f, permafrost_layer_soil_record& t, int) {
  const std::string path = f.name;
  clear_permafrost_layer_soil(t);
  if (!read_header_count(f, path, "the number of soil types", 1, max_types, t.n_types) ||
      !read_header_count(f, path, "the largest number of layers", 1, max_layer_count, t.max_layers) ||
      !read_header_count(f, path, "the largest number of initial-profile points", 1, max_point_count,
                         t.max_init_points) ||
      !read_header_count(f, path, "the largest number of nodes", 3, max_point_count, t.max_depth_nodes) ||
      !read_header_file(f, path, "initial-temperature file", t.init_temp_file) ||
      !read_header_file(f, path, "depth-node file", t.depth_node_file) ||
      !read_header_file(f, path, "output-node file", t.output_node_file) || !alloc_type_tables(t))
    return -1;
  skip_card_lines(f);
  for (int s = 1; s <= t.n_types; ++s)
    if (!read_type(f, path, t, s)) return -1;
  for (int s = 1; s <= t.n_types; ++s) {
    t.max_node_count = std::max(t.max_node_count, t.Dn_nums[s]);
    t.max_out_count = std::max(t.max_out_count, t.Dn_out_nums[s]);
  }
  if (!alloc_dmat_zero(t.Dn_init, t.n_types, t.max_init_points, "Dn_init") ||
      !alloc_dmat_zero(t.T_init, t.n_types, t.max_init_points, "T_init") ||
      !alloc_dmat_zero(t.Depth, t.n_types, t.max_node_count, "Depth") ||
      !alloc_dmat_zero(t.Dn_out, t.n_types, std::max(1, t.max_out_count), "Dn_out") ||
      !alloc_imat_zero(t.node_layer, t.n_types, t.max_node_count, "node_layer") || !read_companions(t))
    return -1;
  fill_node_layers(t);
  return t.n_types;
}

double initial_profile_temperature(const permafrost_layer_soil_record& t, int s, double z) {
  const int points = t.Dn_init_nums[s];
  const double* d = t.Dn_init[s];
  const double* temp = t.T_init[s];
  if (points < 2) return temp[1];
  // The segment whose points enclose the node; the end segments run on
  // beyond the first and the last point.
  int k = 1;
  while (k + 1 < points && d[k + 1] <= z) ++k;
  return temp[k] + (temp[k + 1] - temp[k]) * (z - d[k]) / (d[k + 1] - d[k]);
}

void read_permafrost_soil_setup(main_state& ms) {
  if (ms.KOTU_soiltype.size() < ms.n_cells) alloc_ivec(ms.KOTU_soiltype, ms.n_cells, "KOTU_soiltype");
  print_setup_line(ms, "Reading permafrost Soil Table\n");
  if (read_permafrost_soil_table(ms) < 1 || error_rec.code != 0 || error_rec.stop) return;
  permafrost_layer_soil_record& t = ms.permafrost_layer_soil;
  for (long c = 1; c <= ms.n_cells; ++c) {
    if (ms.permaf_mask[c] <= 0) continue;
    const int s = ms.KOTU_soiltype[c];
    if (s >= 1 && s <= t.n_types) continue;
    refuse(format_string("Error: permafrost cell %ld has permafrost soil type %d; the permafrost soil table gives "
                         "types 1 to %d.\n",
                         c, s, t.n_types));
    return;
  }
  const long nodes = t.max_node_count;
  const long slots = std::max(nodes, 3L);  // the Green-Ampt couplings use three layer slots
  if (ms.water_table_on && ms.gw_simulation_on && !alloc_dvec(ms.extent_KOTUgw, ms.n_cells, "extent_KOTUgw")) return;
  if (!alloc_dmat_zero(ms.perma_tem, ms.n_cells, nodes, "perma_tem") ||
      !alloc_dmat_zero(ms.fr_lq_wat, ms.n_cells, slots, "fr_lq_wat") ||
      !alloc_dmat_zero(ms.K_init, ms.n_cells, slots, "K_init") ||
      !alloc_imat_zero(ms.node_toKOTU, ms.n_cells, slots, "node_toKOTU") ||
      !alloc_imat_zero(ms.node_fromKOTU, ms.n_cells, slots, "node_fromKOTU"))
    return;
  for (long c = 1; c <= ms.n_cells; ++c) {
    if (ms.permaf_mask[c] <= 0) continue;
    const int s = ms.KOTU_soiltype[c];
    for (int j = 1; j <= t.Dn_nums[s]; ++j) ms.perma_tem[c][j] = initial_profile_temperature(t, s, t.Depth[s][j]);
  }
  size_soil_temperature_work(t, std::max(1, omp_get_max_threads()));
}

}  // namespace kavro
