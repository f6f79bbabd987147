// Records of the overland surface held in arrays of the run record: low
// spots of embankments, wetlands, overland lakes and boundary cells. Each
// array is 1-based (record 0 unused) and owned by the record.
#pragma once

namespace kavro {

struct elev_series;  // a named elevation series of the project (process-wide list)

// One low spot (overflow segment) of an embankment, from a SPOT card.
struct low_spot {
  int row = 0;                  // grid row of the cell
  int col = 0;                  // grid column of the cell
  int direction = 0;            // cell side: 1 top, 2 right, 4 bottom, 8 left
  double width_fraction = 0;    // width of the spot as a fraction of the cell size
  double crest_elev = 0;        // crest elevation (m)
  double flow = 0;              // flow over the spot (m3/s), 0 at start
};

// One wetland of the WETLAND_PROPERTIES table (SI units).
struct wetland_params {
  double initial_depth = 0;       // surface water depth of a wetland cell at the run start (m)
  double wet_layer_depth = 0;     // wetland layer depth (m)
  double wet_layer_k = 0;         // wetland layer conductivity (m/s)
  double wet_transition_depth = 0; // transition depth (m)
  double wet_transition_k = 0;    // transition conductivity (m/s)
  double wet_mannings_n = 0;      // Manning n of the wetland surface
  double elev_drop = 0;           // cell elevation lowering at each long-term event start (m)
};

// One overland lake, by lake number of the overland lake map.
struct olake {
  double level = 0;             // water-surface elevation (m)
  double initial_level = 0;     // water-surface elevation given at set-up (m); the level never falls below it
  double volume = 0;            // water held by the lake (m3)
  double step_inflow = 0;       // net volume entered since the last overland-lake step (m3)
  int n_lake_cells = 0;         // cells that belong to the lake
};

// One overland boundary cell; the boundary code adds its working fields.
struct ov_boundary_face {
  const elev_series* rating_curve = nullptr;  // rating curve of a boundary of type 6 or 7, else null
};

}  // namespace kavro
