// The soil-type table: the layered hydraulic parameters of every soil type,
// indexed directly by the soil-type or index-map ID of a cell (0 to 99,999).
#pragma once

#include <array>
#include <bit>
#include <memory>
#include <type_traits>

#include "framework/one_based.h"

namespace kavro {

// Parameters of one soil type. Layer fields are indexed by layer 1, 2, 3 from
// the surface down (element 0 unused). Lengths in cm, conductivities as the
// tables give them.
struct soil_type_params {
  double layer_suction_head[4] = {};       // capillary suction head
  double layer_ks[4] = {};                 // saturated hydraulic conductivity
  double layer_porosity[4] = {};           // porosity
  double layer_initial_moisture[4] = {};   // initial moisture
  double layer_wilting_point[4] = {};      // wilting point
  double layer_field_capacity[4] = {};     // field capacity
  double layer_residual_moisture[4] = {};  // residual moisture (residual saturation)
  double layer_depth[4] = {};              // layer thickness (cm)
  double layer_lambda[4] = {};             // pore-size distribution index (Brooks-Corey)
  double layer_bubbling_pressure[4] = {};  // bubbling pressure head, stored as minus its absolute value
  double layer_node_spacing[4] = {};       // node spacing of the Richards column (cm)
  double layer_havercamp_1[4] = {};        // Havercamp coefficients, in the order of the table row
  double layer_havercamp_2[4] = {};
  double layer_havercamp_3[4] = {};
  double layer_havercamp_4[4] = {};
  double soil_albedo = 0;                  // evapotranspiration values of the soil type (long-term runs)
  double soil_veg_height = 0;
  double soil_transmission = 0;
  double soil_canopy_resistance = 0;
};

inline constexpr int n_soil_types = 100000;

// Sets every value of one soil type to zero.
inline void clear_soil_type_params(soil_type_params& p) { p = soil_type_params{}; }

// True when a default soil type is all zero bytes, so that zeroed memory
// holds default soil types.
constexpr bool default_soil_type_is_zero_bytes() {
  const auto bytes = std::bit_cast<std::array<unsigned char, sizeof(soil_type_params)>>(soil_type_params{});
  for (const unsigned char b : bytes)
    if (b != 0) return false;
  return true;
}

// The 100,000 soil types, held on the heap so that the run record stays
// small; a new table holds only zeros. The 51 MB of the table are taken on
// the first access that may write, so that the many runs without soil tables
// (a calibration makes thousands) do not pay for them, and as zeroed pages
// from the system, so that a run pays only for the few soil types it uses.
class soil_type_store {
 public:
  soil_type_params& operator[](long id) {
    if (!rows_) {
      // Zeroed memory is a table of default soil types: they are plain
      // records whose defaults are all zero.
      static_assert(default_soil_type_is_zero_bytes());
      rows_ = zeroed_memory_block<soil_type_params>(n_soil_types);
    }
    return rows_[static_cast<size_t>(id)];
  }
  const soil_type_params& operator[](long id) const {
    return rows_ ? rows_[static_cast<size_t>(id)] : zero_soil_type;
  }
  static constexpr long size() { return n_soil_types; }
  bool allocated() const { return rows_ != nullptr; }

 private:
  static constexpr soil_type_params zero_soil_type{};
  block_ptr<soil_type_params> rows_;
};

struct soil_type_table_block {
  soil_type_store soil_type_table;  // by soil-type or index-map ID, 0 to 99,999
};

}  // namespace kavro
