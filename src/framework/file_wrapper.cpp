#include "framework/file_wrapper.h"

namespace kavro {

file_wrapper::~file_wrapper() {
  if (fp) close();
}

bool file_wrapper::open(std::string file_name, std::string_view open_mode) {
  if (file_name.empty()) return false;
  if (fp) close();
  fp = std::fopen(file_name.c_str(), std::string(open_mode).c_str());
  if (!fp) return false;
  fp_check = fp;
  name = file_name;
  mode = open_mode;
  return true;
}

void file_wrapper::close() {
  if (fp) std::fclose(fp);
  fp = fp_check = nullptr;
  name.clear();
  mode.clear();
}

}  // namespace kavro
