// Start of a channel run (outlet head boundary, initial sections and
// volume, the point-source file) and the timed changes of the point
// inputs during the run.
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

#include "channel/channel_routing.h"
#include "channel/channel_steps.h"
#include "channel/cross_sections.h"
#include "channel/link_kinds.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/run_clock.h"
#include "input/time_series.h"

namespace kavro {
namespace {

constexpr int token_limit = 10000;

void say(const std::string& text) { print_and_log(run_log_file, text); }

void stop_printed() {
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

// Next whitespace-separated token of the point-source file; false at its end.
bool next_token(main_state& ms, std::string& tok) {
  while (!pop_token(ms.chan_point_pending, tok)) {
    if (!read_line(ms.chan_point_pending, ms.chan_point_file)) return false;
    ++ms.chan_point_line;
  }
  return true;
}

bool keyword_is(const std::string& tok, const char* word) {
  if (tok.size() < 5) return false;
  for (int i = 0; i < 5; ++i)
    if (std::toupper(static_cast<unsigned char>(tok[i])) != word[i]) return false;
  return true;
}

enum class num_status { ok, end, bad };

void refuse_number(const main_state& ms, const char* what, number_fault fault, const std::string& tok) {
  say(format_string("Error: %s in the channel point source file %s, line %ld: %s.\n", what,
                    ms.chan_point_input_path.c_str(), ms.chan_point_line,
                    number_fault_text(fault, tok, INT_MIN, INT_MAX).c_str()));
}

// A finite number, naming the file, line and token when it is not one.
num_status next_number(main_state& ms, double& out, const char* what) {
  std::string tok;
  if (!next_token(ms, tok)) return num_status::end;
  const number_fault fault = read_real(tok, out);
  if (fault == number_fault::none) return num_status::ok;
  refuse_number(ms, what, fault, tok);
  return num_status::bad;
}

// A whole number in the int range (a count, a node, a link, a date field).
num_status next_whole(main_state& ms, int& out, const char* what) {
  std::string tok;
  if (!next_token(ms, tok)) return num_status::end;
  const number_fault fault = read_int(tok, out);
  if (fault == number_fault::none) return num_status::ok;
  refuse_number(ms, what, fault, tok);
  return num_status::bad;
}

// Reads an INPUT line: 1 with a new date, -1 at the end of the file, -2
// after a refused line (printed).
int read_input_line(main_state& ms) {
  std::string tok;
  int date[5];
  bool ok = next_token(ms, tok);
  if (ok && !keyword_is(tok, "INPUT")) {
    say(format_string("Error: the channel point source file %s, line %ld, has \"%s\" where INPUT is due.\n",
                      ms.chan_point_input_path.c_str(), ms.chan_point_line, tok.c_str()));
    return -2;
  }
  for (int k = 0; ok && k < 5; ++k) {
    const num_status s = next_whole(ms, date[k], "INPUT date");
    if (s == num_status::bad) return -2;
    ok = s == num_status::ok;
  }
  if (!ok) {
    const int* d = ms.chan_point_next_date;
    say(format_string("\n last year %d last month %d last day %d last hour %d last minute %d \n", d[0], d[1], d[2], d[3],
                      d[4]));
    return -1;
  }
  if (date[0] < 100) date[0] += 1900;
  for (int k = 0; k < 5; ++k) ms.chan_point_next_date[k] = date[k];
  return 1;
}

// Head of the point-source file: 1 with a first change time, 0 without
// one, -1 at an unexpected end, -2 after a refusal (printed, code set).
int read_chan_point_file(main_state& ms) {
  std::string tok;
  int n = 0;
  for (;; ++n) {
    if (n >= token_limit) {
      say("There is a problem with your channel source input file.  KAVRO cannot\n");
      say("find the first card.  Check the format of your channel source file\n\n");
      stop_printed();
      return 0;
    }
    if (!next_token(ms, tok)) return -1;
    if (keyword_is(tok, "NUMPT")) break;
  }
  int numpt = 0;
  num_status s = next_whole(ms, numpt, "NUMPT");
  if (s != num_status::ok) return s == num_status::end ? -1 : -2;
  const long slots = ms.node_link_dim;
  if (numpt < 0 || numpt > slots) {
    say(format_string("Error: NUMPT %d in the channel point source file %s, line %ld, is outside 0..%ld.\n", numpt,
                      ms.chan_point_input_path.c_str(), ms.chan_point_line, slots));
    return -2;
  }
  ms.chan_point_numpt = numpt;
  int read = 0;
  for (n = 0; read < numpt; ++n) {
    if (n >= token_limit) {
      say("There is a problem with your channel source input file.  KAVRO cannot\n");
      say("find the point source location card.  Check the format of your channel source file\n\n");
      stop_printed();
      return 0;
    }
    if (!next_token(ms, tok)) return -1;
    if (!keyword_is(tok, "POINT")) continue;
    int ni = 0, li = 0;
    double q = 0;
    for (auto [dst, what] : {std::pair{&ni, "POINT node"}, {&li, "POINT link"}}) {
      s = next_whole(ms, *dst, what);
      if (s != num_status::ok) return s == num_status::end ? -1 : -2;
    }
    s = next_number(ms, q, "POINT discharge");
    if (s != num_status::ok) return s == num_status::end ? -1 : -2;
    if (li < 1 || li > ms.LINKS || ni < 1 || ni > ms.nx[li]) {
      say(format_string("Error: POINT %d %d in the channel point source file %s, line %ld, is not a node of the "
                        "channel network.\n", ni, li, ms.chan_point_input_path.c_str(), ms.chan_point_line));
      return -2;
    }
    const long slot = static_cast<long>(ni) + static_cast<long>(li) * ms.max_nodes_per_link;
    ms.chan_point_address[++read] = static_cast<int>(slot);
    ms.chan_point_q[slot] = q;
    for (int c = 1; c <= ms.n_constituents; ++c) {
      double conc = 0;
      s = next_number(ms, conc, "POINT concentration");
      if (s != num_status::ok) return s == num_status::end ? -1 : -2;
      if (ms.chan_contam_on && !ms.chan_point_conc.empty()) ms.chan_point_conc[c][slot] = conc;
    }
  }
  for (n = 0;; ++n) {
    if (n >= token_limit) {
      say("There is a problem with your channel source input file.  KAVRO cannot\n");
      say("find the number of timed changes to your point inputs.  Check the format of your channel source file\n\n");
      stop_printed();
      return -2;
    }
    if (!next_token(ms, tok)) {
      ms.chan_point_nrpds = 0;
      return 0;
    }
    if (keyword_is(tok, "NRPDS")) break;
  }
  s = next_whole(ms, ms.chan_point_nrpds, "NRPDS");
  if (s != num_status::ok) return s == num_status::end ? -1 : -2;
  if (ms.chan_point_nrpds <= 0) return 0;
  const int r = read_input_line(ms);
  return r;
}

double next_date_time(const main_state& ms) {
  const int* d = ms.chan_point_next_date;
  return julian_date(d[0], d[1], d[2], d[3], d[4], 0.0);
}

}  // namespace

int apply_stream_head_boundary(main_state& ms) {
  if (ms.bound_ts_on && ms.bound_ts) ms.bound_depth = time_series_value(ms.now, ms.bound_ts);
  const int L = ms.LINKS, n = ms.nx[L];
  ms.yp[n][L] = ms.bel[n][L] + ms.bound_depth;
  ms.chan_depth[n][L] = ms.bound_depth;
  return 0;
}

void init_channel_run(main_state& ms) {
  if (ms.head_bound_on && ms.LINKS >= 1) {
    if (ms.bound_ts_on) {
      ms.bound_ts = find_time_series(ms.bound_ts_path);
      if (!ms.bound_ts) {
        error_rec.what = ms.bound_ts_path;
        error_rec.code = 127;
        return;
      }
    }
    const double now = ms.now;
    ms.now = run_start_time(ms);
    apply_stream_head_boundary(ms);
    ms.now = now;
    ms.chan_active = 1;
  }
  if (ms.channel_on && ms.LINKS >= 1) {
    // A lake draining straight into a section link has no defined outflow.
    for (int l = 1; l <= ms.LINKS; ++l) {
      const int d = ms.dslink[l];
      if ((ms.ltype[l] & lake_bit) && d > 0 && !(ms.ltype[d] & structure_bit)) {
        say(format_string("Error: lake link %d drains straight into link %d, which is not a structure link. A lake "
                          "must drain through a structure link.\n", l, d));
        stop_printed();
        return;
      }
    }
    // Areas carried by a channel hotstart give the levels; else the levels
    // give the areas.
    ex_section(ms, ms.chan_area_from_hotstart ? 1 : 2, ms.area);
    if (error_rec.code != 0) return;
    for (int l = 1; l <= ms.LINKS; ++l) {
      const int lt = ms.ltype[l];
      if (!is_ordinary_link(lt)) continue;
      for (int j = 1; j <= ms.nx[l]; ++j) {
        ms.vol_channel_init_total += ms.area[j][l] * ms.chan_dx[l];
        if (!ms.chan_contam_on || ms.chan_node_mass.empty()) continue;
        const long s = static_cast<long>(l) * ms.max_nodes_per_link + j;
        for (int i = 1; i <= ms.n_constituents; ++i) {
          if (ms.area[j][l] > 1e-16) {
            ms.chan_node_mass[i][s] = ms.area[j][l] * ms.chan_dx[l] * ms.chan_node_conc[i][s];
          } else {
            ms.chan_node_mass[i][s] = ms.chan_node_conc[i][s] = 0.0;
          }
          if (!ms.GLOBAL_MASS_INIT.empty()) ms.GLOBAL_MASS_INIT[i] += ms.chan_node_mass[i][s] / 1000.0;
        }
      }
    }
  }
  if (!ms.chan_point_input_path.empty()) {
    if (!ms.chan_point_file.open(ms.chan_point_input_path, "r")) {
      // A named point-source file that cannot be read stops the run: running
      // on without its inflows would lose water the user asked for.
      say(format_string("Can't open %s to read channel point source input file \n", ms.chan_point_input_path.c_str()));
      error_rec.code = already_printed_code;
      return;
    } else {
      ms.chan_point_inputs_on = 1;
      ms.chan_active = 1;
      ms.chan_point_changes_read = 0;
      ms.chan_point_line = 0;
      ms.chan_point_pending.clear();
      ms.chan_point_q.allocate(ms.node_link_dim + 1);
      ms.chan_point_address.allocate(ms.node_link_dim + 1);
      if (ms.chan_contam_on) ms.chan_point_vol.allocate(ms.node_link_dim);
      const int r = read_chan_point_file(ms);
      if (r == 1) {
        ms.chan_point_next_time = next_date_time(ms);
      } else if (r == -1) {
        say("Unexpected end of file in chan point data file.\n");
        say("Check the format of the data file.\nProgram terminated.");
        stop_printed();
        return;
      } else if (r == -2) {
        stop_printed();
        return;
      }
    }
  }
  if (ms.stream_cell_on && ms.sed_control.erosion_on && ms.n_gst_cells >= 1 && !ms.channel_cells.empty())
    for (int i = 1; i <= ms.n_gst_cells; ++i)
      for (int j = 1; j <= ms.gst_ncellsingrid[i]; ++j) ms.channel_cells[ms.gst_gnum[i][j]] = 1;
}

void chan_point_input_step(main_state& ms) {
  if (!ms.chan_point_inputs_on || !(ms.time_tol > std::fabs(ms.chan_point_next_time - ms.now))) return;
  ++ms.chan_point_changes_read;
  int r = 1;
  for (int k = 1; k <= ms.chan_point_numpt && r == 1; ++k) {
    const long slot = ms.chan_point_address[k];
    double q = 0;
    num_status s = next_number(ms, q, "point discharge");
    if (s == num_status::ok) ms.chan_point_q[slot] = q;
    for (int c = 1; c <= ms.n_constituents && s == num_status::ok; ++c) {
      double conc = 0;
      s = next_number(ms, conc, "point concentration");
      if (s == num_status::ok && ms.chan_contam_on && !ms.chan_point_conc.empty()) ms.chan_point_conc[c][slot] = conc;
    }
    if (s != num_status::ok) r = s == num_status::end ? -1 : -2;
  }
  if (r == 1) r = ms.chan_point_changes_read >= ms.chan_point_nrpds ? 0 : read_input_line(ms);
  if (r == 1) {
    ms.chan_point_next_time = next_date_time(ms);
  } else if (r == 0) {
    ms.chan_point_next_time = 0.0;
  } else if (r == -1) {
    say("Unexpected end of file in chan point input data file.\n");
    say("Check the format of the data file.\nProgram terminated.");
    stop_printed();
  } else {
    stop_printed();
  }
}

}  // namespace kavro
