// Exchange of maps with the host environment at the end of an event.
#pragma once

#include <string>

#include "framework/one_based.h"

namespace kavro {

struct main_state;

// Reads the exchange map at `path` through fs_exchange into `dest` (values
// of the active cells, `quiet` as the map reader's quiet switch). When it
// does not open prints `failure` (a format with the path), reports code
// 4000 and answers false; also false after a map the reader refused.
bool receive_map(main_state& ms, const std::string& path, dvec& dest, const char* failure, int quiet);

// Writes and reads the exchange maps at an event end.
void host_exchange_step(main_state& ms);

}  // namespace kavro
