// The event report: the aligned summary line, the balance lines and notes,
// the warnings, and the gates of the blocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../framework/event_test_support.h"
#include "output/event_summary.h"
#include "output/output_steps.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;

std::string summary_line(const std::string& label, double value, const char* format, int extra) {
  kavro_test::scratch_dir dir;
  const auto path = dir / "line.txt";
  std::FILE* f = std::fopen(path.c_str(), "w");
  print_summary_line(f, label, value, 50, format, '.', 14, extra);
  std::fclose(f);
  return read_file(path);
}

TEST(SummaryLine, DecimalPointsAlignInColumn66) {
  const struct {
    const char* label;
    double value;
    const char* format;
  } cases[] = {{"Initial Mass in Soil Column", 12.5, "%14.2lf"},
               {"Soil mass balance error %", -0.00012, "%14.4lf"},
               {"Loss to NSM kinetics", 123456789.0, "%14.4lf"},
               {"A", 0.0, "%14.2lf"}};
  for (const auto& c : cases) {
    const std::string line = summary_line(c.label, c.value, c.format, 0);
    ASSERT_GE(line.size(), 66u) << line;
    EXPECT_EQ(line[65], '.') << line;
    EXPECT_EQ(line.find(std::string(c.label) + " ."), 0u) << line;
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1);
  }
  EXPECT_EQ(summary_line("Final Mass in Soil Column", 1.0, "%14.2lf", 1).substr(66), "00\n\n");
}

TEST(SummaryLine, LongLabelsAndWideNumbers) {
  // 49 characters and more: no dots.
  const std::string label(49, 'x');
  EXPECT_EQ(summary_line(label, 1.5, "%14.2lf", 0), label + "               1.50\n");
  // A number whose point lies beyond position 14 of its text gets one blank.
  EXPECT_EQ(summary_line("Mass", 1e15, "%14.2lf", 0),
            "Mass " + std::string(45, '.') + " 1000000000000000.00\n");
}

class EventSummary : public testing::Test {
 protected:
  void SetUp() override {
    ms = new_record();
    make_cells(*ms, 8, 10.0);
    ASSERT_TRUE(ms->fs_summary.open((dir / "summary.txt").string(), "w"));
    ms->dt = 2.0;
    ms->event_year = 2010;
    ms->event_month = 7;
    ms->event_day = 1;
    ms->event_hour = 9;
    ms->uniform_rain_on = 1;
    ms->rain_intensity = 36.0;
    ms->rain_duration = 60.0;
    ms->hyd_interval_steps = 30;
    ms->map_interval_steps = 180;
  }
  // The report written for the record as it is, and what went to the console.
  std::string report(std::string* console = nullptr) {
    const std::string out = printed_by([&] { write_event_summary(*ms); });
    if (console) *console = out;
    const std::string name = ms->fs_summary.name;
    ms->fs_summary.close();
    return read_file(name);
  }
  void set_balance(double in, double out) {
    ms->mass_in_plus_initial = in;
    ms->mass_out_plus_final = out;
    ms->mass_conservation_error = in > 1e-16 ? (in - out) / in : -1.0;
  }

  kavro_test::scratch_dir dir;
  std::unique_ptr<main_state> ms;
};

TEST_F(EventSummary, HeadingDrivingAndVolumesOfAnEvent) {
  ms->n_rain_steps = 1800;
  ms->rain_start_min = 2.0 / 60.0;
  ms->vol_precip = 8640.0;
  ms->vol_discharge = 8600.0;
  ms->vol_surface_final = 40.0;
  ms->event_peak_q = 2.4;
  ms->peak_month = 7;
  ms->peak_day = 1;
  ms->peak_year = 2010;
  ms->peak_hour = 10;
  set_balance(8640.0, 8640.0);
  const std::string text = report();
  for (const char* line : {"         KAVRO EVENT RUNOFF SIMULATION SUMMARY\n",
                           "            Event began on 07/01/2010 at 09:00\n",
                           "   With uniform rainfall of   36.0 mm/h for   60.0 minutes.\n\n",
                           "timestep                                     2.0 seconds\n",
                           "number of timesteps with rain:             1800\n",
                           "elapsed time when rain began:               0.00\n \n",
                           "date/time of peak discharge:              7/1/2010  10:00:00\n",
                           "Event peak discharge (cubic meters per second):        2.4000\n\n",
                           "volume of rainfall to overland:                8640.0\n",
                           "volume of discharge:                           8600.0\n",
                           "volume remaining on surface:                     40.0\n",
                           "mass conservation error:                          0.000000 percent\n",
                           "Note: positive mass conservation error indicates mass was created.\n",
                           "Mass input + original mass:           8640.000000 m3\n", "No Warnings.\n",
                           "     hydrograph at the catchment outlet.\n"}) {
    EXPECT_EQ(occurrences(text, line), 1) << line << "\n" << text;
  }
  // Channel, lake, Richards and groundwater blocks stay out while they are off.
  for (const char* absent : {"initial volume in channels", "initial volume in lakes", "Richard's EQ",
                             "GROUNDWATER", "Soil Contaminant", "Overland Sediment", "LONG-TERM"}) {
    EXPECT_EQ(text.find(absent), std::string::npos) << absent;
  }
}

TEST_F(EventSummary, AnEventWithoutInputHasItsNotesAndNoWarning) {
  set_balance(0.0, 0.0);
  std::string console;
  const std::string text = report(&console);
  EXPECT_NE(text.find("mass conservation error:                         -100.000000 percent\n"), std::string::npos);
  EXPECT_NE(text.find("Note: positive mass conservation error indicates mass was created.\n"), std::string::npos);
  EXPECT_NE(text.find("Note: no rainfall was input.\n"), std::string::npos);
  EXPECT_EQ(text.find("!WARNING!"), std::string::npos) << text;
  EXPECT_EQ(console.find("!WARNING!"), std::string::npos) << console;
  EXPECT_EQ(text.find("nan"), std::string::npos);
  EXPECT_EQ(text.find("No peak"), std::string::npos);
  EXPECT_EQ(text.find("date/time of peak discharge"), std::string::npos);
}

TEST_F(EventSummary, HighErrorsWarnInTheFileAndOnTheConsole) {
  const struct {
    double in, out;
    bool warns;
    const char* note;
  } cases[] = {{100.0, 98.5, true, "positive"},
               {100.0, 99.0, false, "positive"},  // exactly 1 percent
               {100.0, 102.0, true, "negative"},
               {100.0, 100.5, false, "negative"}};
  for (const auto& c : cases) {
    SetUp();
    set_balance(c.in, c.out);
    ms->vol_precip = c.in;
    std::string console;
    const std::string text = report(&console);
    EXPECT_EQ(occurrences(text, " Mass conservation error is larger than typical values (<1 percent).\n"),
              c.warns ? 1 : 0)
        << c.out;
    EXPECT_EQ(occurrences(console, " Mass conservation error is high for this event!"), c.warns ? 1 : 0) << c.out;
    EXPECT_EQ(occurrences(text, "No Warnings.\n"), c.warns ? 0 : 1) << c.out;
    EXPECT_NE(text.find(std::string("Note: ") + c.note), std::string::npos) << c.out;
  }
}

TEST_F(EventSummary, WaterLeftOnTheSurfaceOrCrossSectionOverrunsSuppressNoWarnings) {
  set_balance(100.0, 100.0);
  ms->vol_precip = 100.0;
  ms->vol_surface_final = 5.5;
  EXPECT_EQ(report().find("No Warnings."), std::string::npos);

  SetUp();
  set_balance(100.0, 100.0);
  ms->vol_precip = 100.0;
  ms->n_xsec_table_overruns = 3;
  const std::string text = report();
  EXPECT_NE(text.find("-Depths exceeded the range of look-up table X-section data.\n"), std::string::npos);
  EXPECT_EQ(text.find("No Warnings."), std::string::npos);
}

TEST_F(EventSummary, LongTermEventsAreSeparatedByARule) {
  ms->long_term_on = 1;
  ms->event_no = 2;
  ms->hmet_samson_on = 1;
  ms->hmet_station_name = "BOISE ID";
  set_balance(10.0, 10.0);
  const std::string text = report();
  EXPECT_EQ(text.find("\n\n------------------------------------------------------------------------------\n"), 0u);
  EXPECT_NE(text.find("KAVRO LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT 2\n"), std::string::npos);
  EXPECT_NE(text.find("data from the BOISE station\n"), std::string::npos);
  EXPECT_NE(text.find("final basin-averaged soil water content:"), std::string::npos);
}

}  // namespace
}  // namespace kavro
