// Sacramento soil-moisture accounting: a lumped, basin-wide model of five
// stores (upper and lower tension water, upper free water, lower
// supplementary and primary free water) that turns the water infiltrated
// over the basin into interflow, base flow and surface runoff each hour.
// All depths are basin-mean millimetres; the model runs on the driver's
// thread.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

#include "framework/error_record.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "subsurface/lumped_models.h"
#include "subsurface/lumped_param_file.h"
#include "subsurface/subsurface_steps.h"
#include "subsurface/terrain_passes.h"

namespace kavro {
namespace {

constexpr const char* sac_keywords[] = {"kavro_sacramento", "uztwm", "uzfwm", "uzk", "zperc", "rexp", "lztwm",
                                        "lzfsm", "lzfpm", "lzsk", "lzpk", "pfree", "uztwc", "uzfwc", "lztwc",
                                        "lzfsc", "lzfpc", "num_basins", "basin", "saved"};
constexpr int code_num_basins = 17, code_basin = 18, code_saved = 19;

// The field each parameter card fills, by code (contents as fractions first).
double main_state::*sac_field(int code) {
  switch (code) {
    case 1: return &main_state::sac_uztwm;
    case 2: return &main_state::sac_uzfwm;
    case 3: return &main_state::sac_uzk;
    case 4: return &main_state::sac_zperc;
    case 5: return &main_state::sac_rexp;
    case 6: return &main_state::sac_lztwm;
    case 7: return &main_state::sac_lzfsm;
    case 8: return &main_state::sac_lzfpm;
    case 9: return &main_state::sac_lzsk;
    case 10: return &main_state::sac_lzpk;
    case 11: return &main_state::sac_pfree;
    case 12: return &main_state::sac_uztwc;
    case 13: return &main_state::sac_uzfwc;
    case 14: return &main_state::sac_lztwc;
    case 15: return &main_state::sac_lzfsc;
    case 16: return &main_state::sac_lzfpc;
    case code_saved: return &main_state::sac_saved;
    default: return nullptr;
  }
}

bool sac_is_parameter(int code) { return (code >= 1 && code <= 16) || code == code_saved; }
bool sac_is_whole(int code) { return code == code_num_basins || code == code_basin; }

void stop_printed() {
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

// A store content given as a fraction of its capacity.
struct content_card {
  const char* name;
  double main_state::*content;
  double main_state::*capacity;
};
constexpr content_card content_cards[] = {
    {"uztwc", &main_state::sac_uztwc, &main_state::sac_uztwm},
    {"uzfwc", &main_state::sac_uzfwc, &main_state::sac_uzfwm},
    {"lztwc", &main_state::sac_lztwc, &main_state::sac_lztwm},
    {"lzfsc", &main_state::sac_lzfsc, &main_state::sac_lzfsm},
    {"lzfpc", &main_state::sac_lzfpc, &main_state::sac_lzfpm},
};

// Reads the open parameter file; false after its message.
bool read_sacramento_input(main_state& ms) {
  const std::string& name = ms.sacramento_path;
  const param_file_layout layout{"KAVRO_SACRAMENTO", 17, sacramento_card_code, sac_is_parameter, sac_is_whole};
  const param_file_cards cards = read_param_cards(ms.fs_sacramento, name, layout);
  switch (cards.fault) {
    case param_file_fault::none: break;
    case param_file_fault::bad_value: return false;
    case param_file_fault::header:
      std::fputs("The specified Sacramento model input parameter file does not\n"
                 "have the proper header: KAVRO_SACRAMENTO \n"
                 "Program terminated in read_sacramento\n",
                 stderr);
      return false;
    case param_file_fault::premature_end:
      std::printf("Premature end-of-file in the Sacramento parameter input file.\n");
      std::printf("The file should contain 21 parameters.  Only %d parameters read.\n", cards.n_params);
      std::printf("Program terminated in read_sacramento_input.\n");
      return false;
    case param_file_fault::duplicate:
      std::fputs("Duplicate cards read in Sacramento parameter file.\n"
                 "There should be only 21 different cards in the file\n"
                 "with no duplicates.\n"
                 "Program terminated in read_sacramento\n",
                 stderr);
      return false;
  }
  for (int code = 1; code <= code_saved; ++code)
    if (double main_state::*f = sac_field(code)) ms.*f = cards.value[static_cast<std::size_t>(code)];
  ms.num_basins = static_cast<int>(cards.value[code_num_basins]);
  // A capacity of zero or less would divide by zero at every hour.
  for (int code : {1, 2, 6, 7, 8}) {
    const double v = ms.*sac_field(code);
    if (v <= 0.0) {
      std::printf("Error in the Sacramento parameter file %s: card %s is %g; a store capacity must be above 0 mm.\n",
                  name.c_str(), sac_keywords[code], v);
      return false;
    }
  }
  for (const content_card& c : content_cards) {
    double& v = ms.*c.content;
    if (v > 1.0 || v < 0.0) {
      v = v > 1.0 ? 0.99 : 0.01;
      std::fprintf(stderr, "WARNING:%s changed!\n", c.name);
    }
    v *= ms.*c.capacity;
  }
  const std::pair<const char*, double main_state::*> depletions[] = {
      {"uzk", &main_state::sac_uzk}, {"lzsk", &main_state::sac_lzsk}, {"lzpk", &main_state::sac_lzpk}};
  for (const auto& [card, field] : depletions) {
    double& v = ms.*field;
    if (v > 1.0 || v < 0.0) {
      v = v > 1.0 ? 0.5 : 0.05;
      std::fprintf(stderr, "WARNING:%s changed!\n", card);
    }
  }
  if (ms.sac_saved > ms.sac_lzfpc) {
    ms.sac_saved = ms.sac_lzfpc;
    std::fputs("WARNING:saved changed!\n", stderr);
  }
  ms.sac_pbase = ms.sac_lzpk * ms.sac_lzfpm + ms.sac_lzsk * ms.sac_lzfsm;
  if (ms.topo_index_on && !topodex(ms)) return false;
  return true;
}

double storage_mm(const main_state& ms) {
  return ms.sac_uztwc + ms.sac_uzfwc + ms.sac_lztwc + ms.sac_lzfsc + ms.sac_lzfpc;
}

}  // namespace

int sacramento_card_code(std::string_view token) {
  std::string t(token);
  for (char& ch : t) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  for (int code = 0; code <= code_saved; ++code)
    if (t == sac_keywords[code]) return code;
  return 20;
}

bool topodex(main_state& ms) {
  const terrain_pass_result r = terrain_passes(ms.mask, ms.grid_rows, ms.grid_cols, ms.n_cells, ms.elevation, ms.dx);
  if (!r.converged) {
    print_terrain_pass_failure();
    std::fputs("Program terminated.\n", stderr);
    return false;
  }
  bool negative = false;
  for (long c = 1; c <= ms.n_cells; ++c) {
    ms.topo_dex[c] = r.index[static_cast<std::size_t>(c)];
    negative = negative || ms.topo_dex[c] < 0.0;
  }
  if (negative) {
    std::fputs("Warning: topodex routine has computed a negative topodex value\n"
               "Check your input elevation file for large flat areas with\n"
               "either the exact same elevation or nearly so (~0.0000x)\n"
               "If you do not want to do this, you can remove the TOPO_INDEX card from your\n"
               "KAVRO project file, and the KAVRO Sacramento Routine will the\n"
               "simply put its output into the channels uniformly.\n"
               "Program terminated.\n",
               stderr);
    return false;
  }
  return true;
}

void load_sacramento_params(main_state& ms) {
  if (ms.sacramento_on != 1) return;
  if (!ms.fs_sacramento.open(ms.sacramento_path, "r")) {
    std::printf("Cannot open Sacramento input parameter file: %s\n", ms.sacramento_path.c_str());
    stop_printed();
    return;
  }
  const bool ok = read_sacramento_input(ms);
  ms.fs_sacramento.close();
  if (!ok) return stop_printed();
  ms.sac_uztwc_init = ms.sac_uztwc;
  ms.sac_uzfwc_init = ms.sac_uzfwc;
  ms.sac_lztwc_init = ms.sac_lztwc;
  ms.sac_lzfpc_init = ms.sac_lzfpc;
  ms.sac_lzfsc_init = ms.sac_lzfsc;
  ms.sac_residual = 0.0;
}

int sacramento_sma(main_state& ms, double& et_mm, double p_mm, double& deep_recharge_mm) {
  double &uztwc = ms.sac_uztwc, &uzfwc = ms.sac_uzfwc, &lztwc = ms.sac_lztwc, &lzfsc = ms.sac_lzfsc,
         &lzfpc = ms.sac_lzfpc;
  const double uztwm = ms.sac_uztwm, uzfwm = ms.sac_uzfwm, lztwm = ms.sac_lztwm, lzfsm = ms.sac_lzfsm,
               lzfpm = ms.sac_lzfpm, saved = ms.sac_saved;
  const double before = storage_mm(ms);
  // Evapotranspiration from the upper zone: tension water first, in
  // proportion to its fill, then free water for what remains.
  const double pet = et_mm;
  double e1 = pet * uztwc / uztwm, e2 = 0.0;
  uztwc -= e1;
  if (uztwc < 0.0) {
    e1 += uztwc;
    uztwc = 0.0;
    e2 = std::min(pet - e1, uzfwc);
    uzfwc -= e2;
  }
  // Free water fuller than tension water: both take the common fill.
  if (uzfwc / uzfwm > uztwc / uztwm) {
    const double ratio = (uztwc + uzfwc) / (uztwm + uzfwm);
    uztwc = uztwm * ratio;
    uzfwc = uzfwm * ratio;
  }
  // Lower zone tension water resupplied from the free water above `saved`.
  const double r = (lzfpc + lzfsc + lztwc - saved) / (lzfpm + lzfsm + lztwm - saved);
  if (r > lztwc / lztwm) {
    const double moved = (r - lztwc / lztwm) * lztwm;
    lztwc += moved;
    lzfsc -= moved;
    if (lzfsc < 0.0) {
      lzfpc += lzfsc;
      lzfsc = 0.0;
    }
  }
  // The input first fills the upper tension deficit.
  double twx = p_mm - (uztwm - uztwc);
  if (twx < 0.0) {
    uztwc += p_mm;
    twx = 0.0;
  } else {
    uztwc = uztwm;
  }
  // The rest enters the free water in increments of at most 5 mm.
  const int n = static_cast<int>((twx + uzfwc) / 5.0 + 1.00001);
  const double dinc = 1.0 / n;
  double duz = ms.sac_uzk, dlzp = ms.sac_lzpk, dlzs = ms.sac_lzsk;
  if (n > 1) {
    duz = 1.0 - std::pow(1.0 - ms.sac_uzk, dinc);
    dlzp = 1.0 - std::pow(1.0 - ms.sac_lzpk, dinc);
    dlzs = 1.0 - std::pow(1.0 - ms.sac_lzsk, dinc);
  }
  const double pinc = dinc * twx;
  double base = 0.0, interflow = 0.0, surface = 0.0;
  for (int i = 0; i < n; ++i) {
    const double bp = dlzp * lzfpc, bs = dlzs * lzfsc;
    lzfpc -= bp;
    lzfsc -= bs;
    base += bp + bs;
    if (pinc + uzfwc <= 0.01) {
      uzfwc += pinc;
      continue;
    }
    const double defr = ((lzfpm - lzfpc) + (lzfsm - lzfsc) + (lztwm - lztwc)) / (lzfpm + lzfsm + lztwm);
    double perc = ms.sac_pbase * dinc * uzfwc / uzfwm * (1.0 + ms.sac_zperc * std::pow(defr, ms.sac_rexp));
    if (perc > uzfwc) {
      perc = uzfwc;
      uzfwc = 0.0;
    } else {
      uzfwc -= perc;
      const double excess = lztwc + lzfpc + lzfsc + perc - (lztwm + lzfpm + lzfsm);
      if (excess > 0.0) {
        perc -= excess;
        uzfwc += excess;
      }
      const double q = uzfwc * duz;
      interflow += q;
      uzfwc -= q;
    }
    // Percolation: the tension share fills lower tension water, the rest is
    // split between the two free stores by their deficits.
    const double perct = perc * (1.0 - ms.sac_pfree);
    double percf = 0.0;
    if (perct + lztwc <= lztwm) {
      lztwc += perct;
    } else {
      percf = perct + lztwc - lztwm;
      lztwc = lztwm;
    }
    percf += perc * ms.sac_pfree;
    const double deficit_p = 1.0 - lzfpc / lzfpm, deficit_s = 1.0 - lzfsc / lzfsm;
    if (deficit_p + deficit_s <= 0.0) {
      // Both free stores full: nothing to split, the water stays in tension.
      lztwc += percf;
    } else {
      // The primary share can exceed 1 when the supplementary store is
      // full; capped so that the supplementary store never gives water.
      const double share_p = std::min(1.0, 2.0 * (lzfpm / (lzfpm + lzfsm)) * deficit_p / (deficit_p + deficit_s));
      double percs = percf - percf * share_p;
      lzfsc += percs;
      if (lzfsc > lzfsm) {
        percs -= lzfsc - lzfsm;
        lzfsc = lzfsm;
      }
      lzfpc += percf - percs;
    }
    if (pinc + uzfwc <= uzfwm) {
      uzfwc += pinc;
    } else {
      surface += pinc + uzfwc - uzfwm;
      uzfwc = uzfwm;
    }
  }
  ms.sac_outflow_mm = surface + base + interflow;
  et_mm = e1 + e2;
  deep_recharge_mm = 0.0;
  ms.sac_residual += (before - storage_mm(ms)) + p_mm - et_mm - ms.sac_outflow_mm;
  return n;
}

void sacramento_step(main_state& ms) {
  if (ms.sacramento_on != 1 || std::fabs(ms.next_sac_time - ms.now) >= ms.time_tol) return;
  if (++ms.sac_step_count == 1) {
    ms.sac_infil_prev = 0.0;
    ms.sac_storage_init_mm = ms.sac_init_depth_mm = storage_mm(ms);
  }
  ms.sac_et_mm = ms.pet_rate * 10.0;  // cm/h over the hour to mm
  ms.sac_last_time = ms.now;
  ms.next_sac_time = ms.now + ms.sac_interval_days;
  ms.sac_input_mm = (ms.sac_infil_accum - ms.sac_infil_prev) / ms.n_cells * 1000.0;
  ms.sac_rain_mm += ms.sac_input_mm;
  ms.sac_precip_depth_mm += ms.sac_input_mm;
  ms.vol_sac_infil += ms.sac_input_mm * ms.watershed_area / 1000.0;
  ms.sac_pet_mm += ms.sac_et_mm;
  double deep = 0.0;
  sacramento_sma(ms, ms.sac_et_mm, ms.sac_input_mm, deep);
  ms.sac_et_depth_mm += ms.sac_et_mm;
  ms.sac_aet_mm += ms.sac_et_mm;
  ms.vol_sac_evap += ms.sac_et_mm * ms.watershed_area / 1000.0;
  ms.sac_infil_prev = ms.sac_infil_accum;
  ms.sac_subsurface_runoff_mm += ms.sac_outflow_mm;
  ms.sac_deep_recharge_mm += deep;
  ms.sac_channel_outflow = ms.sac_outflow_mm * ms.watershed_area / 3600000.0;
  const double volume = ms.sac_outflow_mm * ms.watershed_area / 1000.0;
  ms.vol_sac_outflow_total += volume;
  ms.vol_sac_baseflow += volume;
}

}  // namespace kavro
