#include "hydromet/permafrost_listings.h"

#include <string>

#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"

namespace kavro {

bool open_permafrost_listing(main_state& ms, file_wrapper& out, std::string_view name, int bit) {
  if (out.open(std::string(name), "w")) return true;
  int& warned = ms.permafrost_layer_soil.listings_warned;
  if ((warned & bit) == 0)
    warn(format_string("Warning: the listing %.*s cannot be written; the soil temperatures and their couplings are "
                       "computed without it.\n",
                       static_cast<int>(name.size()), name.data()));
  warned |= bit;
  return false;
}

}  // namespace kavro
