// The files a run leaves for the runs after it: hotstarts, adjusted
// elevations, the saturated-source map, lateral sediment totals.
#pragma once

namespace kavro {

struct main_state;

// The ".dht" lines "node link wse area" and ".qht" lines "node link q" of
// every link the channel hotstart reader reads, values exact.
void write_channel_hotstart(main_state& ms);
// In order: the last calibration line, the channel, groundwater
// ("hotstart_file") hotstarts, the adjusted elevations, "satsource_file",
// the PQM hydrograph file, the overland and soil-moisture hotstarts and
// the lateral sediment file.
// An open failure is printed (the hotstarts of the groundwater, adjusted
// elevations and saturated sources also end the run with an error) and the
// other files are written all the same.
void write_end_of_run_files(main_state& ms);

}  // namespace kavro
