// Node, section and structure cards of the channel input file, and the
// completion of the network: roughness, trapezoid sections, breakpoint
// tables and the bed of the computational nodes.
#include "channel/chan_input_parts.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "channel/breakpoint_tables.h"
#include "channel/chan_input.h"
#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"
#include "input/elev_series.h"
#include "input/time_series.h"

namespace kavro {

void say(const std::string& text) { print_and_log(run_log_file, text); }

void manning_zero_message(int link) {
  say(format_string("Error encountered when reading the channel input file, link %d:\n", link));
  say("    Manning's Roughness is 0.000\n");
}

void chan_file::load(file_wrapper& f) {
  lines.clear();
  std::string text;
  int number = 0;
  while (f.is_open() && read_line(text, f)) {
    chan_line l;
    l.raw = text;
    l.rest = text;
    l.code = chan_card_code(l.rest);
    l.number = ++number;
    lines.push_back(std::move(l));
  }
}

void chan_file::bad(const chan_line& l, const std::string& why) {
  say(format_string("Error in the channel input file %s, line %d: %s\n", name.c_str(), l.number, why.c_str()));
  ++n_bad;
}

bool chan_file::get_double(std::string& rest, double& out, const chan_line& l) {
  std::string token;
  double v = 0.0;
  const number_fault f = pop_real(rest, v, token);
  if (f != number_fault::none) {
    bad(l, number_fault_text(f, token) + " (" + printable(l.raw) + ")");
    return false;
  }
  out = v;
  return true;
}

bool chan_file::get_real(std::string& rest, double& out, double lo, double hi, const char* what,
                         const chan_line& l) {
  double v = 0.0;
  if (!get_double(rest, v, l)) return false;
  if (v < lo || v > hi) {
    bad(l, format_string("%s %g is outside %g to %g", what, v, lo, hi));
    return false;
  }
  out = v;
  return true;
}

bool chan_file::get_int(std::string& rest, int& out, long long lo, long long hi, const char* what,
                        const chan_line& l) {
  std::string token;
  int v = 0;
  const number_fault f = pop_whole(rest, v, token);
  if (f != number_fault::none) {
    bad(l, format_string("%s: ", what) + number_fault_text(f, token, INT_MIN, INT_MAX));
    return false;
  }
  if (v < lo || v > hi) {
    bad(l, format_string("%s %d is outside %lld to %lld", what, v, lo, hi));
    return false;
  }
  out = v;
  return true;
}

int quiet_int(std::string& rest) {
  std::string token;
  int v = 0;
  return pop_whole(rest, v, token) == number_fault::none ? v : 0;
}

bool chan_file::check_range(int v, int lo, int hi, const char* what, const chan_line& l) {
  if (v >= lo && v <= hi) return true;
  bad(l, format_string("%s %d is outside %d..%d", what, v, lo, hi));
  return false;
}

bool chan_file::check_link(int v, const chan_line& l) { return check_range(v, 1, ms->LINKS, "LINK", l); }

namespace {

// STRUCTTYPE of element k: its type and, for the three series-driven types,
// the series. False after codes 85 to 90.
bool read_struct_type(main_state& ms, std::string& rest, hydraulic_structure& h) {
  std::string word, name;
  pop_token(rest, word);
  std::string lower = word;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  constexpr const char* words[] = {"weir",         "sag_weir",          "round_culvert", "oval_culvert",
                                   "rect_culvert", "rating_curve",      "scheduled_release", "rule_curve"};
  h.struct_type = 0;
  for (int i = 0; i < 8 && h.struct_type == 0; ++i)
    if (lower.rfind(words[i], 0) == 0) h.struct_type = i + 1;
  if (h.struct_type < 6) return true;
  const bool named = pop_token(rest, name) != 0;
  const int base = h.struct_type == 6 ? 85 : h.struct_type == 7 ? 87 : 89;
  bool found = false;
  if (named && h.struct_type == 7) {
    h.time_series = find_time_series(name);
    found = h.time_series != nullptr;
    if (found) ms.sched_release_on = 1;
  } else if (named) {
    h.elev_series = find_elev_series(name);
    found = h.elev_series != nullptr;
  }
  if (named && found) return true;
  error_rec.code = named ? base + 1 : base;
  error_rec.what = name;
  error_rec.stop = 1;
  return false;
}

double* struct_field(hydraulic_structure& h, int code) {
  switch (code) {
    case 54: case 66: return &h.length;
    case 47: case 67: return &h.upinvert;
    case 48: return &h.downinvert;
    case 53: return &h.slope;
    case 50: case 69: return &h.coeff_forward;
    case 52: case 70: return &h.coeff_reverse;
    case 55: case 58: case 60: case 71: return &h.width;
    case 56: case 61: case 72: return &h.height;
    case 68: return &h.crest_low_loc;
    case 59: return &h.rough_coeff;
    default: return nullptr;
  }
}

bool is_struct_field(int code) {
  hydraulic_structure h;
  return struct_field(h, code) != nullptr;
}

// Trapezoid values copied from the link's last XSEC node to all its nodes.
bool spread_trapezoid_sections(main_state& ms, const imat& got_xsec) {
  for (int link = 1; link <= ms.LINKS; ++link) {
    if (!(ms.ltype[link] & 4)) continue;
    int sec = 0;
    for (int p = 1; p <= ms.nx1[link]; ++p)
      if (got_xsec[p][link] == ms.ltype[link]) sec = p;
    if (sec == 0) {
      say(format_string("Error: Cross section parameters not found for link %d.\n", link));
      return false;
    }
    const double b = ms.bottom[sec][link], s = ms.sslope[sec][link];
    if (b < 0 || s < 0 || (b == 0 && s == 0)) {
      say(format_string("Error in the channel input file: link %d has BOTTOM_WIDTH %g and SIDE_SLOPE %g; neither "
                        "may be negative, and not both 0\n",
                        link, b, s));
      return false;
    }
    for (int p = 1; p <= ms.nx1[link]; ++p) {
      ms.sslope[p][link] = s;
      ms.bottom[p][link] = b;
      ms.bankfull_dep[p][link] = ms.bankfull_dep[sec][link];
      if (ms.ltype[link] & 2) ms.max_eros[p][link] = ms.max_eros[sec][link];
    }
  }
  return true;
}

// A section whose points all share one x holds no water at any depth: its
// tables would divide by a zero area during the run.
bool section_has_width(chan_file& f, const chan_line& l, const bp_link_sections& sec, int j, int link) {
  const std::vector<double>& x = sec.x[static_cast<std::size_t>(j)];
  const auto [lo, hi] = std::minmax_element(x.begin() + 1, x.end());
  if (*hi > *lo) return true;
  f.bad(l, format_string("the %d X1 points of section %d of link %d all lie at x = %g: a section needs a width",
                         sec.npairs[static_cast<std::size_t>(j)], j, link, *lo));
  return false;
}

// Breakpoint pass: the sections of every breakpoint link and their tables.
bool read_breakpoint_sections(main_state& ms, chan_file& f, chan_elements& el) {
  if (ms.max_num_interp < 1) {
    say("Error: the number of interpolation points has not been specifiedfor any table. Each break-point "
        "cross-section table should have a NUM_INTERP ### card below the NPAIRS card\n");
    return false;
  }
  const long nt = ms.n_xsec_tables;
  for (dmat* m : {&ms.xarea, &ms.xtw, &ms.xk, &ms.xp}) alloc_dmat_zero(*m, ms.max_num_interp, nt, m->name());
  alloc_ivec(ms.numpairs, nt, "numpairs");
  alloc_ivec(ms.numhts, nt, "numhts");
  alloc_dvec(ms.ht_spc, nt, "ht_spc");
  size_xsec_scratch(ms);
  ms.n_xsec_tables_used = 0;
  if (!ms.quiet) print_message("Reading and interpolating break-point cross-sections ");
  bp_link_sections sec;
  int link = 0, node = 0, pair = 0;
  auto start_link = [&]() {
    sec = bp_link_sections{};
    sec.node.assign(1, 0), sec.npairs.assign(1, 0), sec.num_interp.assign(1, 0);
    sec.x.assign(1, {}), sec.y.assign(1, {});
    if (link >= 1 && el.num_xsec[link] > 1) sec.first = el.first[link], sec.last = el.last[link];
  };
  for (const chan_line& l : f.lines) {
    std::string rest = l.rest;
    int v = 0;
    switch (l.code) {
      case 8: v = quiet_int(rest), link = (v >= 1 && v <= ms.LINKS) ? v : 0, start_link(); break;
      case 33: v = quiet_int(rest), node = (v >= 1 && v <= ms.MAXNODES) ? v : 0; break;
      case 41:
        if (!link || !(ms.ltype[link] & 8)) break;
        v = std::max(quiet_int(rest), 0);  // judged by the counting pass
        ++sec.n_sections;
        sec.node.push_back(node), sec.npairs.push_back(v), sec.num_interp.push_back(0);
        sec.x.emplace_back(v + 1, 0.0), sec.y.emplace_back(v + 1, 0.0);
        pair = 0;
        if (node < 1 || node > ms.nx1[link]) f.bad(l, format_string("NPAIRS at node %d outside 1..%d of link %d", node, ms.nx1[link], link));
        break;
      case 74:
        if (sec.n_sections > 0) sec.num_interp.back() = quiet_int(rest);
        break;
      case 39: {
        if (!link || !(ms.ltype[link] & 8)) break;
        const int j = sec.n_sections;
        if (j == 0) {
          f.bad(l, "X1 before the NPAIRS card of its section");
          break;
        }
        if (++pair > sec.npairs[j]) {
          say(format_string("\n\nError: There are more X1 cards than the NPAIRS card specifies \nfor table %d in "
                            "link %d.\n",
                            j, link));
          return false;
        }
        f.get_real(rest, sec.x[j][pair], -chan_limit::length, chan_limit::length, "X1 x", l);
        f.get_real(rest, sec.y[j][pair], -chan_limit::elevation, chan_limit::elevation, "X1 y", l);
        if (f.n_bad) return false;
        if (pair == sec.npairs[j] && !section_has_width(f, l, sec, j, link)) return false;
        if (j == el.num_xsec[link] && pair == sec.npairs[j]) {
          interp_bp_xsecs(ms, link, sec, el.manning[link]);
          if (error_rec.code != 0) return false;
          if (!ms.quiet) print_message(".");
        }
        break;
      }
      default: break;
    }
    if (f.n_bad) return false;
  }
  if (!ms.quiet) print_message("\n");
  return true;
}

}  // namespace

bool read_elements(main_state& ms, chan_file& f, size_t from, chan_elements& el) {
  imat& got_xsec = el.got_xsec;
  alloc_imat_zero(got_xsec, ms.max_nodes_per_link, ms.link_dim, "got_xsec");
  int link = 0, node = 0, k = 0;
  for (size_t i = from; i < f.lines.size(); ++i) {
    const chan_line& l = f.lines[i];
    std::string rest = l.rest;
    int v = 0;
    switch (l.code) {
      case 8: link = f.get_int(rest, v, 1, ms.LINKS, "LINK", l) ? v : 0; break;
      case 33: node = f.get_int(rest, v, 1, ms.MAXNODES, "NODE", l) ? v : 0; break;
      case 34:
        f.get_real(rest, ms.bel[node][link], -chan_limit::elevation, chan_limit::elevation, "ELEV", l);
        break;
      case 40: f.get_double(rest, ms.lnx[node][link], l), f.get_double(rest, ms.lny[node][link], l); break;
      case 35: got_xsec[node][link] = ms.ltype[link]; break;
      case 36: f.get_real(rest, ms.bottom[node][link], 0.0, chan_limit::length, "BOTTOM_WIDTH", l); break;
      case 37: f.get_real(rest, ms.bankfull_dep[node][link], 0.0, chan_limit::length, "BANKFULL_DEPTH", l); break;
      case 38: f.get_real(rest, ms.sslope[node][link], 0.0, chan_limit::length, "SIDE_SLOPE", l); break;
      case 25: f.get_real(rest, ms.max_eros[node][link], 0.0, chan_limit::length, "MAX_EROSION", l); break;
      case 46:
        if (link && !ms.link_structs.empty()) ms.link_structs[link].count = quiet_int(rest);  // judged when counted
        break;
      case 23:
        if (++k > ms.n_hydr_structs) break;
        if (link && !ms.link_structs.empty()) {
          ms.link_structs[link].first = std::min(ms.link_structs[link].first, k);
          ms.link_structs[link].last = std::max(ms.link_structs[link].last, k);
        }
        if (!read_struct_type(ms, rest, ms.hydr_struct[k])) return false;
        break;
      case 73: break;  // point sources are bound by the channel point-input set-up
      case 75:
        if (!ms.stream_pumps.empty() && link) ms.stream_pumps[node][link] = add_chan_pump(ms, rest, link, ms.ltype[link]);
        break;
      default:
        if (double* field = k >= 1 && k <= ms.n_hydr_structs ? struct_field(ms.hydr_struct[k], l.code) : nullptr) {
          if (!link || ms.link_structs.empty() || ms.link_structs[link].last != k) {
            warn(format_string("Warning: channel input file %s, line %d: a structure field with no structure "
                              "element open in link %d is skipped\n",
                              f.name.c_str(), l.number, link),
                 run_log_file);
            break;
          }
          f.get_real(rest, *field, -chan_limit::elevation, chan_limit::elevation, "the structure value", l);
        } else if (k == 0 && is_struct_field(l.code)) {
          warn(format_string("Warning: channel input file %s, line %d: a structure field before any STRUCTTYPE "
                            "card is skipped\n",
                            f.name.c_str(), l.number),
               run_log_file);
        }
        break;
    }
  }
  return f.n_bad == 0;
}

bool complete_network(main_state& ms, chan_file& f, chan_elements& el) {
  if (!ms.Krb.empty()) {
    for (int link = 1; link <= ms.LINKS; ++link) {
      const bool own = (ms.ltype[link] & 1) && (ms.ltype[link] & 12);
      for (int p = 1; p <= ms.nx1[link]; ++p) {
        ms.Krb[p][link] = own ? el.kbed[link] : ms.k_river;
        ms.Mrb[p][link] = own ? el.mbed[link] : ms.m_river;
      }
    }
  }
  for (int link = 1; link <= ms.LINKS; ++link) {
    const bool sectioned = ms.ltype[link] & (4 | 8 | 16);
    if (sectioned && !(el.manning[link] >= 1e-8)) {
      manning_zero_message(link);
      return false;
    }
    ms.link_inv_n[link] = el.manning[link] > 0 ? 1.0 / el.manning[link] : 0.0;
  }
  if (!spread_trapezoid_sections(ms, el.got_xsec)) return false;
  el.got_xsec.reset();
  bool any_bp = false;
  for (int link = 1; link <= ms.LINKS; ++link) any_bp = any_bp || (ms.ltype[link] & 8);
  if (any_bp && !read_breakpoint_sections(ms, f, el)) return false;
  for (int link = 1; link <= ms.LINKS; ++link) {
    ms.nx[link] = (ms.ltype[link] & (4 | 8 | 16)) ? ms.nx1[link] - 1 : ms.nx1[link];
    ms.og_nx1[link] = ms.nx[link];
    for (int i = 1; i <= ms.nx[link]; ++i) {
      ms.bel[i][link] = (ms.bel[i][link] + ms.bel[i + 1][link]) * 0.5;
      ms.yp[i][link] = ms.bel[i][link];
      ms.qp[i][link] = 0.0;
    }
  }
  return true;
}

void save_network_copies(main_state& ms) {
  alloc_ivec(ms.og_ndep, ms.link_dim, "og_ndep");
  alloc_ivec(ms.og_dslink, ms.link_dim, "og_dslink");
  alloc_ivec(ms.og_ltype, ms.link_dim, "og_lytpe");
  alloc_imat_zero(ms.og_uslinks, ms.link_dim, std::max(ms.max_ndep, 4), "og_uslinks");
  ms.og_links = ms.LINKS;
  for (int link = 1; link <= ms.LINKS; ++link) {
    ms.og_nx1[link] = ms.nx[link];
    ms.og_ndep[link] = ms.ndep[link];
    ms.og_dslink[link] = ms.dslink[link];
    ms.og_ltype[link] = ms.ltype[link];
    for (int k = 1; k <= ms.ndep[link]; ++k) ms.og_uslinks[link][k] = ms.uslinks[link][k];
  }
}

}  // namespace kavro
