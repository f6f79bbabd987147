#include "framework/file_wrapper.h"

namespace kavro {

int run_prefix_on = 0;
int run_number = 0;

file_wrapper::~file_wrapper() {
  if (fp) close();
}

bool file_wrapper::open(std::string file_name, std::string_view open_mode) {
  if (file_name.empty()) return false;
  if (fp) close();
  const bool write = !open_mode.empty() && (open_mode[0] == 'w' || open_mode[0] == 'a');
  if (write && run_prefix_on) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%04d_", run_number);
    file_name = prefix + file_name;
  }
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
