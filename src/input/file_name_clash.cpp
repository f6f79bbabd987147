#include "input/file_name_clash.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "input/card_value_checks.h"
#include "input/project_cards.h"

namespace kavro {

namespace {

namespace fs = std::filesystem;
using enum project_card;

// The cards whose file the run writes.
constexpr project_card output_cards[] = {
    summary, outlet_hydro, runoff_mmph, rainfall_mmph, sig_outlet_hydro, pqm_hydro, lake_output, discharge,
    depth, inf_depth, surf_moist, rate_of_infil, dis_rain, gw_recharge_cum, gw_recharge_inc, chan_depth,
    chan_sed_flux, chan_discharge, chan_stage, chan_velocity, superlink_junc_flow, superlink_node_flow,
    out_dep_location, out_con_location, out_mass_location, out_hyd_location, out_gwflux_location,
    out_celldepdis_location, out_theta_location, vol_sed_susp, max_sed_flux, net_sed_volume, outlet_sed_flux,
    outlet_sed_tss, out_sed_loc, gw_output, gw_well_level, overland_depths, overland_wse, out_kotu_temp,
    flood_grid, flood_stream, q7_input, pipe_flow, pipe_head, pipe_tile, drain_output, total_ov_n, total_ov_p,
    total_chan_n, total_chan_kn, total_chan_p, xybdyoutput_ovdep, xybdyoutput_gwhead, xybdyoutput_stflow,
    explic_backwater, write_chan_hotstart, write_ov_hotstart, write_sm_hotstart, vopa, moist_to_vopa,
    ksat_to_vopa, rough_to_vopa, poros_to_vopa, out_ov_no2, out_ov_no3, out_ov_nh4, out_ov_on, out_ov_op,
    out_ov_dp, out_ov_alg, out_ov_cbod, out_ov_do, out_st_no2, out_st_no3, out_st_nh4, out_st_on, out_st_op,
    out_st_dp, out_st_alg, out_st_cbod, out_st_do, out_hyd_no2, out_hyd_no3, out_hyd_nh4, out_hyd_on,
    out_hyd_op, out_hyd_dp, out_hyd_alg, out_hyd_cbod, out_hyd_do, optimize,
};

// An output and the input it may write over: the input is read in full at
// the start, the output written only at event ends or the end of the run.
struct written_after_read {
  project_card output;
  project_card input;
};
constexpr written_after_read allowed_pairs[] = {
    {write_ov_hotstart, ov_init_depth},
    {write_sm_hotstart, read_sm_hotstart},
    {moist_to_vopa, moist_from_vopa},
    {ksat_to_vopa, ksat_from_vopa},
    {rough_to_vopa, rough_from_vopa},
};

bool is_output_card(project_card card) {
  for (project_card c : output_cards)
    if (c == card) return true;
  return false;
}

bool is_allowed_pair(project_card output, project_card input) {
  for (const auto& p : allowed_pairs)
    if (p.output == output && p.input == input) return true;
  return false;
}

// The suffixes a card's name gets before it is opened.
std::vector<std::string> suffixes_of(project_card card) {
  switch (card) {
    case explic_backwater:
    case write_chan_hotstart:
    case explic_hotstart:
    case read_chan_hotstart:
      return {".dht", ".qht"};
    case out_hyd_no2:
    case out_hyd_no3:
    case out_hyd_nh4:
    case out_hyd_on:
    case out_hyd_op:
    case out_hyd_dp:
    case out_hyd_alg:
    case out_hyd_cbod:
    case out_hyd_do:
      return {".conc", ".mass"};
    default:
      return {""};
  }
}

// One file of the run.
struct run_file_name {
  std::string who;    // "card SUMMARY (line 19)", "the project file", ...
  project_card card;  // ignore for files not named by a card
  bool output;
  std::string given;  // the name as given
  std::string key;    // the resolved path, made absolute and canonical
};

std::string comparison_key(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  if (ec) return path;
  const fs::path canonical = fs::weakly_canonical(absolute, ec);
  return ec ? absolute.lexically_normal().string() : canonical.string();
}

run_file_name make_entry(std::string who, project_card card, bool output, const std::string& name) {
  const std::string path = expected_file_name(name, output ? "w" : "r");
  return {std::move(who), card, output, name, comparison_key(path)};
}

// Infiltration by redistribution, layered soil or Richards columns writes
// the evaporation table "evap_out".
bool writes_evap_out(const main_state& ms) {
  const int method = ms.run_params.infil_method;
  return method == 2 || method == 3 || method == 4;
}

std::vector<run_file_name> run_file_names(const main_state& ms) {
  std::vector<run_file_name> files;
  files.push_back(make_entry("the project file", project_card::ignore, false, ms.project_path));
  // The last card of a repeated card wins, as in the reader.
  const auto& named = ms.run_params.card_files;
  for (std::size_t i = 0; i < named.size(); ++i) {
    bool repeated = false;
    for (std::size_t j = i + 1; j < named.size(); ++j) repeated = repeated || named[j].card == named[i].card;
    if (repeated) continue;
    const auto card = static_cast<project_card>(named[i].card);
    const std::string who = "card " + card_label(card) + " (line " + std::to_string(named[i].line) + ")";
    for (const std::string& suffix : suffixes_of(card))
      files.push_back(make_entry(who, card, is_output_card(card), named[i].name + suffix));
  }
  files.push_back(make_entry("the mask copy that every run writes", project_card::ignore, true, "maskmap"));
  if (writes_evap_out(ms))
    files.push_back(
        make_entry("the evaporation table of the soil-column methods", project_card::ignore, true, "evap_out"));
  const project_params_record& p = ms.project_params;
  if (p.use_optimize && p.optimize.empty())
    files.push_back(make_entry("card OPTIMIZE (its default name)", project_card::ignore, true, "kavro_optim.out"));
  if (p.use_qln && p.use_qln_event_num && p.qln_event_num == 0)
    files.push_back(make_entry("the host's event list", project_card::ignore, true, "exchange/QLN_PRECIP.SUM"));
  return files;
}

}  // namespace

std::span<const project_card> output_file_cards() { return output_cards; }

bool check_file_name_clashes(const main_state& ms) {
  const std::vector<run_file_name> files = run_file_names(ms);
  bool ok = true;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const run_file_name& out = files[i];
    if (!out.output) continue;
    for (std::size_t j = 0; j < files.size(); ++j) {
      const run_file_name& other = files[j];
      if (j == i || other.key != out.key) continue;
      if (other.output && j > i) continue;  // a pair of outputs is reported once
      if (!other.output && is_allowed_pair(out.card, other.card)) continue;
      ok = false;
      if (other.output)
        std::printf("Error: %s and %s name the same output file %s; the run stops before any file is written.\n",
                    other.who.c_str(), out.who.c_str(), out.given.c_str());
      else if (other.card == project_card::ignore)
        std::printf(
            "Error: %s names the output file %s, which is the project file of the run; the run stops before any "
            "file is written.\n",
            out.who.c_str(), out.given.c_str());
      else
        std::printf(
            "Error: %s names the output file %s, which %s names as an input; the run stops before any file is "
            "written.\n",
            out.who.c_str(), out.given.c_str(), other.who.c_str());
    }
  }
  return ok;
}

}  // namespace kavro
