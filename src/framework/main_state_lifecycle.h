// Construction and teardown of the run record.
//
// A record is built by its constructor alone: every block's member
// initialisers give the empty state (files closed, arrays empty and named,
// numbers zero) and the few defaults a run starts from, and the heap tables
// (soil types, event start times, rain period dates) are made zeroed. The
// teardown releases what the run added.
#pragma once

namespace kavro {

struct main_state;

// Releases everything the run allocated and empties the process-wide lists
// that hold one run's entries (named series, replacement pairs). Files still
// open are closed and checked arrays report a bad-range access when the
// record itself is destroyed afterwards.
void main_state_destroy(main_state& ms);

}  // namespace kavro
