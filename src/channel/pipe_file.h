// The one reader of the pipe network files (the superlink file of card
// STORM_SEWER and the drain file of card STORM_DRAIN) and of their grid pipe
// files. A network file holds the cards
//   CONNECT link upstream-junction downstream-junction
//   SJUNC   junction ground invert area type i j [grate-side grate-diameter]
//   SLINK   link pipe-count n, followed by its block of
//     NODE  k ground invert area inlet-type i j [grate-side grate-diameter]   (k = 1..n+1)
//     PIPE  k section diameter width slope manning-n length [conductivity spacing multiplier]  (k = 1..n)
// with card words in upper case; other lines are ignored. A block ends after
// its PIPE n; any other word inside it ends it too (blank lines do not).
#pragma once

#include <string>
#include <vector>

#include "framework/one_based.h"

namespace kavro {

class file_wrapper;
struct main_state;

struct pipe_connect_card {
  int link = 0, up = 0, down = 0;
  int line = 0;  // line in the file (from 1)
};

struct pipe_junction_card {
  int number = 0;
  double ground = 0, invert = 0, area = 0;
  int type = 0, i = 0, j = 0;
  double grate_side = 0, grate_dia = 0;
  int line = 0;
};

struct pipe_node_card {
  double ground = 0, invert = 0, area = 0;
  int inlet_type = 0, i = 0, j = 0;
  double grate_side = 0, grate_dia = 0;
  int line = 0;  // 0 while the node has no NODE line
};

struct pipe_card {
  int section = 0;
  double diameter = 0, width = 0, slope = 0, manning_n = 0, length = 0;
  double conductivity = 0, spacing = 0, multiplier = 0;
  int line = 0;  // 0 while the pipe has no PIPE line
};

struct pipe_link_cards {
  int pipes = 0;                     // pipe count n of SLINK
  int line = 0;                      // line of the SLINK card, 0 when none
  std::vector<pipe_node_card> nodes; // nodes 1..n+1 (entry 0 unused)
  std::vector<pipe_card> pipe;       // pipes 1..n (entry 0 unused)
};

// A checked network file: every junction 1..J, link 1..L, node and pipe
// defined once, every number finite, every count and index in its range.
struct pipe_network_cards {
  std::string path;                          // the file, for messages
  std::vector<pipe_connect_card> connects;   // links 1..L (entry 0 unused)
  std::vector<pipe_junction_card> junctions; // junctions 1..J (entry 0 unused)
  std::vector<pipe_link_cards> links;        // links 1..L (entry 0 unused)
  int max_pipes = 0;                         // largest pipe count of a link
  int n_junctions() const { return static_cast<int>(junctions.size()) - 1; }
  int n_links() const { return static_cast<int>(connects.size()) - 1; }
};

// Reads and checks a network file. `drain` selects the drain file's rules
// (outlet type 666 allowed). Every problem is printed, naming the file, the
// line and the value; the pipe errors keep their own first lines ("Error:
// pipe cross-section type not valid: node %d link %d."). Returns 0, or -1
// after problems.
int read_pipe_network_file(file_wrapper& f, const std::string& path, bool drain, pipe_network_cards& out);

// A refusal of the pipe set-up: prints "Error in the pipe file <path>, line
// <line>: <why>" and the line's text; the caller stops the run.
void pipe_file_refusal(const std::string& path, int line, const std::string& why);

// The word code of a grid pipe file line: skips blanks, tabs and line ends,
// takes the next word off the line with the blanks before it and returns 0
// for PIPECELLS, 1 CELLIJ, 2 NUMPIPES, 3 SPIPE (any case), 4 for any other
// word or an empty line.
int pipe_card_code(std::string& line);

// The tables of a grid pipe file: the pipe entries of each cell a leaky
// pipe crosses.
struct grid_pipe_tables {
  int& num_cells;    // PIPECELLS
  int& max_pipes;    // largest NUMPIPES
  ivec& ncellsingrid;  // [cell of the file] entries of the cell
  imat& link;        // [cell][entry] link
  imat& node;        // [cell][entry] node
  imat& gnum;        // [cell][entry] active cell
  dmat& pct;         // [cell][entry] share of the pipe in the cell
};

// Reads a grid pipe file ("GRIDPIPEFILE", "PIPECELLS n", then per cell
// "CELLIJ row col", "NUMPIPES m" and m lines "SPIPE link node pct") of the
// network whose link pipe counts are `pipes` (1..n_links). Every cell must be
// active, every link and node exist and every share be a number from 0 to 1.
// Returns 0, or -9 after a printed problem.
int read_grid_pipe_file(const main_state& ms, file_wrapper& f, const std::string& path, int n_links,
                        const ivec& pipes, grid_pipe_tables out);

}  // namespace kavro
