// Shared by the project-card and series tests: running card lines on fresh
// records, and resetting the process-wide state that cards change.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "input/card_records.h"

namespace kavro_test {

struct card_records {
  kavro::project_params_record project;
  kavro::run_params_record run;
  kavro::rain_params_record rain;
};

struct card_outcome {
  card_records records;
  std::string out;     // standard output while the cards were read
  int code = 0;        // error code left by the cards
  std::string what;    // detail text of that code
  bool ended = false;  // a card ended the reading
  int lines_read = 0;  // card lines carried out before the reading ended
};

// Carries out the card lines of `text` (one per line, no header) on cleared
// records with the reader defaults, as the project reader does.
card_outcome run_card_lines(std::string_view text);

// Error record, quiet switch, replacement line, folders and series lists as
// a fresh process has them.
void reset_process_state();

// Gives every test the process-wide state of a fresh process: error record,
// quiet switch, replacement line, folders, series lists and thread count.
class process_state_test : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  int threads_ = 1;
};

}  // namespace kavro_test
