#include "framework/error_record.h"

#include <cstdio>

namespace kavro {

error_record error_rec;
file_wrapper* run_log_file = nullptr;
int pause_flag = 0;

int report_error(error_record& rec) {
  if (rec.code > 0) {
    std::fputs("\n", stdout);
    rec.stop = 1;
  }
  if (rec.code > 0 && rec.code != 4000) std::printf("Error code %d\n", rec.code);
  switch (rec.code) {
    case 14: case 16: case 17: case 39: case 41: case 55: case 95: case 96: case 301: rec.stop = 0; break;
    case 200: case 300: rec.fatal = 1; break;
    default: break;
  }
  if (rec.stop && rec.fatal) {
    std::fputs("KAVRO Terminated.\n", stdout);
    return 0;
  }
  rec.code = 0;
  return 0;
}

}  // namespace kavro
