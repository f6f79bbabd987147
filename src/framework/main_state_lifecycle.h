// Construction and teardown of the run record.
#pragma once

namespace kavro {

struct main_state;

// Puts a new record into its defined empty state before the project is read.
void main_state_init(main_state& ms);
// Releases everything the run allocated and empties the per-run lists.
void main_state_destroy(main_state& ms);

}  // namespace kavro
