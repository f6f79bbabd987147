// What the values of the grid mapping tables may be: a roughness, a depth or
// a soil fraction that no physics allows is refused where the table is read.
#pragma once

#include <string_view>

#include "input/map_table_format.h"

namespace kavro {

// True when every value of the rows of table `code` (keyword `table`, for
// messages, of file `file`) lies inside what its column can be. Otherwise prints one message
// naming the table, the ID, the column and the value, reports it (stop) and
// returns false. Tables without limits of their own always pass.
bool map_table_values_allowed(int code, std::string_view table, std::string_view file, const table_rows& rows);

}  // namespace kavro
