// Reader of the channel input file. The file is read into memory once and
// then walked in the passes the network needs: header cards, counts,
// CONNECT topology, node and structure cards, breakpoint sections, lakes.
// Every number that indexes an array is range-checked against the sizes the
// file declared; each bad card is named with its line, and the reading
// stops with code 200 after the pass that found it.
#include "channel/chan_input.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <string_view>
#include <vector>

#include "channel/breakpoint_tables.h"
#include "channel/chan_input_parts.h"
#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"
#include "input/elev_series.h"
#include "input/time_series.h"

namespace kavro {
namespace {

struct card_word {
  std::string_view word;
  int code;
};

// The 84 card words and their codes; codes 49, 51 and 57 have no word.
constexpr std::array<card_word, 84> card_words{{
    {"alpha", 1}, {"beta", 2}, {"theta", 3}, {"dx", 4}, {"links", 5}, {"maxnodes", 6}, {"connect", 7},
    {"link", 8}, {"nodes", 9}, {"trapezoid", 10}, {"subsurface_trapezoid", 11}, {"trapezoid_subsurface", 11},
    {"trap_erode", 12}, {"trapezoid_erode", 12}, {"trapezoid_subsurface_erode", 13},
    {"trapezoid_erode_subsurface", 13}, {"subsurface_trap_erode", 13}, {"breakpoint", 14}, {"break_erode", 15},
    {"breakpoint_erode", 15}, {"subsurface_breakpoint", 16}, {"breakpoint_subsurface", 16},
    {"breakpoint_subsurface_erode", 17}, {"breakpoint_erode_subsurface", 17}, {"erodible", 18}, {"erode", 18},
    {"subsurface", 19}, {"lake", 20}, {"mlake", 21}, {"structure", 22}, {"structtype", 23}, {"mannings_n", 24},
    {"max_erosion", 25}, {"gw_bed_conductivity", 26}, {"k_river", 26}, {"gw_bed_thickness", 27}, {"m_river", 27},
    {"dispersion_coeff", 28}, {"decay_coeff", 29}, {"num_outlets", 30}, {"static", 31}, {"numrate", 32},
    {"node", 33}, {"elev", 34}, {"xsec", 35}, {"bottom_width", 36}, {"bankfull_depth", 37}, {"side_slope", 38},
    {"x1", 39}, {"x_y", 40}, {"npairs", 41}, {"streamcells", 42}, {"cellij", 43}, {"numnodes", 44},
    {"linknode", 45}, {"numstructs", 46}, {"upinvert", 47}, {"downinvert", 48}, {"inlet_disch_coeff", 50},
    {"rev_flow_disch_coeff", 52}, {"slope", 53}, {"length", 54}, {"width", 55}, {"height", 56}, {"diameter", 58},
    {"rough_coeff", 59}, {"a_value", 60}, {"b_value", 61}, {"minwse", 62}, {"initwse", 63}, {"maxwse", 64},
    {"numpts", 65}, {"crest_length", 66}, {"crest_low_elev", 67}, {"crest_low_loc", 68},
    {"discharge_coeff_forward", 69}, {"discharge_coeff_reverse", 70}, {"steep_slope", 71},
    {"shallow_slope", 72}, {"pointsource", 73}, {"num_interp", 74}, {"pumpto", 75}, {"overbank", 76},
    {"backwater", 77},
}};

// Section type cards 10..17 and the ltype each assigns.
constexpr int section_type_of(int code) {
  constexpr int types[] = {4, 5, 6, 7, 8, 10, 9, 11};
  return code >= 10 && code <= 17 ? types[code - 10] : 0;
}

constexpr std::array<std::string_view, 8> struct_words{
    {"weir", "sag_weir", "round_culvert", "oval_culvert", "rect_culvert", "rating_curve", "scheduled_release",
     "rule_curve"}};

// Structure type 1..8 of a STRUCTTYPE word (first it begins with), 0 for none.
int struct_type_of(std::string word) {
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (size_t i = 0; i < struct_words.size(); ++i)
    if (word.compare(0, struct_words[i].size(), struct_words[i]) == 0) return static_cast<int>(i) + 1;
  return 0;
}

// Counts gathered by the counting pass.
struct link_counts {
  int trap = 0, trap_sub = 0, trap_erode = 0;
  int bp = 0, bp_sub = 0, bp_erode = 0;
  int structure_links = 0, struct_elements = 0, numstructs_sum = 0;
  int gw_links = 0, connects = 0, max_ndep = 0, max_numrate = 0, max_numpts = 0;
  int pointsources = 0, pumps = 0;
  std::vector<double> manning, kbed, mbed;
  std::vector<int> num_xsec;  // NPAIRS cards per breakpoint link
};

void count_type(link_counts& c, int lt, int sign) {
  const bool trap = lt & 4, bp = lt & 8;
  if (trap) c.trap += sign;
  if (bp) c.bp += sign;
  if (lt & 1) (trap ? c.trap_sub : c.bp_sub) += (trap || bp) ? sign : 0;
  if (lt & 2) (trap ? c.trap_erode : c.bp_erode) += (trap || bp) ? sign : 0;
}

bool header_ok(chan_file& f) {
  if (f.lines.empty()) return false;
  std::string first = f.lines[0].raw, token;
  if (!pop_token(first, token)) return false;
  for (char& ch : token) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return token.compare(0, 10, "kavro_chan") == 0;
}

// Header cards: until each of ALPHA, BETA, THETA, LINKS and MAXNODES has
// been seen (a repeated card does not count twice). Index of the line after
// the last of them, or 0 when the file ends first.
size_t read_header_cards(main_state& ms, chan_file& f) {
  bool seen[7] = {};
  int n_seen = 0;
  for (size_t i = 1; i < f.lines.size(); ++i) {
    chan_line& l = f.lines[i];
    if (l.code < 1 || l.code > 6 || l.code == 4) continue;
    std::string rest = l.rest;
    switch (l.code) {
      case 1: f.get_double(rest, ms.chan_header_alpha, l); break;
      case 2: f.get_double(rest, ms.chan_header_beta, l); break;
      case 3: f.get_double(rest, ms.chan_header_theta, l); break;
      case 5: f.get_int(rest, ms.LINKS, 1, chan_limit::links, "LINKS", l); break;
      case 6: f.get_int(rest, ms.MAXNODES, 1, chan_limit::nodes, "MAXNODES", l); break;
    }
    if (!seen[l.code]) ++n_seen;
    seen[l.code] = true;
    if (n_seen == 5) return i + 1;
  }
  say("Premature end-of-file in the channel input file.\n");
  say("The channel input file does not contain all the required parameter cards.\n");
  say("These include: ALPHA, BETA, THETA, DX, LINKS, and MAXNODES.\n");
  say("Repair your channel input file and try again.  These cards must appear at\n");
  say("The beginning of the file before and COORD or LINK cards.\n");
  say("Program terminated in read_chan_input.\n");
  return 0;
}

void allocate_link_arrays(main_state& ms, link_counts& c) {
  ms.max_nodes_per_link = ms.MAXNODES + 1;
  ms.link_dim = ms.LINKS + 1;
  ms.node_link_dim = ms.link_dim * ms.max_nodes_per_link;
  for (ivec* v : {&ms.ltype, &ms.ldex, &ms.ndep, &ms.dslink, &ms.nx, &ms.nx1, &ms.og_nx1, &ms.bplink})
    alloc_ivec(*v, ms.link_dim, v->name());
  alloc_dvec(ms.link_inv_n, ms.link_dim, "link_inv_n");
  alloc_dvec(ms.chan_dx, ms.link_dim, "chan_dx");
  alloc_imat_zero(ms.table_num, ms.max_nodes_per_link, ms.link_dim, "table_num");
  c.manning.assign(ms.link_dim + 1, 0.0);
  c.kbed.assign(ms.link_dim + 1, 0.0);
  c.mbed.assign(ms.link_dim + 1, 0.0);
  c.num_xsec.assign(ms.link_dim + 1, 0);
  ms.n_lakes = 0;
}

// Counting pass: link types, counts and largest sizes. False after a fatal card.
bool count_cards(main_state& ms, chan_file& f, size_t from, link_counts& c) {
  int link = 0;
  for (size_t i = from; i < f.lines.size(); ++i) {
    const chan_line& l = f.lines[i];
    std::string rest = l.rest;
    int v = 0;
    double d = 0;
    const int lt0 = ms.ltype[link];
    switch (l.code) {
      case 4: f.get_real(rest, ms.chan_dx[link], 0.0, chan_limit::length, "DX", l); break;
      case 7: {
        int a = 0, b = 0, n = 0;
        if (f.get_int(rest, a, 1, ms.LINKS, "CONNECT link", l) &&
            f.get_int(rest, b, 0, ms.LINKS, "CONNECT downstream link", l) &&
            f.get_int(rest, n, 0, ms.LINKS, "CONNECT upstream count", l))
          c.max_ndep = std::max(c.max_ndep, n);
        ++c.connects;
        break;
      }
      case 8: link = f.get_int(rest, v, 1, ms.LINKS, "LINK", l) ? v : 0; break;
      case 9:
        if (!f.get_int(rest, v, 1, ms.MAXNODES, "NODES", l)) break;
        ms.nx1[link] = v;
        if (v <= 2) {
          say("\n");
          warn(format_string("WARNING: When reading the channel input file, link %d:\n", link) +
                   "    The number of channel defining end nodes in the link is less than 3 \n"
                   "    Which results only 1 computational node in this link.\n"
                   "    Consider increasing the number of end nodes to at least 3 \n"
                   "\tor removing this link \n",
               run_log_file);
          error_rec.code = 301;
          report_error(error_rec);
        }
        break;
      case 10: case 11: case 12: case 13: case 14: case 15: case 16: case 17:
        if (link == 0) break;
        if (lt0 & 12) count_type(c, lt0, -1);
        ms.ltype[link] = section_type_of(l.code);
        ms.ldex[link] = link;
        count_type(c, ms.ltype[link], 1);
        if ((ms.ltype[link] & 10) == 10 && ms.bplink[link] == 0) ms.bplink[link] = ++ms.n_bp_sections;
        break;
      case 18:
        if (link == 0 || (lt0 & 2)) break;
        count_type(c, lt0, -1);
        ms.ltype[link] += 2;
        count_type(c, ms.ltype[link], 1);
        if ((ms.ltype[link] & 10) == 10 && ms.bplink[link] == 0) ms.bplink[link] = ++ms.n_bp_sections;
        break;
      case 19:
        if (link == 0 || (lt0 & 1)) break;
        count_type(c, lt0, -1);
        ms.ltype[link] += 1;
        count_type(c, ms.ltype[link], 1);
        break;
      case 20:
        if (link == 0) break;
        ms.ltype[link] = 32;
        ms.ldex[link] = ++ms.n_lakes;
        ms.lakes_on = 1;
        break;
      case 21: ms.lake_loss_on = 1; break;
      case 22:
        if (link == 0) break;
        ++c.structure_links;
        ms.nx1[link] = 2;
        ms.ltype[link] = 64;
        ms.ldex[link] = link;
        break;
      case 23: {
        std::string word;
        pop_token(rest, word);
        if (struct_type_of(word) == 0) f.bad(l, "STRUCTTYPE " + word + " is not a structure type");
        else ++c.struct_elements;
        break;
      }
      case 24:
        if (!f.get_real(rest, d, -chan_limit::manning_n, chan_limit::manning_n, "MANNINGS_N", l)) break;
        c.manning[link] = d;
        if (d < 1e-8) {
          manning_zero_message(link);
          return false;
        }
        break;
      case 26: f.get_real(rest, c.kbed[link], 0.0, HUGE_VAL, "GW_BED_CONDUCTIVITY", l), ++c.gw_links; break;
      case 27: f.get_real(rest, c.mbed[link], 0.0, chan_limit::length, "GW_BED_THICKNESS", l); break;
      case 41:
        if (!f.get_int(rest, v, INT_MIN, chan_limit::pairs, "NPAIRS", l)) break;
        ms.max_npairs = std::max(ms.max_npairs, v);
        if (ms.ltype[link] & 8) ++c.num_xsec[link];
        if (v <= 2) {
          say(format_string("Error encountered when reading the channel input file, link %d:\n", link));
          say(" Number of break point cross section pairs is less than 3\n");
          return false;
        }
        break;
      case 46:
        if (f.get_int(rest, v, 0, chan_limit::structs, "NUMSTRUCTS", l)) c.numstructs_sum += v;
        break;
      case 32:
        if (f.get_int(rest, v, 0, chan_limit::rate_points, "NUMRATE", l)) c.max_numrate = std::max(c.max_numrate, v);
        break;
      case 65:
        // A lake searches cells of the grid, each once.
        if (f.get_int(rest, v, 0, std::max(ms.n_cells, 0), "NUMPTS", l)) c.max_numpts = std::max(c.max_numpts, v);
        break;
      case 74:
        if (f.get_int(rest, v, 1, chan_limit::interp, "NUM_INTERP", l))
          ms.max_num_interp = std::max(ms.max_num_interp, v);
        break;
      case 73: ++c.pointsources; break;
      case 75: ++c.pumps; break;
      case 76: ms.ltype[link] += 256, ms.overbank_links_on = 1; break;
      case 77: ms.ltype[link] += 512; break;
      default: break;
    }
  }
  if (f.n_bad) return false;
  if (c.numstructs_sum != c.struct_elements) {
    say(format_string("\nThe sum of NUMSTRUCTS arguments is %d, while the total number\n", c.numstructs_sum));
    say("of hydraulic structure element cards (e.g. WEIR, ROUND_CULVERT,\n");
    say(format_string("etc.) is %d.  This inconstency is intolerable.  Check your channel\n", c.struct_elements));
    say("input file.  Program terminated.\n");
    return false;
  }
  return true;
}

void print_summary(const main_state& ms, const link_counts& c, int max_xsec) {
  if (ms.quiet || ms.tool_mode == 1) return;
  print_message("\n\nChannel input data:\n");
  print_message("  max. number of u.s. dependencies:      %d\n", c.max_ndep);
  print_message("  number of trapezoidal links:           %d\n", c.trap);
  print_message("    num w/ subsurface attribute:           %d\n", c.trap_sub);
  print_message("    num w/ erodible attribute:             %d\n", c.trap_erode);
  print_message("  number of breakpoint links:            %d\n", c.bp);
  print_message("    num w/ subsurface attribute:           %d\n", c.bp_sub);
  print_message("    num w/ erodible attribute:             %d\n", c.bp_erode);
  print_message("    max number of xsec in any bp link:     %d\n", max_xsec);
  print_message("    max number of xsec pairs:              %d\n", ms.max_npairs);
  print_message("  number of lake links:                  %d\n", ms.n_lakes);
  print_message("  number of hydraulic structure links:   %d\n", c.structure_links);
  print_message("    total no. of hydr. structure elements: %d\n", c.struct_elements);
  print_message("  number of groundwater links:           %d\n", c.gw_links);
}

bool check_counts(main_state& ms, const link_counts& c) {
  if (c.trap_sub + c.bp_sub != c.gw_links)
    say(" ===> Error: the number of specified subsurface links does not match the number of subsurface \n"
        "parameters. Check your subsurface links to ensure that they specify the bed concuctivity and thickness\n");
  if (c.max_ndep > 20) {
    say("Warning:  Maximum number of upstream dependencies is very high\n");
    say(format_string("in the read_chan_input subroutine was equal to %d, which is, frankly, a\n", c.max_ndep));
    error_rec.code = already_printed_code;
    report_error(error_rec);
  }
  if (ms.LINKS != c.connects) {
    say(format_string("Your channel input file contains %d links, and %d CONNECT cards\n", ms.LINKS, c.connects));
    say("These two numbers must be equal.  Therefore, you have a major \n");
    say("problem with your channel input file.  KAVRO cannot proceed.\n");
    say("program terminated.\n");
    return false;
  }
  return true;
}

// Table count: one per defining node of an erodible link, one for a link
// with one section, one per node from the first to the last section node
// otherwise. Also the first and last section node of every breakpoint link.
bool count_tables(main_state& ms, chan_file& f, const link_counts& c, std::vector<int>& first,
                  std::vector<int>& last) {
  first.assign(ms.link_dim + 1, 1);
  last.assign(ms.link_dim + 1, 1);
  std::vector<int> seen(ms.link_dim + 1, 0);
  int link = 0, node = 0;
  for (const chan_line& l : f.lines) {
    std::string rest = l.rest;
    int v = 0;
    if (l.code == 8) v = quiet_int(rest), link = (v >= 1 && v <= ms.LINKS) ? v : 0;
    else if (l.code == 33) v = quiet_int(rest), node = (v >= 1 && v <= ms.MAXNODES) ? v : 0;
    else if (l.code == 35 && link && node && (ms.ltype[link] & 8) && c.num_xsec[link] > 1) {
      if (++seen[link] == 1) first[link] = node;
      if (seen[link] == c.num_xsec[link]) last[link] = node;
    }
  }
  ms.n_xsec_tables = 0;
  for (int k = 1; k <= ms.LINKS; ++k) {
    if (!(ms.ltype[k] & 8)) continue;
    if (c.num_xsec[k] > 1 && seen[k] < c.num_xsec[k]) {
      say(format_string("Error in the channel input file %s: link %d has %d cross sections (NPAIRS cards) but "
                        "only %d nodes with an XSEC card\n",
                        f.name.c_str(), k, c.num_xsec[k], seen[k]));
      return false;
    }
    if (ms.ltype[k] & 2) ms.n_xsec_tables += ms.nx1[k];
    else if (c.num_xsec[k] > 1) ms.n_xsec_tables += last[k] - first[k] + 1;
    else ms.n_xsec_tables += 1;
  }
  return true;
}

void allocate_node_arrays(main_state& ms, const link_counts& c) {
  const long rows = ms.max_nodes_per_link, cols = ms.link_dim;
  alloc_imat_zero(ms.uslinks, ms.link_dim, c.max_ndep + 1, "uslinks");
  for (dmat* m : {&ms.yp, &ms.qp, &ms.Fr, &ms.qp_vol, &ms.qp_vol_sed, &ms.bottom, &ms.bankfull_dep, &ms.bel, &ms.lnx,
                  &ms.lny, &ms.sslope, &ms.sslope2, &ms.max_eros})
    alloc_dmat_zero(*m, rows, cols, m->name());
  if (c.gw_links > 0 || ms.stream_loss_on == 1) {
    alloc_dmat_zero(ms.Krb, rows, cols, "Krb");
    alloc_dmat_zero(ms.Mrb, rows, cols, "Mrb");
  }
  if (c.pointsources > 0) alloc_stream_pointsource(ms.stream_pointsource, ms.MAXNODES, ms.LINKS);
  if (c.pumps > 0) alloc_imat_zero(ms.stream_pumps, rows, cols, "stream_pumps");
  if (ms.n_bp_sections >= 1) {
    alloc_d3d_zero(ms.xbp_lnn, ms.n_bp_sections, rows, ms.max_npairs, "xbp_lnn");
    alloc_d3d_zero(ms.ybp_lnn, ms.n_bp_sections, rows, ms.max_npairs, "ybp_lnn");
    alloc_dmat_zero(ms.max_yp, ms.n_bp_sections, rows, "max_yp");
    alloc_dmat_zero(ms.bp_sand_vol, ms.n_bp_sections, rows, "bp_sand_vol");
  }
  if (c.struct_elements > 0) {
    ms.hydr_struct.allocate(c.struct_elements);
    ms.n_hydr_structs = c.struct_elements;
  }
  if (c.structure_links > 0) ms.link_structs.allocate(ms.link_dim);
}

// CONNECT pass: the topology. Index of the line after the last CONNECT card.
size_t read_connects(main_state& ms, chan_file& f) {
  int n = 0;
  for (size_t i = 0; i < f.lines.size(); ++i) {
    const chan_line& l = f.lines[i];
    if (l.code != 7) continue;
    std::string rest = l.rest;
    int link = 0, down = 0, ndep = 0;
    const bool ok = f.get_int(rest, link, 1, ms.LINKS, "CONNECT link", l) &&
                    f.get_int(rest, down, 0, ms.LINKS, "CONNECT downstream link", l) &&
                    f.get_int(rest, ndep, 0, static_cast<int>(ms.uslinks.size2()) - 1, "CONNECT upstream count", l);
    if (ok) {
      ms.dslink[link] = down;
      ms.ndep[link] = ndep;
      for (int k = 1; k <= ndep; ++k) {
        int u = 0;
        if (f.get_int(rest, u, 1, ms.LINKS, "CONNECT upstream link", l)) ms.uslinks[link][k] = u;
      }
    }
    if (++n == ms.LINKS) return i + 1;
  }
  return f.lines.size();
}

// One outlet, link LINKS; every other link drains into a higher-numbered
// link; the upstream lists agree with the downstream links.
bool check_topology(const main_state& ms, chan_file& f) {
  const int n = ms.LINKS;
  bool ok = true;
  auto refuse = [&](const std::string& what) {
    say(format_string("Error in the channel input file %s: %s\n", f.name.c_str(), what.c_str()));
    ok = false;
  };
  for (int link = 1; link <= n; ++link) {
    const int d = ms.dslink[link];
    if (link == n && d != 0) refuse(format_string("link %d (LINKS) must be the outlet (downstream link 0), not drain into link %d", n, d));
    if (link < n && d <= link)
      refuse(format_string("link %d drains into link %d; every link but the outlet, link %d, must drain into a "
                           "higher-numbered link",
                           link, d, n));
    int upstream = 0;
    for (int k = 1; k <= n; ++k) upstream += ms.dslink[k] == link && k != link;
    bool listed = upstream == ms.ndep[link];
    for (int k = 1; k <= ms.ndep[link]; ++k) listed = listed && ms.dslink[ms.uslinks[link][k]] == link;
    if (!listed) refuse(format_string("the upstream links of link %d on its CONNECT card do not agree with the "
                                      "downstream links of the other CONNECT cards",
                                      link));
  }
  return ok;
}

}  // namespace

int chan_card_code(std::string& line) {
  size_t b = 0;
  while (b < line.size() && (line[b] == ' ' || line[b] == '\t' || line[b] == '\n')) ++b;
  size_t e = b;
  while (e < line.size() && line[e] != ' ' && line[e] != '\t' && line[e] != '\n') ++e;
  std::string word = line.substr(b, e - b);
  for (char& ch : word) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  line.erase(0, e);
  if (word.empty()) return 78;
  for (const card_word& w : card_words)
    if (w.word == word) return w.code;
  return 78;
}

int add_chan_pump(main_state& ms, std::string& line, int link, int ltype) {
  chan_pump p;
  std::string token;
  for (int* target : {&p.pumpto_1, &p.pumpto_2}) {
    const number_fault fault = pop_whole(line, *target, token);
    if (fault == number_fault::none) continue;
    say(format_string("\n\nError in the channel input file: PUMPTO of link %d: %s.\n", link,
                      number_fault_text(fault, token, INT_MIN, INT_MAX).c_str()));
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return 0;
  }
  if (ltype == 4) p.pumpto_2 = 1;
  std::string kind, name;
  pop_token(line, kind);
  pop_token(line, name);
  if (kind.compare(0, 4, "ELEV") == 0) {
    p.kind = 0;
    p.es = name.empty() ? nullptr : find_elev_series(name);
  } else if (kind.compare(0, 2, "TS") == 0) {
    p.kind = 1;
    p.ts = name.empty() ? nullptr : find_time_series(name);
  } else {
    say(format_string("\n\nError in the channel input file: Flow type for pump is incorrectly\n"
                      "defined for link %d. Must be ELEV or TS.\n",
                      link));
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return 0;
  }
  p.next = static_cast<int>(ms.chan_pumps.size());
  ms.chan_pumps.push_back(p);
  return static_cast<int>(ms.chan_pumps.size());
}

int read_chan_input(main_state& ms) {
  // A file that could not be opened was reported (and the run stopped) when
  // the run files were opened; there is nothing to read.
  if (!ms.channel_input_file.is_open()) return 0;
  chan_file f;
  f.name = ms.channel_input_path;
  f.ms = &ms;
  f.load(ms.channel_input_file);
  auto invalid = [&]() {
    error_rec.code = 200;
    error_rec.name = f.name;
    return 200;
  };
  if (!header_ok(f)) {
    if (ms.channel_on) {
      say(format_string("Error: the channel input file %s does not begin with \"kavro_chan\".\n", f.name.c_str()));
      return invalid();
    }
    return 0;
  }
  const size_t after_header = read_header_cards(ms, f);
  if (after_header == 0 || f.n_bad) return invalid();
  if (ms.LINKS < 1 || ms.MAXNODES < 1) {
    say(format_string("Error in the channel input file %s: LINKS %d and MAXNODES %d must be at least 1\n",
                      f.name.c_str(), ms.LINKS, ms.MAXNODES));
    return invalid();
  }
  // Every node array holds (LINKS + 1) x (MAXNODES + 1) slots: counted in 64 bits.
  const long long slots = (static_cast<long long>(ms.LINKS) + 1) * (static_cast<long long>(ms.MAXNODES) + 1);
  if (slots > chan_limit::node_slots) {
    say(format_string("Error in the channel input file %s: LINKS %d and MAXNODES %d give %lld node slots, more "
                      "than the %lld a channel network may have\n",
                      f.name.c_str(), ms.LINKS, ms.MAXNODES, slots, chan_limit::node_slots));
    return invalid();
  }
  link_counts c;
  allocate_link_arrays(ms, c);
  if (!count_cards(ms, f, after_header, c)) return invalid();
  allocate_node_arrays(ms, c);
  ms.max_ndep = c.max_ndep;
  int max_xsec = 0;
  for (int k = 1; k <= ms.LINKS; ++k) max_xsec = std::max(max_xsec, c.num_xsec[k]);
  print_summary(ms, c, max_xsec);
  if (!check_counts(ms, c)) return invalid();
  std::vector<int> first, last;
  if (c.bp > 0 && !count_tables(ms, f, c, first, last)) return invalid();
  const size_t after_connects = read_connects(ms, f);
  if (f.n_bad || !check_topology(ms, f)) return invalid();
  for (long k = 1; k <= ms.link_structs.size(); ++k) ms.link_structs[k].first = 10000;
  chan_elements el{c.manning, c.kbed, c.mbed, c.num_xsec, first, last};
  if (!read_elements(ms, f, after_connects, el)) return invalid();
  if (!complete_network(ms, f, el)) return invalid();
  if (ms.stream_cell_on && !read_grid_stream_file(ms)) return error_rec.code;
  if (ms.lakes_on && !read_lakes(ms, f, c.max_numpts, c.max_numrate)) return invalid();
  save_network_copies(ms);
  return 0;
}

}  // namespace kavro
