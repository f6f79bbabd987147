#include "input/file_name_clash.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/output_staging.h"
#include "input/card_value_checks.h"
#include "input/map_table_format.h"
#include "input/project_cards.h"
#include "input/stream_map_tables.h"
#include "overland/precip_file.h"

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
    // The overland hotstart carries the solver state beside it, the
    // soil-moisture hotstart the infiltrated depth.
    case write_ov_hotstart:
    case ov_init_depth:
      return {"", ".ovs"};
    case write_sm_hotstart:
    case read_sm_hotstart:
      return {"", ".gaf"};
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
  std::string folder_key;  // for a folder of map frames: the folder's key (key then names the frames)
};

// The map cards that name a folder of frame files when maps are written as
// one grid file per map (MAP_TYPE 0); each writes frames of its own stem.
bool names_frame_folder(project_card card, const main_state& ms) {
  if (ms.run_params.map_type != 0) return false;
  switch (card) {
    case depth:
    case snow_swe_file:
    case snow_sd_file:
    case discharge:
    case dis_rain:
    case inf_depth:
    case rate_of_infil:
    case surf_moist:
    case max_sed_flux:
    case gw_output:
    case net_sed_volume:
      return true;
    default:
      return false;
  }
}

// Two map cards sharing a folder write different frames: the files written
// are the folder's frames of the card.
void as_frame_folder(run_file_name& f) {
  f.folder_key = f.key;
  f.key += "/<frames of " + card_label(f.card) + ">";
}

std::string comparison_key(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  if (ec) return path;
  const fs::path canonical = fs::weakly_canonical(absolute, ec);
  return ec ? absolute.lexically_normal().string() : canonical.string();
}

run_file_name make_entry(std::string who, project_card card, bool output, const std::string& name) {
  return {std::move(who), card, output, name, file_comparison_key(name, output ? "w" : "r"), {}};
}

// Infiltration by redistribution, layered soil or Richards columns writes
// the evaporation table "evap_out".
bool writes_evap_out(const main_state& ms) {
  const int method = ms.run_params.infil_method;
  return method == 2 || method == 3 || method == 4;
}

// The files named inside input files, read when the run reaches them: the
// index maps of the mapping table, the stream maps of the stream mapping
// table, the radar grids of the precipitation file. Each is named with the
// line and the file that name it.
void add_files_named_inside(std::vector<run_file_name>& files) {
  const std::size_t n = files.size();
  for (std::size_t i = 0; i < n; ++i) {
    const run_file_name named_by = files[i];
    if (named_by.output) continue;
    const char* what = nullptr;
    std::vector<std::pair<int, std::string>> inside;
    if (named_by.card == mapping_table) {
      what = "the mapping table";
      inside = index_map_names(named_by.given);
    } else if (named_by.card == st_mapping_table) {
      what = "the stream mapping table";
      inside = stream_map_names(named_by.given);
    } else if (named_by.card == precip_file) {
      what = "the precipitation file";
      inside = radar_grid_names(named_by.given);
    } else {
      continue;
    }
    for (const auto& [line, name] : inside)
      files.push_back(make_entry("line " + std::to_string(line) + " of " + what + " " + named_by.given + " (" +
                                     named_by.who + ")",
                                 named_by.card, false, name));
  }
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
    for (const std::string& suffix : suffixes_of(card)) {
      files.push_back(make_entry(who, card, is_output_card(card), named[i].name + suffix));
      if (names_frame_folder(card, ms)) as_frame_folder(files.back());
    }
  }
  add_files_named_inside(files);
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

std::string file_comparison_key(const std::string& name, std::string_view mode) {
  return comparison_key(expected_file_name(name, mode));
}

namespace {

// An output file that stands where a map card wants its folder of frames.
bool file_in_place_of_folder(const std::vector<run_file_name>& files) {
  bool clash = false;
  for (const run_file_name& folder : files) {
    if (folder.folder_key.empty()) continue;
    for (const run_file_name& f : files) {
      if (&f == &folder || f.key != folder.folder_key) continue;
      clash = true;
      if (f.output)
        std::printf("Error: %s names the file %s, which %s names as the folder of its maps; the run stops before "
                    "any file is written.\n",
                    f.who.c_str(), f.given.c_str(), folder.who.c_str());
      else if (f.card == project_card::ignore)
        std::printf("Error: %s names the output folder %s, which is the project file of the run; the run stops "
                    "before any file is written.\n",
                    folder.who.c_str(), folder.given.c_str());
      else
        std::printf("Error: %s names the output folder %s, which %s names as an input; the run stops before any "
                    "file is written.\n",
                    folder.who.c_str(), folder.given.c_str(), f.who.c_str());
    }
  }
  return clash;
}

}  // namespace

bool check_file_name_clashes(const main_state& ms) {
  const std::vector<run_file_name> files = run_file_names(ms);
  bool ok = !file_in_place_of_folder(files);
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

namespace {

// The name as a message shows it: a long name by its start and its length.
std::string shown_name(const std::string& name) {
  constexpr std::size_t shown = 80;
  if (name.size() <= shown) return name;
  return name.substr(0, shown) + "... (" + std::to_string(name.size()) + " characters)";
}

// Why a path cannot be created, when a part of it is too long for any file system.
std::string why_not_created(const std::string& path, int error) {
  constexpr std::size_t longest_name = 255;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    if (end - start > longest_name) return "a name in it is longer than 255 characters";
    start = end + 1;
  }
  return std::strerror(error);
}

}  // namespace

bool check_outputs_can_be_created(const main_state& ms) {
  bool ok = true;
  for (const run_file_name& f : run_file_names(ms)) {
    if (!f.output || f.given.empty()) continue;
    const bool folder = !f.folder_key.empty();
    const std::string name = folder ? f.given + "/.kavro_probe" : f.given;
    const std::string path = expected_file_name(name, "w");
    // An output this run has made already (its temporary stand-in exists).
    if (staged_outputs && staged_path_of(path) != path) continue;
    // The file of an earlier run is not touched: it must only be writable.
    std::error_code ec;
    if (!staged_outputs && fs::exists(path, ec)) {
      if (access(path.c_str(), W_OK) == 0) continue;
    } else {
      // A file that stands for the output (or for a frame in its folder) is
      // made and removed again.
      file_wrapper probe;
      errno = 0;
      if (probe.open(name, "w")) {
        const std::string made = probe.name;
        probe.close();
        std::remove(made.c_str());
        continue;
      }
    }
    const int error = errno;
    ok = false;
    std::printf("Error: %s names the output %s %s, which cannot be created (%s); the run stops before any file "
                "is written.\n",
                f.who.c_str(), folder ? "folder" : "file", shown_name(f.given).c_str(),
                why_not_created(path, error).c_str());
  }
  return ok;
}

}  // namespace kavro
