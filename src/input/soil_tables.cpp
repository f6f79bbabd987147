#include "input/soil_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "hydromet/permafrost_setup.h"
#include "input/ascii_map.h"
#include "input/cell_loaders.h"
#include "input/map_table_check.h"
#include "input/map_table_format.h"
#include "subsurface/layered_soil.h"

namespace kavro {

namespace {

constexpr int havercamp_card = 6;
constexpr int brooks_card = 7;
constexpr int multi_layer_card = 201;
constexpr int permafrost_card = 203;

// Columns 1 to 86 of a mapping-table row hold the ID and its name.
constexpr std::size_t table_values_column = 86;
// More nodes than this in one soil column is no soil column.
constexpr double max_column_nodes = 1e6;

void refuse(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

// The numbers of a soil table in reading order, line after line; names the
// soil and the value in its messages.
class soil_tokens {
 public:
  soil_tokens(file_wrapper& f, const std::string& path) : f_(f), path_(path) {}

  void set_soil(int entry, int type) {
    entry_ = entry;
    type_ = type;
  }
  // Restricts the next numbers to `text` (one table row) until it is used up.
  void use_row(std::string text) {
    line_ = std::move(text);
    row_only_ = true;
  }
  void end_row() {
    line_.clear();
    row_only_ = false;
  }

  bool next_double(double& out, const char* what, int layer) {
    std::string token;
    if (!next_token(token)) {
      refuse(format_string("Error: the soil table %s ends early in soil %d (type %d): %s of layer %d is missing.\n",
                           path_.c_str(), entry_, type_, what, layer));
      return false;
    }
    if (read_real(token, out) != number_fault::none) {
      refuse(format_string("Error: in the soil table %s, soil %d (type %d): %s of layer %d is \"%s\", not a "
                           "number.\n",
                           path_.c_str(), entry_, type_, what, layer, printable(token).c_str()));
      return false;
    }
    return true;
  }

  bool next_int(int& out, const char* what) {
    std::string token;
    if (!next_token(token)) {
      refuse(format_string("Error: the soil table %s ends early: %s of soil %d is missing.\n", path_.c_str(), what,
                           entry_));
      return false;
    }
    if (read_int(token, out, -2147483647, 2147483647) == number_fault::none) return true;
    refuse(format_string("Error: in the soil table %s, %s of soil %d is \"%s\", not a whole number.\n",
                         path_.c_str(), what, entry_, printable(token).c_str()));
    return false;
  }

 private:
  bool next_token(std::string& token) {
    while (true) {
      if (pop_token(line_, token)) return true;
      if (row_only_ || !read_line(line_, f_)) return false;
    }
  }

  file_wrapper& f_;
  const std::string& path_;
  std::string line_;
  bool row_only_ = false;
  int entry_ = 0, type_ = 0;
};

// A soil-type number must index the soil-type table.
bool check_soil_type(const std::string& path, int entry, int type) {
  if (type >= 0 && type < soil_type_store::size()) return true;
  refuse(format_string("Error: soil %d of the soil table %s has soil type %d, outside 0 to %ld.\n", entry,
                       path.c_str(), type, soil_type_store::size() - 1));
  return false;
}

// One Richards layer record of form 1 (Brooks-Corey) or 2 (Havercamp).
bool read_richards_layer(soil_tokens& in, int form, soil_type_params& p, int l) {
  static constexpr const char* names[] = {"saturated conductivity", "porosity", "residual saturation",
                                          "initial moisture", "wilting point", "field capacity",
                                          "layer thickness"};
  double v[7];
  for (int k = 0; k < 7; ++k)
    if (!in.next_double(v[k], names[k], l)) return false;
  p.layer_ks[l] = v[0];
  p.layer_porosity[l] = v[1];
  p.layer_residual_moisture[l] = v[2];
  p.layer_initial_moisture[l] = v[3];
  p.layer_wilting_point[l] = v[4];
  p.layer_field_capacity[l] = v[5];
  p.layer_depth[l] = v[6];
  if (form == 1) {
    double bubbling = 0;
    if (!in.next_double(p.layer_lambda[l], "pore-size distribution index", l) ||
        !in.next_double(bubbling, "bubbling pressure", l))
      return false;
    p.layer_bubbling_pressure[l] = -std::fabs(bubbling);
  } else if (!in.next_double(p.layer_havercamp_1[l], "Havercamp coefficient 1", l) ||
             !in.next_double(p.layer_havercamp_2[l], "Havercamp coefficient 2", l) ||
             !in.next_double(p.layer_havercamp_3[l], "Havercamp coefficient 3", l) ||
             !in.next_double(p.layer_havercamp_4[l], "Havercamp coefficient 4", l)) {
    return false;
  }
  return in.next_double(p.layer_node_spacing[l], "node spacing", l);
}

// Nodes of one layer: its thickness over its node spacing, truncated.
bool layer_nodes(const std::string& path, int type, const soil_type_params& p, int l, int& nodes) {
  const double d = p.layer_depth[l], z = p.layer_node_spacing[l];
  if (!(z > 0)) {
    refuse(format_string("Error: soil type %d of the soil table %s has a node spacing of %g cm in layer %d; node "
                         "spacings must be positive.\n",
                         type, path.c_str(), z, l));
    return false;
  }
  const double q = d / z;
  if (!(q >= 0 && q <= max_column_nodes)) {
    refuse(format_string("Error: soil type %d of the soil table %s: layer %d of %g cm with a node spacing of %g cm "
                         "gives no usable node count.\n",
                         type, path.c_str(), l, d, z));
    return false;
  }
  nodes = static_cast<int>(q);
  return true;
}

// Grows a node-count vector to hold soil types 0..highest, keeping its values.
void grow_type_vector(ivec& v, long highest) {
  if (v.size() >= highest) return;
  ivec grown{v.name()};
  alloc_ivec(grown, highest, v.name());
  for (long t = 0; t <= v.size() && !v.empty(); ++t) grown[t] = v[t];
  v = std::move(grown);
}

// Nodes of the soil column of one cell above an aquifer (water table on).
long column_nodes_with_aquifer(double thickness_above_aquifer, double delta_z, int num3) {
  if (!(thickness_above_aquifer > 0)) return num3 + 1L;
  const double intervals = thickness_above_aquifer / delta_z;
  if (intervals < 1) return num3 + 2L;
  const double whole = std::trunc(intervals);
  return num3 + static_cast<long>(whole) + 1 + (intervals - whole >= 0.25 ? 1 : 0);
}

// Opens the mapping table, seeks `card` and opens its index map. False when
// the index map does not open (its path, possibly empty, in `map_path`).
bool open_card_and_map(main_state& ms, int card, file_wrapper& table, file_wrapper& map, std::string& map_path) {
  map_path.clear();
  if (table.open(ms.mapping_table_path, "r")) seek_map_table_card(table, card, map_path);
  return !map_path.empty() && map.open(map_path, "r");
}

}  // namespace

int read_soil_table(file_wrapper& f, const std::string& path, main_state& ms, soil_table_source source) {
  const int form = ms.richards_c_option;
  soil_tokens in(f, path);
  int n_soils = 0, unused = 0;
  const bool from_table = source == soil_table_source::mapping_table;
  if (from_table) {
    std::string line, word;
    if (!read_line(line, f)) line.clear();
    pop_token(line, word);
    in.use_row(line);
    if (!in.next_int(n_soils, "the number of soils")) return 0;
    in.end_row();
    if (read_line(line, f)) {
      pop_token(line, word);
      pop_int(line, unused);
    }
    skip_card_lines(f);
  } else if (!in.next_int(n_soils, "the number of soils") || !in.next_int(unused, "the second header number")) {
    return 0;
  }
  if (n_soils < 0 || n_soils > soil_type_store::size()) {
    refuse(format_string("Error: the soil table %s declares %d soils, not between 0 and %ld.\n", path.c_str(),
                         n_soils, soil_type_store::size()));
    return 0;
  }
  const bool long_term = ms.long_term_on && !from_table;
  long highest_type = std::max<long>(ms.richards_num_size, 151);
  if (form == 1 || form == 2) {
    for (int s = 1; s <= n_soils; ++s) {
      int type = 0;
      in.set_soil(s, 0);
      if (from_table) {
        std::string row;
        if (!read_line(row, f)) {
          refuse(format_string("Error: the soil table %s ends early: the row of soil %d is missing.\n",
                               path.c_str(), s));
          return 0;
        }
        in.use_row(row.substr(0, std::min(row.size(), table_values_column)));
        if (!in.next_int(type, "the soil-type number")) return 0;
        // The layer-1 record begins at column 87, like the values of every
        // other table; a row written from column 88 has a blank there.
        in.use_row(row.size() > table_values_column ? row.substr(table_values_column) : std::string());
      } else if (!in.next_int(type, "the soil-type number")) {
        return 0;
      }
      if (!check_soil_type(path, s, type)) return 0;
      in.set_soil(s, type);
      soil_type_params& p = ms.soil_type_table[type];
      if (long_term && (!in.next_double(p.soil_albedo, "albedo", 1) ||
                        !in.next_double(p.soil_veg_height, "vegetation height", 1) ||
                        !in.next_double(p.soil_transmission, "transmission coefficient", 1) ||
                        !in.next_double(p.soil_canopy_resistance, "canopy resistance", 1)))
        return 0;
      for (int l = 1; l <= 3; ++l) {
        if (!read_richards_layer(in, form, p, l)) return 0;
        if (l == 1) in.end_row();  // layers 2 and 3 follow in free format
      }
      int n1 = 0, n2 = 0, n3 = 0;
      if (!layer_nodes(path, type, p, 1, n1) || !layer_nodes(path, type, p, 2, n2) ||
          !layer_nodes(path, type, p, 3, n3))
        return 0;
      highest_type = std::max<long>(highest_type, type);
      grow_type_vector(ms.num1, highest_type);
      grow_type_vector(ms.num2, highest_type);
      grow_type_vector(ms.num3, highest_type);
      ms.num1[type] = n1;
      ms.num2[type] = n2 + n1;
      ms.num3[type] = n3 + n2 + n1 + 1 - (ms.water_table_on ? 1 : 0);
    }
  }
  if (ms.n_cells < 1) return 2;

  long largest = 0;
  for (long i = 1; i <= ms.n_cells; ++i) {
    const int t = ms.soiltype.empty() ? 0 : ms.soiltype[i];
    if (t < 0 || t > ms.num3.size()) {
      refuse(format_string("Error: cell %ld has soil type %d, outside the soil types 0 to %ld of the soil table "
                           "%s.\n",
                           i, t, ms.num3.size(), path.c_str()));
      return 0;
    }
    const soil_type_params& p = ms.soil_type_table[t];
    if (long_term) {
      // The vegetation maps exist only for the evapotranspiration method
      // that reads them.
      const auto set = [i](dvec& v, double value) {
        if (i <= v.size()) v[i] = value;
      };
      set(ms.albedo, p.soil_albedo);
      set(ms.veg, p.soil_veg_height);
      set(ms.Kt, p.soil_transmission);
      set(ms.Rs, p.soil_canopy_resistance);
    }
    long nodes = ms.num3[t];
    if (ms.water_table_on) {
      const double above =
          ms.elevation[i] - ms.bottom_elev[i] - (p.layer_depth[1] + p.layer_depth[2] + p.layer_depth[3]) / 100.0;
      if (above > 0 && !(ms.aquifer_delta_z > 0 && above / ms.aquifer_delta_z <= max_column_nodes)) {
        refuse(format_string("Error: cell %ld lies %g m above the aquifer bottom; with the aquifer node spacing "
                             "%g m that gives no usable soil column.\n",
                             i, above, ms.aquifer_delta_z));
        return 0;
      }
      const long b = column_nodes_with_aquifer(above, ms.aquifer_delta_z, ms.num3[t]);
      ms.numtot[i] = static_cast<int>(b);
      nodes = b + 9;
    }
    ms.numcells[i] = static_cast<int>(nodes);
    largest = std::max(largest, nodes);
  }
  return static_cast<int>(largest + 2);
}

bool read_layered_soil_table(file_wrapper& f, const std::string& path, soil_type_store& table) {
  static constexpr const char* names[] = {"saturated conductivity", "pore-size distribution index",
                                          "suction head", "porosity", "field capacity", "wilting point",
                                          "residual moisture", "initial moisture", "layer thickness"};
  soil_tokens in(f, path);
  std::string line;
  int n_soils = 0, unused = 0;
  // The header and every record stand on lines of their own.
  auto next_line = [&]() {
    if (!read_line(line, f)) line.clear();
    in.use_row(line);
  };
  next_line();
  if (!in.next_int(n_soils, "the number of soils")) return false;
  next_line();
  in.next_int(unused, "the second header number");
  if (n_soils < 0 || n_soils > soil_type_store::size()) {
    refuse(format_string("Error: the soil table %s declares %d soils, not between 0 and %ld.\n", path.c_str(),
                         n_soils, soil_type_store::size()));
    return false;
  }
  for (int s = 1; s <= n_soils; ++s) {
    int type = 0;
    in.set_soil(s, 0);
    next_line();
    if (!in.next_int(type, "the soil-type number") || !check_soil_type(path, s, type)) return false;
    in.set_soil(s, type);
    soil_type_params& p = table[type];
    for (int l = 1; l <= 3; ++l) {
      next_line();
      double* dest[] = {&p.layer_ks[l],           &p.layer_lambda[l],          &p.layer_suction_head[l],
                        &p.layer_porosity[l],     &p.layer_field_capacity[l],  &p.layer_wilting_point[l],
                        &p.layer_residual_moisture[l], &p.layer_initial_moisture[l], &p.layer_depth[l]};
      const int values = l < 3 ? 9 : 8;  // the deepest layer has no thickness
      for (int k = 0; k < values; ++k)
        if (!in.next_double(*dest[k], names[k], l)) return false;
    }
  }
  return true;
}

int read_richards_soil_table(main_state& ms) {
  const int card = ms.richards_c_option == 1 ? brooks_card : ms.richards_c_option == 2 ? havercamp_card : 0;
  if (card == 0) return 0;
  file_wrapper table, map;
  std::string map_path;
  if (!open_card_and_map(ms, card, table, map, map_path)) {
    error_rec.code = 132;
    error_rec.name = map_path;
    return -1;
  }
  read_cell_map(ms, map, map_path, map_categories, nullptr, &ms.soiltype);
  if (error_rec.stop) return 0;
  return read_soil_table(table, ms.mapping_table_path, ms, soil_table_source::mapping_table);
}

int read_multi_layer_soil_table(main_state& ms) {
  file_wrapper table, map;
  std::string map_path;
  if (!open_card_and_map(ms, multi_layer_card, table, map, map_path)) {
    error_rec.code = 136;
    error_rec.name = map_path;
    return -1;
  }
  read_cell_map(ms, map, map_path, map_categories, nullptr, &ms.soiltype);
  const int n = read_mlga_soil_params(table, ms.soil_type_table);
  if (n > 0) return n;
  std::fputs("\nProblems in your multi layer G&A table \nKAVRO termanating \n", stdout);
  return -1;
}

int read_permafrost_soil_table(main_state& ms) {
  file_wrapper table, map;
  std::string map_path;
  if (!open_card_and_map(ms, permafrost_card, table, map, map_path)) {
    error_rec.code = 132;
    error_rec.name = map_path;
    return -1;
  }
  if (ms.KOTU_soiltype.size() < ms.n_cells) alloc_ivec(ms.KOTU_soiltype, ms.n_cells, "KOTU_soiltype");
  read_cell_map(ms, map, map_path, map_categories, nullptr, &ms.KOTU_soiltype);
  return read_permafrost_soil_file(table, ms.permafrost_layer_soil, ms.n_cells);
}

std::string richards_index_map_path(const std::string& table_path, int c_option) {
  std::string map_path;
  const int card = c_option == 1 ? brooks_card : c_option == 2 ? havercamp_card : 0;
  file_wrapper table;
  if (card != 0 && table.open(table_path, "r")) seek_map_table_card(table, card, map_path);
  return map_path;
}

}  // namespace kavro
