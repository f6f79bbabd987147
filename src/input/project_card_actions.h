// The project cards with behaviour of their own (the generic card kinds are
// in project_cards.cpp). Each takes the rest of its line.
#pragma once

#include <string>

#include "input/project_cards.h"

namespace kavro {

using card_action = void (*)(card_context& c, std::string& rest);

void units_card(card_context& c, std::string& rest);
void overtype_card(card_context& c, std::string& rest);
void reten_depth_card(card_context& c, std::string& rest);
void hmet_orog_gages_card(card_context& c, std::string& rest);
void moisture_card(card_context& c, std::string& rest);
void precip_file_card(card_context& c, std::string& rest);
void richards_k_option_card(card_context& c, std::string& rest);
void richards_c_option_card(card_context& c, std::string& rest);
void richards_upper_option_card(card_context& c, std::string& rest);
void gw_fluxboundtable_card(card_context& c, std::string& rest);
void gw_boundfile_card(card_context& c, std::string& rest);
void qln_event_num_card(card_context& c, std::string& rest);
void replace_line_card(card_context& c, std::string& rest);
void output_folder_card(card_context& c, std::string& rest);
void project_folder_card(card_context& c, std::string& rest);
void super_quiet_card(card_context& c, std::string& rest);
void num_threads_card(card_context& c, std::string& rest);
void calib_comp_data_card(card_context& c, std::string& rest);
void calib_obj_func_card(card_context& c, std::string& rest);
void init_swe_depth_card(card_context& c, std::string& rest);
void xybdyoutput_pts_card(card_context& c, std::string& rest);
void xybdyoutput_mask_card(card_context& c, std::string& rest);
void xybdyinput_ovdep_card(card_context& c, std::string& rest);
void xybdyinput_gwhead_card(card_context& c, std::string& rest);
void xybdyinput_stflow_card(card_context& c, std::string& rest);
void xybdyinput_sttimeseries_card(card_context& c, std::string& rest);
void xybdyinput_gwheadinterp_card(card_context& c, std::string& rest);
void xybdyinput_ovdepthinterp_card(card_context& c, std::string& rest);
void xybdyinput_ov_stage_interp_card(card_context& c, std::string& rest);

// The nutrient model and its card families.
enum class nsm_compartment { ov, st };
enum class nsm_group { ov, st, hyd };
void nutrients_card(card_context& c, std::string& rest);
void aq_env_card(card_context& c, std::string& rest);
void nsm_init_card(card_context& c, std::string& rest, nsm_compartment compartment, int entry);
void nsm_out_card(card_context& c, std::string& rest, nsm_group group, int species);
void nsm_k_card(card_context& c, std::string& rest, int entry);

// Shared by the card actions: the next token as a file name (empty when the
// line holds none) and the next token as a number (0 when missing or not a
// number).
void take_name(std::string& rest, std::string& name);
void take_value(std::string& rest, double& value);
void take_value(std::string& rest, int& value);

// True when `token` is wholly a number ("12.5", "-3", "1e3", also nan and
// inf, which the card checks refuse by name), as a file name never is; the
// number goes to `value`. A name such as "2001.asc" is no number.
bool leading_real(const std::string& token, double& value);
bool leading_int(const std::string& token, int& value);

}  // namespace kavro
