#include "card_test_support.h"

#include <omp.h>

#include "framework/error_record.h"
#include "framework/readers.h"
#include "input/card_services.h"
#include "input/elev_series.h"
#include "input/project_cards.h"
#include "input/project_reader.h"
#include "input/time_series.h"

namespace kavro_test {

using namespace kavro;

card_outcome run_card_lines(std::string_view text) {
  card_outcome o;
  clear_card_records(o.records.project, o.records.run, o.records.rain);
  set_reader_defaults(o.records.project);
  card_context c{o.records.project, o.records.run, o.records.rain};
  testing::internal::CaptureStdout();
  size_t start = 0;
  while (start <= text.size() && !c.end_reading) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    apply_project_card(project_card_code(line, 0), line, c);
    ++o.lines_read;
    start = end + 1;
  }
  o.out = testing::internal::GetCapturedStdout();
  o.code = error_rec.code;
  o.what = error_rec.what;
  o.ended = c.end_reading;
  return o;
}

void reset_process_state() {
  error_rec = error_record{};
  super_quiet = 0;
  replace_line = 0;
  replace_on = 0;
  project_folder.clear();
  output_folder.clear();
  free_time_series_list();
  free_elev_series_list();
}

void process_state_test::SetUp() {
  threads_ = omp_get_max_threads();
  reset_process_state();
}

void process_state_test::TearDown() {
  reset_process_state();
  omp_set_num_threads(threads_);
}

}  // namespace kavro_test
