// The check that no run writes over a file it reads: every input and output
// name of the project is resolved as the files will be opened and compared
// before the first file is opened for writing.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "input/project_cards.h"

namespace kavro {

struct main_state;

// The file a name opened in `mode` ("r" or "w") would reach, as one text to
// compare: resolved like the opening, made absolute and canonical.
std::string file_comparison_key(const std::string& name, std::string_view mode);

// The cards whose file the run writes.
std::span<const project_card> output_file_cards();

// True when no output of the run names the project file, a file that a card
// names for reading or another output. Otherwise prints one message per
// clash, naming both cards and the file, and returns false. An output
// written only after the input of the same name has been read in full (a
// hotstart written at the end over the hotstart the run started from, a host
// exchange map sent back over the one received) is allowed.
bool check_file_name_clashes(const main_state& ms);

// True when every output of the run can be created (a file, or for the
// map cards of MAP_TYPE 0 a file in their folder). Otherwise prints one
// message per output, naming the card, the name and why, and returns false.
bool check_outputs_can_be_created(const main_state& ms);

}  // namespace kavro
