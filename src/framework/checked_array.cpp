#include "framework/checked_array.h"

#include <cstdio>

namespace kavro::checked_detail {

void report_bad_pointers(const std::string& name) {
  std::printf("\n\nError!! Bad pointers found in array %s.\n\n", name.c_str());
}

void report_bad_pointers_2d() { std::fputs("\n\nError!! Bad pointers found in 2D array.\n\n", stdout); }

void report_bad_pointers_3d() { std::fputs("\n\nError!!!  Bad pointers found in 3D array.\n\n", stdout); }

void report_bad_range(const std::string& name) {
  std::printf("Error: bad range addressed in array %s\n", name.c_str());
}

long grown_size(long highest, long n) {
  if (n > std::numeric_limits<long>::max() - highest) throw std::bad_array_new_length();
  return highest + n;
}

}  // namespace kavro::checked_detail
