#include "output/map_writers.h"

#include <cstdio>

namespace kavro {

map_dataset_writer::~map_dataset_writer() {
  // An ASCII dataset is closed by its end marker.
  if (file.is_open() && style == 1) std::fputs("ENDDS\n", file.fp);
}

linknode_writer::~linknode_writer() = default;

}  // namespace kavro
