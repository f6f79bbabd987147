// The constituent budgets of the summaries, with filled budget fields: the
// aligned event lines, the balance errors they store, the run summaries of
// the land surface and the whole watershed, and a nutrient entry of the
// soil only.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "../framework/event_test_support.h"
#include "output/event_summary.h"
#include "output/final_summary.h"
#include "test_support.h"

namespace kavro {
namespace {

// Two 10 m cells and `n` constituents, every budget vector 0; constituent 1
// is the contaminant "atrazine".
std::unique_ptr<main_state> budget_record(int n) {
  auto ms = new_record();
  make_cells(*ms, 2, 10.0);
  ms->n_constituents = n;
  ms->constituent_type.append(n, 1);
  ms->contamdescriptions.allocate(n);
  ms->contamdescriptions[1] = "atrazine";
  for (checked_array<double>* v :
       {&ms->OV_MASS_INIT, &ms->OV_MASS_FINAL, &ms->OV_MASS_OUT, &ms->OV_QLAT_MASS, &ms->OV_MASS_DECAY,
        &ms->OV_POINT_MASS, &ms->OV_EXFIL_MASS, &ms->OV_PRECIP_MASS, &ms->OV_INFIL_MASS, &ms->OV_MASS_ERROR,
        &ms->OV_LAND_MASS_INIT, &ms->OV_LAND_MASS_FINAL, &ms->OV_UPTAKE_MASS, &ms->event_ov_mass_init,
        &ms->event_ov_point_mass, &ms->event_ov_precip_mass, &ms->event_ov_infil_mass, &ms->event_ov_mass_out,
        &ms->GLOBAL_MASS_INIT, &ms->GLOBAL_MASS_FINAL, &ms->GLOBAL_MASS_OUT, &ms->GLOBAL_MASS_CON_ERROR,
        &ms->GLOBAL_POINT_SOURCE, &ms->GLOBAL_GW_MASS, &ms->event_soil_mass_init, &ms->event_soil_mass_final,
        &ms->event_soil_infil_mass, &ms->soil_mass_error})
    v->append(n, 0.0);
  return ms;
}

// What `write` puts in the summary file of `ms`.
template <class F>
std::string summary_of(main_state& ms, F write) {
  kavro_test::scratch_dir dir;
  const std::string path = (dir.path() / "summary.txt").string();
  EXPECT_TRUE(ms.fs_summary.open(path, "w"));
  write();
  ms.fs_summary.close();
  return kavro_test::read_file(path);
}

// The line of `text` that starts with `label`.
std::string line_of(const std::string& text, const std::string& label) {
  const size_t at = text.find("\n" + label);
  if (at == std::string::npos) return {};
  return text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

TEST(ConstituentSummaries, EventOverlandBudgetAlignsAndStoresItsError) {
  auto ms = budget_record(1);
  ms->ov_contam_on = 1;
  ms->event_ov_mass_init[1] = 10.0;
  ms->OV_MASS_FINAL[1] = 6.0;
  ms->event_ov_point_mass[1] = 2.0;
  ms->event_ov_precip_mass[1] = 3.0;
  ms->event_ov_infil_mass[1] = 4.0;
  ms->event_ov_mass_out[1] = 4.5;
  const std::string text = summary_of(*ms, [&] { write_event_constituent_budgets(*ms); });
  EXPECT_NE(text.find("Overland Contaminant Transport Summary for atrazine \n"), std::string::npos) << text;
  const std::string outlet = line_of(text, "Outlet flux ");
  ASSERT_GE(outlet.size(), 66u) << text;
  EXPECT_EQ(outlet.substr(64), "4.50") << outlet;
  EXPECT_EQ(outlet[65], '.') << "the decimal point in column 66";
  EXPECT_EQ(line_of(text, "Initial Dissolved Mass on Overland").find('.', 50), 65u);
  // In 2 + 10 + 3 = 15, out 4 + 6 + 4.5 = 14.5: 0.5 / 15.
  const std::string error = line_of(text, "Dissolved mass balance error %");
  EXPECT_EQ(error.substr(error.size() - 6), "3.3333") << error;
  EXPECT_NEAR(ms->OV_MASS_ERROR[1], 100.0 / 30.0, 1e-12);
}

TEST(ConstituentSummaries, RunOverlandAndGlobalBudgets) {
  auto ms = budget_record(1);
  ms->ov_contam_on = ms->contam_on = 1;
  // 0.01 m at 3000 g/m3 and 0.02 m at 1500 g/m3 over 100 m2: 6 kg.
  ms->ov_constituent_conc.append_rows(1, 0.0, 2);
  ms->ov_constituent_conc[1][1] = 3000.0;
  ms->ov_constituent_conc[1][2] = 1500.0;
  ms->ov_depth[1] = 0.01;
  ms->ov_depth[2] = 0.02;
  ms->OV_MASS_INIT[1] = ms->GLOBAL_MASS_INIT[1] = 10.0;
  ms->OV_POINT_MASS[1] = ms->GLOBAL_POINT_SOURCE[1] = 2.0;
  ms->OV_PRECIP_MASS[1] = 3.0;
  ms->OV_INFIL_MASS[1] = 4.0;
  ms->OV_MASS_OUT[1] = ms->GLOBAL_MASS_OUT[1] = 4.5;
  ms->global_precip_mass.grow(1);
  ms->global_precip_mass[1] = 3.0;
  const std::string text = summary_of(*ms, [&] {
    write_run_overland_constituent_summary(*ms, -1);
    write_run_global_constituent_summary(*ms, -1);
  });
  EXPECT_NE(text.find("Overland Constituent Transport Summary for Constituent     1 (atrazine)\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Final Dissolved mass on ov              6.00 \n"), std::string::npos) << text;
  EXPECT_NE(text.find("Contam mass balance error               3.3333 percent \n"), std::string::npos) << text;
  // Without soil constituents the infiltrated mass leaves the system: 4.5 + 4.
  EXPECT_NE(text.find("Total mass out of system                8.50 \n"), std::string::npos) << text;
  EXPECT_NE(text.find("Total final Mass                        6.00 \n"), std::string::npos) << text;
  // The global balance closes: in 10 + 2 + 3, out 8.5 + 6.
  EXPECT_NEAR(ms->GLOBAL_MASS_CON_ERROR[1], 0.5 / 15.0 * 100.0, 1e-12);
}

TEST(ConstituentSummaries, FurtherNutrientEntryOnlyInTheSoil) {
  auto ms = budget_record(2);
  ms->soil_contam_on = ms->ov_contam_on = 1;
  ms->constituent_type[2] = 3;
  ms->event_soil_mass_init[2] = 5.0;
  ms->event_soil_mass_final[2] = 4.0;  // 1 kg short: 20 percent
  const std::string text = summary_of(*ms, [&] { write_event_constituent_budgets(*ms); });
  EXPECT_EQ(occurrences(text, "Soil Contaminant Transport Summary for "), 2) << text;
  EXPECT_EQ(occurrences(text, "Overland Contaminant Transport Summary for "), 1) << text;
  EXPECT_EQ(ms->OV_MASS_ERROR[2], 0.0);
  ASSERT_GE(ms->soil_mass_error.size(), 2);
  EXPECT_NEAR(ms->soil_mass_error[2], 20.0, 1e-12);
  EXPECT_EQ(ms->soil_mass_error[1], 0.0) << "no inputs: no error";
}

}  // namespace
}  // namespace kavro
