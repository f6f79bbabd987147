// The option consistency checks: every refusal with its code, the warnings
// that let the later checks run, the refusals that print their own message,
// and the switches that the checks clear or set.
#include "input/option_checks.h"

#include <string>

#include "framework/error_record.h"
#include "settings_test_support.h"

namespace kavro {
namespace {

class OptionChecks : public kavro_test::settings_test {};

const std::string grid_refusal = "Error: The project file must give ROWS and COLS of at least 1.\n";
const std::string richards_refusal =
    "Error: Richards infiltration needs a soil-water retention model.\n"
    "Give RICHARDS_C_OPTION BROOKS or RICHARDS_C_OPTION HAVERCAMP in the project file.\n";

// Groundwater whose porosity and conductivity come from uniform values.
// The aquifer moves only under a soil method that hands it its water.
const std::string aquifer_cards = "WATER_TABLE wt.asc\nGW_SIMULATION\n";
const std::string groundwater = aquifer_cards +
    "INF_REDIST\nMOISTURE m.asc\nCONDUCTIVITY k.asc\nCAPILLARY c.asc\n"
    "POROSITY p.asc\nPORE_INDEX i.asc\nRESIDUAL_SAT r.asc\n";
const std::string uniform_aquifer = "GW_UNIF_POROSITY 0.3\nGW_UNIF_HYCOND 1.5\n";
const std::string long_term_redist =
    "LONG_TERM\nINF_REDIST\nCONDUCTIVITY k\nCAPILLARY c\nPOROSITY p\nPORE_INDEX i\nRESIDUAL_SAT r\n";

std::string ga_missing(const std::string& method, const std::string& card) {
  return "Error: The infiltration method " + method + " needs " + card + ": give the map card " + card +
         " or the GREEN_AMPT_INFILTRATION table in the mapping table.\n";
}

struct check_case {
  std::string cards;
  int code;             // code left for the run driver (0: accepted)
  std::string printed;  // text the checks print, when any
};

TEST_F(OptionChecks, RefusalsAndTheirCodes) {
  const check_case cases[] = {
      {"", 0, ""},
      {"ROUGHNESS r.asc\nMANNING_N 0.03\n", 6, ""},
      {long_term_redist + "ET_CALC_PENMAN\nET_CALC_DEARDORFF\n", 7, ""},
      {long_term_redist + "ET_CALC_DEARDORFF\nHMET_SAMSON a\nHMET_VRX b\n", 8, ""},
      {long_term_redist + "ET_CALC_DEARDORFF\nHMET_SURFAWAYS a\nHMET_ASCII b\nALBEDO al.asc\n", 0, ""},
      {long_term_redist, 9, ""},
      {"RAIN_DURATION 0\n", 11, ""},
      {"RAIN_DURATION\n", 11, ""},
      {"LONG_TERM\nET_CALC_DEARDORFF\nGREEN_AMPT\n", 20, ""},
      {long_term_redist + "ET_CALC_DEARDORFF\n", 21, ""},
      {long_term_redist + "ET_CALC_PENMAN\nALBEDO a\n", 22, ""},
      {long_term_redist + "ET_CALC_PENMAN\nALBEDO a\nVHEIGHT v\nTCOEFF t\n", 24, ""},
      {long_term_redist + "ET_CALC_PENMAN\nALBEDO a\nVHEIGHT v\nTCOEFF t\nCANOPY c\n", 25, ""},
      {"INF_RICHARDS\nRICHARDS_C_OPTION brooks\n" + aquifer_cards + uniform_aquifer, 32, ""},
      {"INF_RICHARDS\n", already_printed_code, richards_refusal},
      {"INF_RICHARDS\nRICHARDS_C_OPTION Geometric\n", already_printed_code, richards_refusal},
      {"INF_RICHARDS\nRICHARDS_C_OPTION havercamp\n", 0, ""},
      {"CHAN_BACKWATER\n", 35, ""},
      {"CHAN_DRAIN\n", 35, ""},
      {"CHAN_PREISS\n", 35, ""},
      {"CHAN_EXPLIC\n", 0, ""},
      {groundwater + "GW_POROSITY_MAP p.asc\nGW_UNIF_POROSITY 0.3\n", 38, ""},
      {groundwater + uniform_aquifer + "GW_HYCOND_MAP h.asc\n", 40, ""},
      {groundwater + uniform_aquifer + "SACRAMENTO s.txt\n", 42, ""},
      {"QLN\n", 43, "Running KAVRO in QLN environment\n"},
      {"QLN\nVOPA x\nQLN_EVENT_NUM\n", 44,
       "Running KAVRO in QLN environment\nKAVRO will share data with VOPA through file: exchange/x\n"
       "This is an event call of KAVRO by QLN, qln_event_num=-1\n"},
      {"QLN\nVOPA x\n" + groundwater + uniform_aquifer, 45,
       "Running KAVRO in QLN environment\nKAVRO will share data with VOPA through file: exchange/x\n"},
      {"VOPA x\n", 46, ""},
      {"QLN\nVOPA data.txt\nQLN_EVENT_NUM 3\n", 0,
       "Running KAVRO in QLN environment\nKAVRO will share data with VOPA through file: exchange/data.txt\n"
       "This is an event call of KAVRO by QLN, qln_event_num=3\n"},
      {"ROWS 0\n", already_printed_code, grid_refusal},
      {"COLS -2\n", already_printed_code, grid_refusal},
      {"GRIDSIZE 0\n", already_printed_code,
       "Error: The project file must give a GRIDSIZE greater than 0.\n"},
      // The catalogue refusal comes first.
      {"ROWS 0\nCHAN_PREISS\n", 35, ""},
      // A Green-Ampt soil parameter without a map or the Green-Ampt table.
      {"GREEN_AMPT\nCONDUCTIVITY k\nPOROSITY p\n", already_printed_code, ga_missing("GREEN_AMPT", "CAPILLARY")},
      {"GREEN_AMPT\nCONDUCTIVITY k\nCAPILLARY c\nPOROSITY p\n", 0, ""},
      {"INF_REDIST\nCONDUCTIVITY k\nCAPILLARY c\nPOROSITY p\n", already_printed_code,
       ga_missing("INF_REDIST", "PORE_INDEX") + ga_missing("INF_REDIST", "RESIDUAL_SAT")},
      {"INF_REDIST\n", already_printed_code,
       ga_missing("INF_REDIST", "CONDUCTIVITY") + ga_missing("INF_REDIST", "CAPILLARY") +
           ga_missing("INF_REDIST", "POROSITY") + ga_missing("INF_REDIST", "PORE_INDEX") +
           ga_missing("INF_REDIST", "RESIDUAL_SAT")},
  };
  for (const check_case& c : cases) {
    SCOPED_TRACE(c.cards);
    read_and_check(std::string(kavro_test::accepted_cards) + c.cards);
    EXPECT_EQ(error_rec.code, c.code);
    EXPECT_EQ(error_rec.stop, 0) << "only the run driver's report stops the run";
    // The checks print nothing of their own but what the case names.
    const size_t pos = out.find("finished reading project file\n");
    ASSERT_NE(pos, std::string::npos);
    EXPECT_EQ(out.substr(pos + 30), c.printed);
  }
}

TEST_F(OptionChecks, WarningsLetTheLaterChecksRun) {
  error_record rec;
  // No porosity source (warning 39) and no conductivity source (warning 41):
  // both are reported at once and the Sacramento check still refuses.
  read_and_check(std::string(kavro_test::accepted_cards) + groundwater + "SACRAMENTO s.txt\n");
  EXPECT_EQ(error_rec.code, 42);
  const size_t w39 = out.find(catalogue_message(39, rec));
  const size_t w41 = out.find(catalogue_message(41, rec));
  EXPECT_NE(w39, std::string::npos);
  EXPECT_NE(w41, std::string::npos);
  EXPECT_LT(w39, w41);

  // After warning 41 the host checks are still made.
  read_and_check(std::string(kavro_test::accepted_cards) + groundwater + "GW_UNIF_POROSITY 0.3\nVOPA x\n");
  EXPECT_EQ(error_rec.code, 46);
  EXPECT_NE(out.find(catalogue_message(41, rec)), std::string::npos);
  EXPECT_EQ(out.find(catalogue_message(39, rec)), std::string::npos);
}

TEST_F(OptionChecks, SwitchesThatTheChecksSetOrClear) {
  const std::string cards = kavro_test::accepted_cards;
  // The layered soil table supplies the Green-Ampt maps.
  main_state* m =
      &read_and_check(cards + "INF_LAYERED_SOIL\nMOISTURE m.asc\nCONDUCTIVITY k.asc\nPORE_INDEX p.asc\n");
  EXPECT_EQ(m->moisture_on + m->conductivity_on + m->pore_index_on, 0);
  m = &read_and_check(cards + "INF_REDIST\nMOISTURE m.asc\nCONDUCTIVITY k.asc\nCAPILLARY c.asc\nPOROSITY p.asc\n"
                                    "PORE_INDEX i.asc\nRESIDUAL_SAT r.asc\n");
  EXPECT_EQ(error_rec.code, 0);
  EXPECT_EQ(m->moisture_on + m->conductivity_on, 2);
  // Channel routing with erosion writes the overland sediment outputs.
  m = &read_and_check(cards + "CHAN_EXPLIC\nSOIL_EROSION 1\nOUTLET_SED_FLUX s.otl\nSAND_SIZE 0.0625\n");
  EXPECT_EQ(error_rec.code, 0);
  EXPECT_EQ(m->ov_sed_out_on, 1);
  m = &read_and_check(cards + "SOIL_EROSION 1\nOUTLET_SED_FLUX s.otl\n");
  EXPECT_EQ(error_rec.code, 0);
  EXPECT_EQ(m->ov_sed_out_on, 0);
  // No channel discharge map without channel routing.
  m = &read_and_check(cards + "CHAN_DISCHARGE cq.out\n");
  EXPECT_EQ(m->chan_discharge_map_on, 0);
  m = &read_and_check(cards + "CHAN_EXPLIC\nCHAN_DISCHARGE cq.out\n");
  EXPECT_EQ(m->chan_discharge_map_on, 1);
}

}  // namespace
}  // namespace kavro
