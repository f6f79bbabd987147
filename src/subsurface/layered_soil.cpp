#include "subsurface/layered_soil.h"

#include "framework/file_wrapper.h"
#include "subsurface/soil_type_table.h"

namespace kavro {

// The layered soil reader comes with multi-layer Green-Ampt infiltration;
// until then no soil type is read.
int read_mlga_soil_params(file_wrapper&, soil_type_store&) { return 0; }

}  // namespace kavro
