// Passes of the channel input reader shared by its files.
#pragma once

#include <string>
#include <vector>

#include "channel/chan_limits.h"
#include "framework/one_based.h"

namespace kavro {

class file_wrapper;
struct main_state;

// One line of the file: its card code, the text after the card word, the
// whole line and its number (from 1).
struct chan_line {
  int code = 78;
  std::string rest;
  std::string raw;
  int number = 0;
};

// The file in memory and the count of bad cards found by the current pass.
struct chan_file {
  std::string name;
  std::vector<chan_line> lines;
  main_state* ms = nullptr;
  int n_bad = 0;

  void load(file_wrapper& f);
  // Names the card, its line and why it is refused; counts it.
  void bad(const chan_line& l, const std::string& why);
  // The next value of the card as one finite number; a missing value, a
  // word or a number with text after it ("12p"), nan or inf is refused,
  // naming the card's line and the text, and leaves `out` as it was.
  bool get_double(std::string& rest, double& out, const chan_line& l);
  // get_double of a value that must lie from lo to hi (`what` names it).
  bool get_real(std::string& rest, double& out, double lo, double hi, const char* what, const chan_line& l);
  // The next value as one whole number from lo to hi, judged in 64 bits;
  // anything else is refused as get_double refuses.
  bool get_int(std::string& rest, int& out, long long lo, long long hi, const char* what, const chan_line& l);
  bool check_range(int v, int lo, int hi, const char* what, const chan_line& l);
  bool check_link(int v, const chan_line& l);
};

// Per-link values of the counting pass that the later passes use.
struct chan_elements {
  std::vector<double>& manning;
  std::vector<double>& kbed;
  std::vector<double>& mbed;
  std::vector<int>& num_xsec;
  std::vector<int>& first;  // first section node of each breakpoint link
  std::vector<int>& last;   // last section node of each breakpoint link
  imat got_xsec{"got_xsec"};  // [node][link] ltype of the link at its XSEC nodes
};

// The next value as a whole number, or 0 when it is not one: for passes that
// only follow LINK and NODE cards another pass has judged.
int quiet_int(std::string& rest);

void say(const std::string& text);
void manning_zero_message(int link);

// Node, section and structure cards after the last CONNECT card.
bool read_elements(main_state& ms, chan_file& f, size_t from, chan_elements& el);
// Bed parameters, roughness, trapezoid sections, breakpoint tables, node
// counts and the averaged bed.
bool complete_network(main_state& ms, chan_file& f, chan_elements& el);
// The grid-stream file; false with the error code set.
bool read_grid_stream_file(main_state& ms);
// Lakes: search cells, rating curves, initial extent and volume.
bool read_lakes(main_state& ms, chan_file& f, int max_numpts, int max_numrate);
// The og_ copies of the network as read.
void save_network_copies(main_state& ms);

}  // namespace kavro
