// Reader of the pipe network files and the grid pipe files.
#include "channel/pipe_file.h"

#include <cerrno>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"

namespace kavro {
namespace {

void say(const std::string& text) { print_and_log(run_log_file, text); }

// One line of a network file with the tokens still to be read.
struct card_line {
  std::string text;  // the whole line, for messages
  std::string rest;  // what is left after the tokens taken so far
  int number = 0;    // line number (from 1)
};

// Walks the lines of one file and collects its problems.
class network_reader {
 public:
  network_reader(const std::string& path, bool drain, pipe_network_cards& out)
      : path_(path), drain_(drain), out_(out) {}

  void bad(const card_line& l, const std::string& why) {
    pipe_file_refusal(path_, l.number, why);
    ++problems_;
  }

  // A pipe error in the wording users know, then the file, line and card it stands on.
  void pipe_error(const card_line& l, const std::string& first) {
    say(first);
    say(format_string("  (pipe file %s, line %d: %s)\n", path_.c_str(), l.number, l.text.c_str()));
    ++problems_;
  }

  // The next token as a whole number; false (and a message) when absent or not one.
  bool take_int(card_line& l, const char* what, int& out, bool required = true) {
    std::string token;
    if (!pop_token(l.rest, token)) {
      if (required) bad(l, format_string("%s is missing", what));
      return !required;
    }
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(token.c_str(), &end, 10);
    if (end == token.c_str() || *end != '\0' || errno != 0 || v < -2147483647L || v > 2147483647L) {
      bad(l, format_string("%s \"%s\" is not a whole number", what, token.c_str()));
      return false;
    }
    out = static_cast<int>(v);
    return true;
  }

  // The next token as a finite real; an optional value may be absent.
  bool take_double(card_line& l, const char* what, double& out, bool required = true) {
    std::string token;
    if (!pop_token(l.rest, token)) {
      if (required) bad(l, format_string("%s is missing", what));
      return !required;
    }
    char* end = nullptr;
    const double v = std::strtod(token.c_str(), &end);
    if (end == token.c_str() || *end != '\0') {
      bad(l, format_string("%s \"%s\" is not a number", what, token.c_str()));
      return false;
    }
    if (!std::isfinite(v)) {
      bad(l, format_string("%s \"%s\" is not a finite number", what, token.c_str()));
      return false;
    }
    out = v;
    return true;
  }

  void read(file_wrapper& f) {
    std::vector<card_line> lines;
    std::string text;
    int number = 0;
    while (read_line(text, f)) lines.push_back({text, text, ++number});
    // Counts first: links and junctions are numbered from 1 to their count.
    int n_connect = 0, n_sjunc = 0;
    for (card_line& l : lines) {
      const std::string word = first_word(l.text);
      n_connect += word == "CONNECT";
      n_sjunc += word == "SJUNC";
    }
    out_.connects.assign(static_cast<size_t>(n_connect) + 1, {});
    out_.junctions.assign(static_cast<size_t>(n_sjunc) + 1, {});
    out_.links.assign(static_cast<size_t>(n_connect) + 1, {});
    for (size_t k = 0; k < lines.size(); ++k) {
      card_line& l = lines[k];
      std::string word;
      pop_token(l.rest, word);
      if (word == "CONNECT") read_connect(l);
      else if (word == "SJUNC") read_junction(l);
      else if (word == "SLINK") k = read_link(lines, k);
    }
    check_complete();
  }

  int problems() const { return problems_; }

 private:
  static std::string first_word(const std::string& text) {
    std::string copy = text, word;
    pop_token(copy, word);
    return word;
  }

  // An index read from the file: inside lo..hi, else refused.
  bool in_range(const card_line& l, const char* what, int v, int lo, int hi) {
    if (v >= lo && v <= hi) return true;
    bad(l, format_string("%s %d is outside %d..%d", what, v, lo, hi));
    return false;
  }

  void read_connect(card_line& l) {
    pipe_connect_card c;
    c.line = l.number;
    if (!take_int(l, "link number", c.link) || !take_int(l, "upstream junction", c.up) ||
        !take_int(l, "downstream junction", c.down))
      return;
    const int n_links = out_.n_links(), n_junctions = out_.n_junctions();
    bool ok = in_range(l, "link number", c.link, 1, n_links);
    ok = in_range(l, "upstream junction", c.up, 1, n_junctions) && ok;
    ok = in_range(l, "downstream junction", c.down, 1, n_junctions) && ok;
    if (ok && c.up == c.down) {
      bad(l, format_string("link %d runs from junction %d to itself", c.link, c.up));
      ok = false;
    }
    if (!ok) return;
    pipe_connect_card& slot = out_.connects[static_cast<size_t>(c.link)];
    if (slot.line != 0) {
      bad(l, format_string("link %d is already connected on line %d", c.link, slot.line));
      return;
    }
    slot = c;
  }

  void read_junction(card_line& l) {
    pipe_junction_card j;
    j.line = l.number;
    if (!take_int(l, "junction number", j.number) || !take_double(l, "ground elevation", j.ground) ||
        !take_double(l, "invert elevation", j.invert) || !take_double(l, "plan area", j.area) ||
        !take_int(l, "type", j.type) || !take_int(l, "i", j.i) || !take_int(l, "j", j.j) ||
        !take_double(l, "grate side length", j.grate_side, false) ||
        !take_double(l, "grate diameter", j.grate_dia, false))
      return;
    if (!in_range(l, "junction number", j.number, 1, out_.n_junctions())) return;
    bool ok = true;
    if (j.area < 0) ok = false, bad(l, format_string("plan area %g is negative", j.area));
    if (j.grate_side < 0 || j.grate_dia < 0)
      ok = false, bad(l, format_string("grate sizes %g and %g may not be negative", j.grate_side, j.grate_dia));
    if (j.type < 0) ok = false, bad(l, format_string("junction type %d is negative", j.type));
    if (j.type == 666 && !drain_)
      ok = false, bad(l, "type 666 (an outlet into a superjunction) belongs to the drain network file");
    if (!ok) return;
    pipe_junction_card& slot = out_.junctions[static_cast<size_t>(j.number)];
    if (slot.line != 0) {
      bad(l, format_string("junction %d is already given on line %d", j.number, slot.line));
      return;
    }
    if (j.invert > j.ground)
      say(format_string("WARNING: ground elevation less than node bottom. superjunction %d\n", j.number));
    slot = j;
  }

  // SLINK and its block; returns the index of the block's last line.
  size_t read_link(std::vector<card_line>& lines, size_t at) {
    card_line& l = lines[at];
    int number = 0, n = 0;
    if (!take_int(l, "link number", number) || !take_int(l, "pipe count", n)) return at;
    if (!in_range(l, "link number", number, 1, out_.n_links())) return at;
    if (n < 1) {
      bad(l, format_string("pipe count %d must be at least 1", n));
      return at;
    }
    pipe_link_cards& link = out_.links[static_cast<size_t>(number)];
    if (link.line != 0) {
      bad(l, format_string("link %d already has its SLINK block on line %d", number, link.line));
      return at;
    }
    // The block cannot hold more pipes than the lines that follow it.
    if (static_cast<size_t>(n) > lines.size() - at) {
      bad(l, format_string("pipe count %d is larger than the lines left in the file", n));
      return at;
    }
    link.line = l.number;
    link.pipes = n;
    link.nodes.assign(static_cast<size_t>(n) + 2, {});
    link.pipe.assign(static_cast<size_t>(n) + 1, {});
    if (n > out_.max_pipes) out_.max_pipes = n;
    size_t k = at + 1;
    for (; k < lines.size(); ++k) {
      card_line& b = lines[k];
      std::string word;
      if (!pop_token(b.rest, word)) continue;  // a blank line does not end the block
      if (word == "NODE") {
        read_node(b, number, link);
      } else if (word == "PIPE") {
        if (read_pipe(b, number, link) == n) return k;
      } else {
        return k;  // any other word ends the block and is skipped
      }
    }
    return k;
  }

  void read_node(card_line& l, int link_number, pipe_link_cards& link) {
    int k = 0;
    pipe_node_card nd;
    nd.line = l.number;
    if (!take_int(l, "node number", k) || !take_double(l, "ground elevation", nd.ground) ||
        !take_double(l, "invert elevation", nd.invert) || !take_double(l, "plan area", nd.area) ||
        !take_int(l, "inlet type", nd.inlet_type) || !take_int(l, "i", nd.i) || !take_int(l, "j", nd.j) ||
        !take_double(l, "grate side length", nd.grate_side, false) ||
        !take_double(l, "grate diameter", nd.grate_dia, false))
      return;
    if (!in_range(l, "node number", k, 1, link.pipes + 1)) return;
    bool ok = true;
    if (nd.area < 0) ok = false, bad(l, format_string("plan area %g is negative", nd.area));
    if (nd.grate_side < 0 || nd.grate_dia < 0)
      ok = false, bad(l, format_string("grate sizes %g and %g may not be negative", nd.grate_side, nd.grate_dia));
    if (nd.inlet_type < 0) ok = false, bad(l, format_string("inlet type %d is negative", nd.inlet_type));
    if (!ok) return;
    pipe_node_card& slot = link.nodes[static_cast<size_t>(k)];
    if (slot.line != 0) {
      bad(l, format_string("node %d of link %d is already given on line %d", k, link_number, slot.line));
      return;
    }
    if (nd.invert > nd.ground)
      say(format_string("WARNING: ground elevation less than node bottom. superlink %d, node %d\n", link_number, k));
    slot = nd;
  }

  // A PIPE line; returns its number (0 when it cannot be read).
  int read_pipe(card_line& l, int link_number, pipe_link_cards& link) {
    int k = 0;
    pipe_card p;
    p.line = l.number;
    if (!take_int(l, "pipe number", k) || !take_int(l, "section type", p.section) ||
        !take_double(l, "diameter", p.diameter) || !take_double(l, "width", p.width) ||
        !take_double(l, "slope", p.slope) || !take_double(l, "Manning n", p.manning_n) ||
        !take_double(l, "length", p.length) || !take_double(l, "conductivity", p.conductivity, false) ||
        !take_double(l, "drain spacing", p.spacing, false) || !take_double(l, "multiplier", p.multiplier, false))
      return 0;
    if (!in_range(l, "pipe number", k, 1, link.pipes)) return 0;
    // The pipe checks in their order, each worded as users know them.
    bool ok = true;
    if (p.section < 1 || p.section > 3)
      ok = false, pipe_error(l, format_string("Error: pipe cross-section type not valid: node %d link %d.\n", k,
                                              link_number));
    if (p.manning_n < 1e-8)
      ok = false, pipe_error(l, format_string("Error: pipe roughness value not valid: node %d link %d.\n", k,
                                              link_number));
    if (p.conductivity > 1e-8 && p.spacing < 1e-8)
      ok = false, pipe_error(l, format_string("Error: drain spacing cannot be zero if pipe conductivity greater "
                                              "than zero: node %d link %d.\n",
                                              k, link_number));
    if (p.slope < 0) say(format_string("Warning: pipe slope is negative: node %d link %d\n", k, link_number));
    if (p.length < 1e-8)
      ok = false, pipe_error(l, format_string("Error: pipe length is zero or negative: node %d link %d.\n", k,
                                              link_number));
    if (!(p.diameter > 0)) ok = false, bad(l, format_string("pipe size %g must be positive", p.diameter));
    if (p.section != pipe_section_circle && !(p.width > 0))
      ok = false, bad(l, format_string("width %g of an arch or box pipe must be positive", p.width));
    if (p.conductivity < 0 || p.spacing < 0 || p.multiplier < 0)
      ok = false, bad(l, "conductivity, drain spacing and multiplier may not be negative");
    if (!ok) return k;
    pipe_card& slot = link.pipe[static_cast<size_t>(k)];
    if (slot.line != 0) {
      bad(l, format_string("pipe %d of link %d is already given on line %d", k, link_number, slot.line));
      return k;
    }
    slot = p;
    return k;
  }

  // Every link connected and laid out, every node and pipe given.
  void check_complete() {
    for (int l = 1; l <= out_.n_links(); ++l) {
      const pipe_connect_card& c = out_.connects[static_cast<size_t>(l)];
      const pipe_link_cards& link = out_.links[static_cast<size_t>(l)];
      if (c.line == 0) missing(format_string("link %d has no CONNECT line", l));
      if (link.line == 0) {
        missing(format_string("link %d has no SLINK block", l));
        continue;
      }
      for (int k = 1; k <= link.pipes + 1; ++k)
        if (link.nodes[static_cast<size_t>(k)].line == 0)
          missing(format_string("link %d (SLINK on line %d) has no NODE %d before its last PIPE", l, link.line, k));
      for (int k = 1; k <= link.pipes; ++k)
        if (link.pipe[static_cast<size_t>(k)].line == 0)
          missing(format_string("link %d (SLINK on line %d) has no PIPE %d", l, link.line, k));
    }
    for (int j = 1; j <= out_.n_junctions(); ++j)
      if (out_.junctions[static_cast<size_t>(j)].line == 0) missing(format_string("junction %d has no SJUNC line", j));
  }

  void missing(const std::string& why) {
    say(format_string("Error in the pipe file %s: %s\n", path_.c_str(), why.c_str()));
    ++problems_;
  }

  static constexpr int pipe_section_circle = 1;
  const std::string& path_;
  bool drain_;
  pipe_network_cards& out_;
  int problems_ = 0;
};

}  // namespace

void pipe_file_refusal(const std::string& path, int line, const std::string& why) {
  say(format_string("Error in the pipe file %s, line %d: %s\n", path.c_str(), line, why.c_str()));
}

int read_pipe_network_file(file_wrapper& f, const std::string& path, bool drain, pipe_network_cards& out) {
  out = pipe_network_cards{};
  out.path = path;
  network_reader reader(path, drain, out);
  reader.read(f);
  return reader.problems() == 0 ? 0 : -1;
}

int pipe_card_code(std::string& line) {
  std::string word;
  if (!pop_token(line, word)) return 4;
  constexpr const char* words[] = {"pipecells", "cellij", "numpipes", "spipe"};
  for (int k = 0; k < 4; ++k)
    if (same_keyword(word, words[k])) return k;
  return 4;
}

namespace {

// Lines of a grid pipe file with their numbers.
class grid_pipe_reader {
 public:
  grid_pipe_reader(file_wrapper& f, const std::string& path) : f_(f), path_(path) {}

  bool next(std::string& line) {
    if (!read_line(line, f_)) return false;
    text_ = line;
    ++number_;
    return true;
  }

  int fail(const std::string& why) {
    say(format_string("Error in the grid pipe file %s, line %d: %s: %s\n", path_.c_str(), number_, why.c_str(),
                      text_.c_str()));
    return -9;
  }

  bool int_value(std::string& line, int& out) {
    std::string token;
    if (!pop_token(line, token)) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(token.c_str(), &end, 10);
    if (end == token.c_str() || *end != '\0' || errno != 0 || v < -2147483647L || v > 2147483647L) return false;
    out = static_cast<int>(v);
    return true;
  }

  bool real_value(std::string& line, double& out) {
    std::string token;
    if (!pop_token(line, token)) return false;
    char* end = nullptr;
    const double v = std::strtod(token.c_str(), &end);
    if (end == token.c_str() || *end != '\0' || !std::isfinite(v)) return false;
    out = v;
    return true;
  }

  void rewind() {
    std::rewind(f_.fp);
    number_ = 0;
  }

 private:
  file_wrapper& f_;
  const std::string& path_;
  std::string text_;
  int number_ = 0;
};

}  // namespace

int read_grid_pipe_file(const main_state& ms, file_wrapper& f, const std::string& path, int n_links,
                        const ivec& pipes, grid_pipe_tables out) {
  grid_pipe_reader in(f, path);
  std::string line;
  if (!in.next(line)) {
    say(format_string("The gridpipe file format is invalid\n"));
    return in.fail("the file is empty");
  }
  std::string word;
  if (!pop_token(line, word) || !same_keyword(word, "GRIDPIPEFILE")) {
    say("The gridpipe file format is invalid\n");
    return in.fail("the first word must be GRIDPIPEFILE");
  }
  int n_cells = 0;
  if (!in.next(line) || pipe_card_code(line) != 0) {
    say("The second card in the grid-pipe file must be PIPECELLS\n");
    say("File format error, program terminating.\n");
    return -9;
  }
  if (!in.int_value(line, n_cells) || n_cells < 1) {
    say("The number of PIPECELLS in the gridpipe (.gpi) file\n");
    say("must be greater than 0.  File format error, program terminating\n");
    return -9;
  }
  out.num_cells = n_cells;
  out.ncellsingrid.allocate(n_cells);
  // Pass A: the entry count of each cell, and their largest.
  int cell = 0, max_pipes = 0;
  while (in.next(line)) {
    const int code = pipe_card_code(line);
    if (code == 1 && ++cell > n_cells)
      return in.fail(format_string("more CELLIJ cards than the %d of PIPECELLS", n_cells));
    if (code != 2) continue;
    int m = 0;
    if (cell < 1) return in.fail("NUMPIPES before the first CELLIJ");
    if (!in.int_value(line, m) || m < 0) return in.fail("NUMPIPES needs a count of 0 or more");
    out.ncellsingrid[cell] = m;
    if (m > max_pipes) max_pipes = m;
  }
  if (cell != n_cells) return in.fail(format_string("%d CELLIJ cards for the %d of PIPECELLS", cell, n_cells));
  out.max_pipes = max_pipes;
  const int width = max_pipes > 0 ? max_pipes : 1;
  out.link.allocate(n_cells, width);
  out.node.allocate(n_cells, width);
  out.gnum.allocate(n_cells, width);
  out.pct.allocate(n_cells, width);
  // Pass B: the entries.
  in.rewind();
  in.next(line);
  in.next(line);
  cell = 0;
  int entry = 0, active = 0;
  const auto close_cell = [&]() -> int {
    if (cell >= 1 && entry != out.ncellsingrid[cell])
      return in.fail(format_string("cell %d lists %d SPIPE cards, NUMPIPES gives %d", cell, entry,
                                   out.ncellsingrid[cell]));
    return 0;
  };
  while (in.next(line)) {
    const int code = pipe_card_code(line);
    if (code == 1) {
      if (close_cell() != 0) return -9;
      int row = 0, col = 0;
      if (!in.int_value(line, row) || !in.int_value(line, col)) return in.fail("CELLIJ needs a row and a column");
      active = row >= 1 && row <= ms.rows && col >= 1 && col <= ms.cols && !ms.mask.empty() ? ms.mask[row][col] : 0;
      if (active < 1) return in.fail(format_string("row %d column %d is not an active cell of the grid", row, col));
      ++cell;
      entry = 0;
    } else if (code == 3) {
      int link = 0, node = 0;
      double pct = 0;
      if (cell < 1) return in.fail("SPIPE before the first CELLIJ");
      if (!in.int_value(line, link) || !in.int_value(line, node) || !in.real_value(line, pct))
        return in.fail("SPIPE needs a link, a node and a finite share");
      if (++entry > out.ncellsingrid[cell])
        return in.fail(format_string("cell %d lists more SPIPE cards than its NUMPIPES %d", cell,
                                     out.ncellsingrid[cell]));
      if (link < 1 || link > n_links) return in.fail(format_string("link %d is outside 1..%d", link, n_links));
      if (node < 1 || node > pipes[link] + 1)
        return in.fail(format_string("node %d is outside 1..%d of link %d", node, pipes[link] + 1, link));
      if (pct < 0 || pct > 1) return in.fail(format_string("share %g is outside 0..1", pct));
      out.link[cell][entry] = link;
      out.node[cell][entry] = node;
      out.gnum[cell][entry] = active;
      out.pct[cell][entry] = pct;
    }
  }
  if (close_cell() != 0) return -9;
  say("Finished reading gridpipe file.\n");
  return 0;
}

}  // namespace kavro
