// The current hour of weather that the hydrometeorology steps deliver into
// the run record (one record per run, embedded in the per-cell block).
#pragma once

namespace kavro {

struct hmet_hour_record {
  int year = 0;                    // date and hour of the weather hour held
  int month = 0;
  int day = 0;
  int hour = 0;
  double hmet_direct_rad = 0;      // direct radiation of the hour
  double hmet_diffuse_rad = 0;     // diffuse radiation of the hour
  double hmet_cloud_cover = 0;     // cloud cover (fraction 0..1 or tenths 0..10, by file format)
  double hmet_air_temp = 0;        // air temperature (degrees C)
  double hmet_rel_humidity = 0;    // relative humidity (per cent)
  double hmet_pressure = 0;        // barometric pressure (mbar)
  double hmet_wind_speed = 0;      // wind speed (m/s)
};

}  // namespace kavro
