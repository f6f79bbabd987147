#include "input/project_reader.h"

#include <cstdio>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "input/card_services.h"
#include "input/card_value_checks.h"
#include "input/project_card_actions.h"
#include "input/project_cards.h"
#include "input/replacement_cards.h"

namespace kavro {

namespace {

bool is_project_header(const std::string& line) { return line == "KAVROPROJECT" || line == "TORVENPROJECT"; }

void report_bad_header() {
  std::fputs("File Does not Appear to be a Valid KAVRO/TORVEN Project file\n", stderr);
  std::fputs("Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n", stderr);
  std::fputs("KAVRO Terminating....\n", stderr);
  error_rec.code = 4000;
  report_error(error_rec);
}

}  // namespace

void clear_card_records(project_params_record& project, run_params_record& run, rain_params_record& rain) {
  static_cast<project_params_cards&>(project) = project_params_cards{};
  static_cast<q7_card_block&>(project) = q7_card_block{};
  static_cast<run_params_cards&>(run) = run_params_cards{};
  static_cast<rain_params_cards&>(rain) = rain_params_cards{};
  run.card_errors = 0;
  run.card_files.clear();
}

void set_reader_defaults(project_params_record& p) {
  p.m_river = 1.0;
  p.m_lake = 10.0;
  p.event_min_q = 0.1;       // m3/s outlet flow that ends a long-term event
  p.overtype = 2;            // ADE scheme
  p.soil_moist_depth = 0.4;  // m
  p.richards_weight = 1.0;
  p.richards_dtheta_max = 0.0025;
  p.richards_k_option = 2;  // geometric mean
  p.richards_iter_max = 1;
  p.richards_upper_option = 1;
  p.aquifer_delta_z = -999.9;  // not given
  p.max_courant_number = 0.04;
  p.gw_timestep = 1.0;  // s
  p.gw_lsor_con = 0.00001;
  p.single_unsat_sat = 0.75;
  p.kinetics_timestep_factor = 1.0;
  p.soil_erosion = 1;
  p.chan_ph = 7.2;
  p.cfgi_index = 83.0;
  p.cfgi_k = 0.5;
  p.qln_event_num = -1;
}

void read_project_cards(const std::string& path, project_params_record& project, run_params_record& run,
                        rain_params_record& rain, int warn_off) {
  run.open_failed = 0;
  file_wrapper f;
  if (!f.open(path, "r")) {
    std::fprintf(stderr, "Error opening project file named: %s\n", path.c_str());
    run.open_failed = 1;
    return;
  }
  // The header line is short; a file without line ends is no project.
  constexpr std::size_t max_header_length = 1024;
  std::string line;
  const bool header_read = read_raw_line_bounded(line, f, max_header_length) == 1;
  if (header_read && replace_on) apply_replace_pairs(line);
  if (!header_read || !is_project_header(line)) {
    f.close();
    report_bad_header();
    return;
  }
  clear_card_records(project, run, rain);
  set_reader_defaults(project);

  card_context c{project, run, rain};
  load_replacement_cards(path, c);
  card_value_checks checks(path, run);
  int line_no = 1;
  while (!c.end_reading && read_line(line, f)) {
    ++line_no;
    const project_card card = project_card_code(line, warn_off, line_no, path);
    if (refuse_unreplaced_key(card, line, line_no, path)) {
      ++run.card_errors;
      continue;
    }
    checks.check(card, line, line_no);
    if (!is_replacement_card(card)) apply_project_card(card, line, c);
  }
  f.close();
}

void prescan_project_folder(const std::string& path) {
  file_wrapper f;
  if (!f.open(path, "r")) {
    std::fprintf(stderr, "Error opening project file named: %s\n", path.c_str());
    return;
  }
  std::string line;
  while (read_line(line, f)) {
    if (project_card_code(line, 0) != project_card::project_folder) continue;
    std::string folder;
    take_name(line, folder);
    if (!folder.empty()) set_project_folder(folder);
    return;
  }
  f.close();
  // Without the card the project's own folder is taken, when the path has one.
  const size_t last_separator = path.find_last_of("/\\");
  if (last_separator != std::string::npos) set_project_folder(path.substr(0, last_separator + 1));
}

}  // namespace kavro
