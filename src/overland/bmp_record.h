// The storage units (BMPs) of a run: what the event accounting reads of them.
#pragma once

#include "framework/one_based.h"

namespace kavro {

struct bmp_record {
  int bmp_active = 0;          // non-zero while some unit holds water
  double event_vol_to_ov = 0;   // event volume released to overland cells (m3)
  double event_vol_from_ov = 0; // event volume taken from overland cells (m3)
  double event_vol_precip = 0;  // event rain on the units (m3)
  double event_vol_seep = 0;    // event seepage to groundwater (m3)
  double event_vol_other = 0;   // further event loss volume (m3)
  double total_vol_to_ov = 0;   // run volume released to overland cells (m3)
  double total_vol_from_ov = 0; // run volume taken from overland cells (m3)
  double total_vol_precip = 0;  // run rain on the units (m3)
  double total_vol_seep = 0;    // run seepage to groundwater (m3)
  double event_sed_in = 0;      // event sediment into the units (m3)
  double event_sed_out = 0;     // event sediment out of the units (m3)
  dvec event_con_mass_in{"event_con_mass_in"};    // [constituent] event mass in (kg)
  dvec event_con_mass_out{"event_con_mass_out"};  // [constituent] event mass out (kg)
};

}  // namespace kavro
