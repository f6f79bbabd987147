// The four weather formats read hour by hour: missing values and their
// repairs, dates that roll over midnight at the end of February, gridded
// no-data cells, and a Surface Airways day delivered hour by hour.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "framework/error_record.h"
#include "hydromet/hmet_readers.h"
#include "test_support.h"
#include "weather_grid_support.h"

namespace kavro {
namespace {

using kavro_test::write_file;

// Scans `file` and reads `hours` records of it.
std::vector<hmet_hour_record> read_hours(main_state& ms, int hours) {
  std::vector<hmet_hour_record> out;
  testing::internal::CaptureStdout();
  const int scan = read_hmet(ms, 1);
  for (int h = 0; h < hours && scan == hmet_scan_done; ++h) {
    if (read_hmet(ms, 2 + h) < 0) break;
    out.push_back(ms.hmet_record);
  }
  testing::internal::GetCapturedStdout();
  return out;
}

std::string vrx_line(int day, int hour, const std::string& pressure, const std::string& direct) {
  return "2010 7 " + std::to_string(day) + " " + std::to_string(hour) + " " + pressure + " 50 5 5 77 " + direct +
         " 800.0\n";
}

TEST(VrxReader, MissingValuesTakeTheLastGoodOneOfTheirKind) {
  kavro_test::scratch_dir dir;
  write_file(dir / "w.vrx", vrx_line(1, 4, "29.92", "100.0") + vrx_line(1, 5, "999", "99999") +
                                vrx_line(1, 6, "999.5", "300.0") + vrx_line(2, 5, "30.00", "350.0") +
                                vrx_line(3, 5, "29.00", "10000.0"));
  auto ms = kavro_test::weather_reader_record((dir / "w.vrx").string(), "vrx");
  const auto h = read_hours(*ms, 10);
  ASSERT_EQ(h.size(), 5u);
  EXPECT_EQ(ms->hmet_n_records, 5);
  EXPECT_EQ(h[1].hmet_pressure, h[0].hmet_pressure) << "999 is missing";
  EXPECT_NEAR(h[0].hmet_pressure, 1013.25, 1e-9);
  EXPECT_NEAR(h[2].hmet_pressure, 999.5 * 1013.25 / 29.92, 1e-9) << "999.5 is a pressure";
  EXPECT_EQ(h[1].hmet_direct_rad, 0.0) << "no good hour-5 direct yet";
  EXPECT_EQ(h[4].hmet_direct_rad, 350.0) << "the last good hour-5 direct";
  EXPECT_EQ(h[4].hmet_diffuse_rad, 800.0 - 350.0);
  EXPECT_EQ(ms->n_hmet_repaired, 3);
  EXPECT_NEAR(h[0].hmet_air_temp, 25.0, 1e-12);
  EXPECT_NEAR(h[0].hmet_wind_speed, 5 * 0.514444, 1e-12);
  EXPECT_EQ(h[0].hmet_cloud_cover, 0.5);
  EXPECT_EQ(ms->hmet_begin_day, 1);
  EXPECT_EQ(ms->hmet_begin_hour, 4);
  EXPECT_EQ(ms->hmet_end_day, 3);
  EXPECT_EQ(h[3].day, 2);
}

TEST(VrxReader, TwoRunsInOneProcessStartAlike) {
  // Day 1 lacks its hour-5 direct radiation, day 2 has 350 W/m2: each run
  // repairs day 1 with 0, whatever the run before it read.
  kavro_test::scratch_dir dir;
  std::string text;
  for (int day = 1; day <= 2; ++day)
    for (int hour = 0; hour < 24; ++hour)
      text += vrx_line(day, hour, "29.92", hour == 5 ? (day == 1 ? "99999" : "350.0") : "100.0");
  write_file(dir / "w.vrx", text);
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    auto ms = kavro_test::weather_reader_record((dir / "w.vrx").string(), "vrx");
    const auto h = read_hours(*ms, 48);
    ASSERT_EQ(h.size(), 48u);
    EXPECT_EQ(h[5].hmet_direct_rad, 0.0);
    EXPECT_EQ(h[29].hmet_direct_rad, 350.0);
    EXPECT_EQ(ms->n_hmet_repaired, 1);
  }
}

// A SAMSON hour line; the fields other than the date stay at good values.
std::string samson_line(int yy, int mo, int dd, int hh) {
  return kavro_test::samson_hour_line(yy, mo, dd, hh, 500, 100, 3, 10.0, 60, 850, 2.5);
}

TEST(SamsonReader, HourTwentyFourIsMidnightOfTheNextDay) {
  // Columns as the format gives them.
  const std::string probe = samson_line(96, 2, 28, 24);
  ASSERT_EQ(probe.substr(33, 4), " 500");
  ASSERT_EQ(probe.substr(55, 5), " 10.0");
  ASSERT_EQ(probe.substr(79, 6), "2.5000");
  struct roll_case {
    int yy;
    int year, month, day;
  };
  const roll_case cases[] = {{96, 1996, 2, 29}, {97, 1997, 3, 1}, {0, 1900, 3, 1}, {95, 1995, 3, 1}};
  for (const roll_case& c : cases) {
    SCOPED_TRACE(c.yy);
    kavro_test::scratch_dir dir;
    write_file(dir / "w.sam", "~ 23183 PHOENIX                AZ  -7  N33 26  W112  1   339\n"
                              " YR MO DA HR I    1    2       3       4       5\n" +
                                  samson_line(c.yy, 2, 28, 23) + "\n" + samson_line(c.yy, 2, 28, 24) + "\n");
    auto ms = kavro_test::weather_reader_record((dir / "w.sam").string(), "samson");
    const auto h = read_hours(*ms, 5);
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[1].year, c.year);
    EXPECT_EQ(h[1].month, c.month);
    EXPECT_EQ(h[1].day, c.day);
    EXPECT_EQ(h[1].hour, 0);
    EXPECT_EQ(ms->hmet_end_month, c.month);
    EXPECT_EQ(ms->hmet_end_day, c.day);
    EXPECT_EQ(h[0].hmet_direct_rad, 500.0);
    EXPECT_EQ(h[0].hmet_cloud_cover, 3.0) << "tenths";
    EXPECT_EQ(h[0].hmet_pressure, 850.0);
    EXPECT_EQ(h[0].hmet_wind_speed, 2.5);
    EXPECT_NE(ms->hmet_station_name.find("PHOENIX"), std::string::npos) << ms->hmet_station_name;
  }
}

// One 3 x 3 weather grid of `value` with cells 30 m wide on the model grid.
std::string grid_text(double value, int nodata_cell = -1) {
  std::string s = "ncols 3\nnrows 3\nxllcorner 500\nyllcorner 2000\ncellsize 30\nNODATA_value -9999\n";
  for (int k = 0; k < 9; ++k) s += (k == nodata_cell ? std::string("-9999") : std::to_string(value)) + (k % 3 == 2 ? "\n" : " ");
  return s;
}

TEST(GriddedReader, NoDataCellsTakeTheMeanOfTheOthers) {
  kavro_test::scratch_dir dir;
  const std::string stem = (dir / "wx_2010071514").string();
  write_file(dir / "index.txt", stem + "\n" + (dir / "wx_2010071515").string() + "\n");
  for (const std::string hour : {"14", "15"}) {
    const std::string s = (dir / ("wx_20100715" + hour)).string();
    write_file(s + "_Clod.asc", grid_text(5.0));
    write_file(s + "_Prcp.asc", grid_text(0.0));
    write_file(s + "_Pres.asc", grid_text(29.92));
    write_file(s + "_RlHm.asc", grid_text(40.0));
    write_file(s + "_Temp.asc", grid_text(50.0, 4));  // the centre cell has no temperature
    write_file(s + "_Drad.asc", grid_text(600.0));
    write_file(s + "_Grad.asc", grid_text(800.0));
    // No wind grid.
  }
  auto ms = kavro_test::weather_reader_record((dir / "index.txt").string(), "ascii", 3, 3, 30.0);
  testing::internal::CaptureStdout();
  ASSERT_EQ(read_hmet(*ms, 1), hmet_scan_done);
  ASSERT_EQ(read_hmet(*ms, 2), hmet_grid_record);
  const std::string first = testing::internal::GetCapturedStdout();
  EXPECT_NEAR(ms->hmet_record.hmet_air_temp, 10.0, 1e-12);
  for (long j = 1; j <= 9; ++j) {
    EXPECT_NEAR(ms->temper_gridded[j], 10.0, 1e-12) << j;
    EXPECT_EQ(ms->vel_gridded[j], 3.0) << j;
    EXPECT_EQ(ms->cloud_cover_gridded[j], 0.5) << j;
    EXPECT_NEAR(ms->pres_gridded[j], 1013.25, 1e-9) << j;
    EXPECT_EQ(ms->diffuse_gridded[j], 200.0) << j;
  }
  EXPECT_EQ(ms->hmet_record.hmet_wind_speed, 3.0);
  EXPECT_EQ(ms->hmet_record.hmet_cloud_cover, 0.5) << "a fraction";
  EXPECT_EQ(ms->n_hmet_repaired, 1);
  EXPECT_EQ(ms->hmet_record.hour, 14);
  EXPECT_NE(first.find("ERROR!!! CANNOT OPEN Wind Speed FILE"), std::string::npos) << first;
  EXPECT_NE(first.find("NO WIND VALUE READ, using 3.000000"), std::string::npos);
  EXPECT_NE(first.find("Filling Temperature Array"), std::string::npos);
  EXPECT_EQ(first.find("Error"), std::string::npos) << "a missing wind grid is no error";
  testing::internal::CaptureStdout();
  ASSERT_EQ(read_hmet(*ms, 3), hmet_grid_record);
  EXPECT_EQ(read_hmet(*ms, 4), hmet_end_of_data);
  const std::string second = testing::internal::GetCapturedStdout();
  EXPECT_EQ(second.find("CANNOT OPEN"), std::string::npos) << "the first hour's message only";
  EXPECT_EQ(ms->hmet_record.hour, 15);
}

// A Surface Airways element line for `day` with values v(hour).
std::string sa_line(const char* code, int day, int n, const std::function<long(int)>& v) {
  char head[64];
  std::snprintf(head, sizeof head, "12345678   %-4s  201007  %02d%3d", code, day, n);
  std::string s = head;
  for (int i = 0; i < n; ++i) {
    char group[48];
    std::snprintf(group, sizeof group, "%02d00 %05ld  ", i, v(i));
    s += group;
  }
  return s + "\n";
}

TEST(SurfaceAirwaysReader, DeliversEachDayHourByHour) {
  kavro_test::scratch_dir dir;
  std::string text;
  for (int day = 14; day <= 15; ++day) {
    text += sa_line("DRAD", day, 24, [&](int h) { return 100L * h; });
    text += sa_line("PRES", day, 24, [](int) { return 29920L; });
    text += sa_line("RHUM", day, 24, [](int) { return 55L; });
    text += sa_line("TMPD", day, 24, [&](int h) { return day == 15 && h == 3 ? 99999L : 50L + h; });
    text += sa_line("TSKC", day, 24, [&](int h) { return day == 14 ? 507L : (h == 2 ? 99999L : 304L); });
    text += sa_line("WIND", day, 24, [](int) { return 18010L; });
  }
  write_file(dir / "w.sa", text);
  auto ms = kavro_test::weather_reader_record((dir / "w.sa").string(), "surfaways");
  const auto h = read_hours(*ms, 60);
  ASSERT_EQ(h.size(), 48u) << "-1 after the last day's hour 23";
  EXPECT_EQ(ms->hmet_n_records, 48);
  EXPECT_EQ(h[0].day, 14);
  EXPECT_EQ(h[0].hour, 0);
  EXPECT_EQ(h[47].day, 15);
  EXPECT_EQ(h[47].hour, 23);
  EXPECT_EQ(h[7].hmet_direct_rad, 70.0);
  EXPECT_EQ(h[7].hmet_diffuse_rad, 0.0) << "the day had no GR line";
  EXPECT_NEAR(h[7].hmet_pressure, 29920 * 33.86530748663101 / 1000.0, 1e-9);
  EXPECT_NEAR(h[7].hmet_air_temp, (57 - 32) * 0.5555555555555556, 1e-12);
  EXPECT_EQ(h[7].hmet_cloud_cover, 7.0) << "tenths";
  EXPECT_EQ(h[26].hmet_cloud_cover, 4.0) << "a missing sky cover keeps the last good one";
  EXPECT_NEAR(h[27].hmet_air_temp, h[3].hmet_air_temp, 1e-12) << "missing: the last good hour-3 temperature";
  EXPECT_NEAR(h[10].hmet_wind_speed, 10 * 0.514444, 1e-12);
  EXPECT_EQ(ms->n_hmet_repaired, 2);
}

}  // namespace
}  // namespace kavro
