#include "settings_test_support.h"

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/replace_pairs.h"
#include "framework/run_globals.h"
#include "input/option_checks.h"
#include "input/project_settings.h"

namespace kavro_test {

using namespace kavro;

void settings_test::SetUp() {
  process_state_test::SetUp();
  set_project_folder(dir.path().string());
}

void settings_test::TearDown() {
  ms.reset();
  pause_flag = 0;
  run_log_file = nullptr;
  q7_inflow_file.close();
  free_replace_pairs();
  process_state_test::TearDown();
}

main_state& settings_test::read(const std::string& cards) {
  ms = std::make_unique<main_state>();
  error_rec = error_record{};
  write_file(dir / "p.prj", "KAVROPROJECT\n" + cards);
  testing::internal::CaptureStdout();
  read_project(project_path(), *ms);
  out = testing::internal::GetCapturedStdout();
  return *ms;
}

main_state& settings_test::read_and_check(const std::string& cards) {
  read(cards);
  testing::internal::CaptureStdout();
  check_project_options(*ms);
  out += testing::internal::GetCapturedStdout();
  return *ms;
}

}  // namespace kavro_test
