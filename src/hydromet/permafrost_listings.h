// The debug listings of the soil-temperature model and its couplings: each
// is emptied at every call of the step that owns it and shows one cell.
#pragma once

#include <string_view>

namespace kavro {

class file_wrapper;
struct main_state;

// The active cell whose values the listings show.
inline constexpr long permafrost_listing_cell = 45;

// One bit per listing, for its one warning of a run.
inline constexpr int permafrost_listing_temprof = 1;
inline constexpr int permafrost_listing_hydro_con = 2;
inline constexpr int permafrost_listing_transmissivity = 4;
inline constexpr int permafrost_listing_ga_nodes = 8;

// Opens listing `name` for writing (emptied; output folder and run prefix
// apply). A listing that cannot be opened is warned about once a run and
// false is returned: the computation it follows has been done regardless.
bool open_permafrost_listing(main_state& ms, file_wrapper& out, std::string_view name, int bit);

}  // namespace kavro
