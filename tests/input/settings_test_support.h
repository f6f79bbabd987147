// Reading a project into a fresh run record inside the test process, in a
// scratch folder that is the project folder of the run.
#pragma once

#include <memory>
#include <string>

#include "card_test_support.h"
#include "framework/main_state.h"
#include "test_support.h"

namespace kavro_test {

// Cards that every option check accepts: a 3 x 4 grid of 10 m cells and
// uniform rain. A case appends its own cards; a later card overrides.
inline constexpr const char* accepted_cards =
    "ROWS 3\nCOLS 4\nGRIDSIZE 10\nRAIN_INTENSITY 25.4\nRAIN_DURATION 5\n";

class settings_test : public process_state_test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes "KAVROPROJECT" and `cards` as p.prj and reads it with
  // read_project into a new record; the console output goes to `out`.
  kavro::main_state& read(const std::string& cards);
  // read, then check_project_options (its output also in `out`).
  kavro::main_state& read_and_check(const std::string& cards);
  std::string project_path() const { return (dir / "p.prj").string(); }

  scratch_dir dir;
  std::unique_ptr<kavro::main_state> ms;
  std::string out;
};

}  // namespace kavro_test
