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
  rec.code = 0;
  return 0;
}

}  // namespace kavro
