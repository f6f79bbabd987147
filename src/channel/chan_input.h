// The channel input file (card CHANNEL_INPUT) and the grid-stream file
// (card STREAM_CELL): links, nodes, sections, structures, pumps and lakes of
// the channel network, and the cells each node shares.
#pragma once

#include <string>

namespace kavro {

struct main_state;

// Code 1..77 of the card word at the front of `line` (case-insensitive,
// whole word), 78 for any other word or an empty line. The white space and
// the word are removed from `line`, leaving the values.
int chan_card_code(std::string& line);

// Reads the open channel input file into the network of the run. The result
// is error_rec.code: 0, or 200 for an invalid file (message printed).
int read_chan_input(main_state& ms);

// One PUMPTO card (the values after the word): a new pump record at the head
// of the run's chain. Its number (from 1), or 0 after a bad flow type.
int add_chan_pump(main_state& ms, std::string& line, int link, int ltype);

}  // namespace kavro
