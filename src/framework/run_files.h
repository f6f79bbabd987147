// Closing every file of the run.
#pragma once

namespace kavro {

struct main_state;

// Closes every file of the run record that is still open.
void close_all_files(main_state& ms);

}  // namespace kavro
