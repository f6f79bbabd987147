// The file-name buffers of the run record: the path of each file card,
// copied from the project cards by the run settings step.
#pragma once

#include <string>

namespace kavro {

struct file_name_block {
  std::string elevation_path;           // elevation map (card ELEVATION)
  std::string mapping_table_path;       // card MAPPING_TABLE
  std::string st_mapping_table_path;    // card ST_MAPPING_TABLE
  std::string watershed_mask_path;      // card WATERSHED_MASK
  std::string moisture_path;            // card MOISTURE
  std::string roughness_path;           // card ROUGHNESS
  std::string precip_file_path;         // precipitation (gauge or radar) file of the rain options
  std::string hmet_path;                // weather file of HMET_SURFAWAYS, HMET_SAMSON, HMET_VRX or HMET_ASCII
  std::string hmet_orog_gages_path;     // card HMET_OROG_GAGES
  std::string links_path;               // card LINKS
  std::string chan_hotstart_in_path;    // channel hotstart input file
  std::string explic_hotstart_path;     // card EXPLIC_HOTSTART
  std::string explic_backwater_path;    // card EXPLIC_BACKWATER
  std::string chan_hotstart_out_path;   // channel hotstart output: WRITE_CHAN_HOTSTART or EXPLIC_BACKWATER name + ".qht"
  std::string channel_input_path;       // card CHANNEL_INPUT
  std::string summary_path;             // card SUMMARY
  std::string outlet_hydro_path;        // card OUTLET_HYDRO
  std::string sig_outlet_hydro_path;    // card SIG_OUTLET_HYDRO
  std::string lake_output_path;         // card LAKE_OUTPUT
  std::string pqm_hydro_path;           // card PQM_HYDRO
  std::string storage_capacity_path;    // card STORAGE_CAPACITY
  std::string interception_coeff_path;  // card INTERCEPTION_COEFF
  std::string reten_depth_path;         // card RETEN_DEPTH
  std::string conductivity_path;        // card CONDUCTIVITY
  std::string contam_map_path;          // card CONTAM_MAP
  std::string capillary_path;           // card CAPILLARY
  std::string porosity_path;            // card POROSITY
  std::string pore_index_path;          // card PORE_INDEX
  std::string albedo_path;              // card ALBEDO
  std::string vheight_path;             // card VHEIGHT
  std::string tcoeff_path;              // card TCOEFF
  std::string canopy_path;              // card CANOPY
  std::string wilting_point_path;       // card WILTING_POINT
  std::string residual_sat_path;        // card RESIDUAL_SAT
  std::string in_hyd_location_path;     // card IN_HYD_LOCATION
  std::string in_gwflux_location_path;  // card IN_GWFLUX_LOCATION
  std::string in_celldepdis_location_path;// card IN_CELLDEPDIS_LOCATION
  std::string superlink_junc_location_path;// card SUPERLINK_JUNC_LOCATION
  std::string superlink_node_location_path;// card SUPERLINK_NODE_LOCATION
  std::string superlink_junc_flow_path; // card SUPERLINK_JUNC_FLOW
  std::string superlink_node_flow_path; // card SUPERLINK_NODE_FLOW
  std::string stream_cell_path;         // card STREAM_CELL
  std::string out_hyd_location_path;    // card OUT_HYD_LOCATION
  std::string out_gwflux_location_path; // card OUT_GWFLUX_LOCATION
  std::string out_celldepdis_location_path;// card OUT_CELLDEPDIS_LOCATION
  std::string out_dep_location_path;    // card OUT_DEP_LOCATION
  std::string out_con_location_path;    // card OUT_CON_LOCATION
  std::string out_mass_location_path;   // card OUT_MASS_LOCATION
  std::string out_well_location_path;   // card OUT_WELL_LOCATION
  std::string soil_layer_input_file_path;// card SOIL_LAYER_INPUT_FILE
  std::string soil_type_map_path;       // card SOIL_TYPE_MAP
  std::string optimize_path;            // card OPTIMIZE (default name set when empty)
};

}  // namespace kavro
