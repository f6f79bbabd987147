// Named time series and elevation series: reading their files, binding by
// name, lookups (also from parallel loops) and the failures that stop a run.
#include <omp.h>

#include <cmath>
#include <string>
#include <vector>

#include "card_test_support.h"
#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "input/card_services.h"
#include "input/elev_series.h"
#include "input/time_series.h"
#include "test_support.h"

namespace kavro {
namespace {

std::string data_file(const char* name) { return (kavro_test::data_dir() / "input" / name).string(); }

// Reads a series file and returns what it printed.
template <class Reader>
std::string read_printing(Reader reader, const std::string& path) {
  testing::internal::CaptureStdout();
  reader(path);
  return testing::internal::GetCapturedStdout();
}

class TimeSeries : public kavro_test::process_state_test {};
class ElevSeries : public kavro_test::process_state_test {};

TEST_F(TimeSeries, ReadsEveryBlockOfAFile) {
  const std::string path = data_file("ts_two_blocks.txt");
  EXPECT_EQ(
      read_printing(read_time_series_file, path),
      "Read time series Inflow\nRead time series Inflow_A\n2 time series read from file " + path + "\n");
  ASSERT_EQ(time_series_list.size(), 2u);
  // The name line of the second block has blanks and quotes around the name.
  EXPECT_EQ(time_series_list[1]->name, "Inflow_A");
  EXPECT_EQ(time_series_list[1]->relative, 1);
  EXPECT_EQ(time_series_list[0]->count(), 2);
}

TEST_F(TimeSeries, InterpolatesBetweenRowsAndClampsOutside) {
  read_printing(read_time_series_file, data_file("ts_two_blocks.txt"));
  const time_series* s = find_time_series("Inflow");
  ASSERT_NE(s, nullptr);
  // Rows (10, 1.0) and (20, 3.0), days after the run start.
  const std::vector<std::pair<double, double>> expected = {
      {5, 1.0}, {10, 1.0}, {15, 2.0}, {20, 3.0}, {25, 3.0}};
  for (const auto& [t, v] : expected) EXPECT_DOUBLE_EQ(time_series_value(t, s), v) << "t = " << t;
}

TEST_F(TimeSeries, RelativeRowsLieAfterTheRunStartOnceShifted) {
  read_printing(read_time_series_file, data_file("ts_faults.txt"));
  const time_series* tail = find_time_series("Tail");
  const time_series* gauge = find_time_series("Gauge");
  ASSERT_TRUE(tail && gauge);
  const double start = julian_date(2001, 6, 15, 0, 0, 0.0);
  const double gauge_first = gauge->times[0];
  shift_relative_time_series(start);
  shift_relative_time_series(start);  // a second call moves nothing
  EXPECT_DOUBLE_EQ(tail->times[0], start + 1.5);
  EXPECT_EQ(gauge->times[0], gauge_first);
}

TEST_F(TimeSeries, ExactNameBindsBeforeAPrefix) {
  read_printing(read_time_series_file, data_file("ts_prefix_first.txt"));
  ASSERT_NE(find_time_series("Inflow"), nullptr);
  EXPECT_EQ(find_time_series("Inflow")->name, "Inflow");
  EXPECT_EQ(find_time_series("Infl")->name, "Inflow_A");
  EXPECT_EQ(find_time_series("Outflow"), nullptr);
  testing::internal::CaptureStdout();
  EXPECT_EQ(find_time_series(""), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: an empty name binds no time series.\n");
}

TEST_F(TimeSeries, UnreadableRowsAreSkippedAndAnOpenBlockEndsAtEndOfFile) {
  const std::string path = data_file("ts_faults.txt");
  const std::string out = read_printing(read_time_series_file, path);
  EXPECT_EQ(out, "Warning: line 5 of file " + path +
                     " is not a row of time series [Gauge]; skipped.\n"
                     "Read time series Gauge\nRead time series Tail\n2 time series read from file " +
                     path + "\n");
  EXPECT_EQ(find_time_series("Gauge")->count(), 4);  // the blank line is no row either
  EXPECT_EQ(find_time_series("Tail")->count(), 1);
  EXPECT_EQ(error_rec.stop, 0);
}

// A row may hold only finite numbers, whole ones for its date: nan, inf or a
// fraction of an hour stops the run naming the file, the line and the text.
TEST_F(TimeSeries, RowsOfNumbersNoSeriesMayHoldStopTheRun) {
  struct row_case {
    const char* row;
    const char* message;
  };
  const row_case cases[] = {
      {"2001 6 15 12 0 nan", "s.txt: value 6 of the row: the value nan is not a finite number"},
      {"2001 6 15 12 0 -inf", "s.txt: value 6 of the row: the value -inf is not a finite number"},
      {"2001 6 15 12.5 0 1", "s.txt: value 4 of the row: the value 12.5 is not a whole number"},
      {"99999999999 6 15 12 0 1", "value 1 of the row: the whole number 99999999999 is beyond the range"},
  };
  for (const row_case& c : cases) {
    SCOPED_TRACE(c.row);
    TearDown();
    SetUp();
    kavro_test::scratch_dir dir;
    const std::string path = (dir / "s.txt").string();
    kavro_test::write_file(path, std::string("KAVRO_TS\nGauge\nABSOLUTE\n2001 6 15 0 0 1.0\n") + c.row + "\n");
    const std::string out = read_printing(read_time_series_file, path);
    EXPECT_NE(out.find("Error: line 5 of file "), std::string::npos) << out;
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_EQ(error_rec.stop, 1);
  }
}

TEST_F(TimeSeries, ARepeatedTimeGivesTheLaterValue) {
  read_printing(read_time_series_file, data_file("ts_faults.txt"));
  const time_series* s = find_time_series("Gauge");
  const double noon = julian_date(2001, 6, 15, 12, 0, 0.0);
  EXPECT_DOUBLE_EQ(time_series_value(noon, s), 4.0);
  EXPECT_DOUBLE_EQ(time_series_value(noon - 0.25, s), 1.5);
  EXPECT_DOUBLE_EQ(time_series_value(noon + 0.25, s), 5.0);
}

TEST_F(TimeSeries, TimesOutOfOrderStopTheRun) {
  const std::string path = data_file("ts_out_of_order.txt");
  const std::string out = read_printing(read_time_series_file, path);
  EXPECT_NE(out.find("Error: the time series [River] in file " + path + " is out of order at line 5.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(error_rec.stop, 1);
  EXPECT_EQ(find_time_series("River")->count(), 2);  // the row going back is not kept
}

TEST_F(TimeSeries, LookupFailuresStopTheRun) {
  time_series& empty = new_time_series();
  empty.name = "Dry";
  struct failure {
    std::function<double()> lookup;
    std::string message;
  };
  const failure cases[] = {
      {[] { return time_series_value(1.0, nullptr); },
       "Error: attempting to extract a value from a time series that does not exist.\n"},
      {[&] { return time_series_value(1.0, &empty); },
       "Error: attempting to extract a value from a time series [Dry] with no entries.\n"},
      {[] { return time_series_value_by_index(12, 1.0); },
       "Error: attempting to extract a value from an unknown time series in the time series table.    Check "
       "the "
       "mapping table file (.cmt). The specified time series index is 12, but the \nindex is not found in "
       "the time "
       "series index table.\n"},
  };
  for (const auto& c : cases) {
    error_rec = error_record{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(c.lookup(), 0.0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find(c.message), std::string::npos) << c.message;
    EXPECT_EQ(error_rec.stop, 1) << c.message;
  }
}

TEST_F(TimeSeries, MissingFileIsReportedAndReadingGoesOn) {
  EXPECT_EQ(read_printing(read_time_series_file, "no_such_series.txt"),
            "Error getting new filename from no_such_series.txt\n"
            "Error: Time series file not found [no_such_series.txt]\n");
  EXPECT_TRUE(time_series_list.empty());
  EXPECT_EQ(error_rec.stop, 0);
}

TEST_F(TimeSeries, MappingTableIdsReachTheirSeries) {
  read_printing(read_time_series_file, data_file("ts_two_blocks.txt"));
  time_series_index.push_back({7, find_time_series("Inflow_A")});
  EXPECT_DOUBLE_EQ(time_series_value_by_index(7, 15.0), 6.0);
  free_time_series_list();
  EXPECT_TRUE(time_series_index.empty());  // never left pointing at freed series
}

// Lookups keep no cursor: going back in time needs no second pass, and many
// threads reading one series give the serial values.
TEST_F(TimeSeries, LookupsMayGoBackInTimeAndRunInParallel) {
  time_series& s = new_time_series();
  for (int i = 0; i <= 1000; ++i) {
    s.times.push_back(i);
    s.values.push_back(double(i) * i);
  }
  EXPECT_DOUBLE_EQ(time_series_value(18.0, &s), 324.0);
  EXPECT_DOUBLE_EQ(time_series_value(12.5, &s), 0.5 * (144.0 + 169.0));

  const int n = 20000;
  std::vector<double> serial(n), parallel(n);
  for (int i = 0; i < n; ++i) serial[i] = time_series_value(std::fmod(i * 7.31, 1010.0) - 5.0, &s);
  omp_set_num_threads(4);
#pragma omp parallel for schedule(static)
  for (int i = 0; i < n; ++i) parallel[i] = time_series_value(std::fmod(i * 7.31, 1010.0) - 5.0, &s);
  EXPECT_EQ(serial, parallel);
}

// A caller that keeps a cursor gets exactly the values of the search, with
// times running forward, jumping back, repeating, and on repeated rows.
TEST_F(TimeSeries, CursorLookupsGiveTheValuesOfTheSearch) {
  time_series& s = new_time_series();
  for (int i = 0; i <= 300; ++i) {
    s.times.push_back(i / 3);  // every time three times
    s.values.push_back(std::sin(0.1 * i));
  }
  std::vector<double> ts;
  for (double t = -2.0; t < 105.0; t += 0.37) ts.push_back(t);
  for (double t : {50.0, 50.0, 3.0, 99.9, 100.0, 0.0, 33.0, 32.99}) ts.push_back(t);
  std::size_t cursor = 0;
  for (double t : ts) EXPECT_EQ(time_series_at(s, t, cursor), time_series_at(s, t)) << "t = " << t;
  time_series_at(s, 40.5, cursor);
  EXPECT_EQ(cursor, 122u);  // the last row of time 40 starts the interval
  std::size_t stale = 1000;  // a cursor beyond the table searches afresh
  EXPECT_EQ(time_series_at(s, 7.25, stale), time_series_at(s, 7.25));
}

TEST_F(TimeSeries, ReadsMultiColumnTables) {
  kavro_test::scratch_dir dir;
  kavro_test::write_file(dir / "table.txt",
                         "2001 6 15 0 0 1 2 3\n2001 6 15 xx 0 4 5 6\n2001 6 16 0 0 7 8 9\nEND_TS\n");
  file_wrapper f;
  ASSERT_TRUE(f.open((dir / "table.txt").string(), "r"));
  testing::internal::CaptureStdout();
  time_series* first = read_time_series_table(f, 3, "XY");
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(time_series_list.size(), 3u);
  EXPECT_EQ(time_series_list[0]->name, "XY_0000");
  EXPECT_EQ(time_series_list[2]->name, "XY_0002");
  EXPECT_EQ(time_series_list[2]->count(), 2);
  EXPECT_EQ(time_series_list[2]->values[1], 9.0);
  EXPECT_DOUBLE_EQ(time_series_list[1]->times[1], julian_date(2001, 6, 16, 0, 0, 0.0));
  EXPECT_NE(out.find("Warning: line 2 of file"), std::string::npos) << out;
  std::string line;
  ASSERT_EQ(read_line(line, f), 1);
  EXPECT_EQ(line, "END_TS");  // left for the caller
  EXPECT_EQ(read_time_series_table(f, 0, "none"), nullptr);
}

TEST_F(ElevSeries, InterpolatesAndSteps) {
  const std::string path = data_file("es_curve.txt");
  EXPECT_EQ(read_printing(read_elev_series_file, path), "2 elevation series read from file " + path + "\n");
  const elev_series* pump = find_elev_series("Pump A");  // a quoted name keeps its blank
  ASSERT_NE(pump, nullptr);
  struct lookup {
    double x, interp, step;
  };
  const lookup cases[] = {{9, 0, 0}, {10.5, 1, 0}, {11, 2, 0}, {12, 6, 2}, {13, 10, 10}, {20, 10, 10}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(elev_series_interp(c.x, pump), c.interp) << "x = " << c.x;
    EXPECT_DOUBLE_EQ(elev_series_step(c.x, pump), c.step) << "x = " << c.x;
  }
  const elev_series* weir = find_elev_series("Weir");  // two words: the first is the name
  ASSERT_NE(weir, nullptr);
  EXPECT_EQ(weir->name, "Weir");
  for (double x : {-1.0, 1.0, 50.0}) EXPECT_EQ(elev_series_interp(x, weir), 5.0);
}

TEST_F(ElevSeries, RepeatedXGivesTheLaterValueAndDisorderStopsTheRun) {
  kavro_test::scratch_dir dir;
  kavro_test::write_file(
      dir / "es.txt",
      "KAVRO_ES\nDup\n1 0\n2 5\n2 7\nnot a pair\n3 9\nEND_ES\nKAVRO_ES\nBack\n1 0\n0 1\nEND_ES\n");
  const std::string out = read_printing(read_elev_series_file, (dir / "es.txt").string());
  const elev_series* dup = find_elev_series("Dup");
  ASSERT_NE(dup, nullptr);
  EXPECT_DOUBLE_EQ(elev_series_interp(2.0, dup), 7.0);
  EXPECT_DOUBLE_EQ(elev_series_interp(1.5, dup), 2.5);
  EXPECT_DOUBLE_EQ(elev_series_interp(2.5, dup), 8.0);
  EXPECT_DOUBLE_EQ(elev_series_step(2.0, dup), 0.0);
  EXPECT_NE(out.find("Warning: line 6 of file"), std::string::npos) << out;
  EXPECT_NE(out.find("Error: the elevation series [Back] in file"), std::string::npos) << out;
  EXPECT_EQ(error_rec.stop, 1);
}

TEST_F(ElevSeries, MissingFileAndFailedLookups) {
  EXPECT_EQ(read_printing(read_elev_series_file, "no_curve.txt"),
            "Error getting new filename from no_curve.txt\n"
            "Error: Elevation series file not found [no_curve.txt]\n");
  EXPECT_EQ(error_rec.stop, 0);
  new_elev_series().name = "Empty";
  testing::internal::CaptureStdout();
  EXPECT_EQ(elev_series_interp(1.0, nullptr), 0.0);
  EXPECT_EQ(elev_series_step(1.0, find_elev_series("Empty")), 0.0);
  EXPECT_EQ(find_elev_series(""), nullptr);
  const std::string out = testing::internal::GetCapturedStdout();
  for (const char* message :
       {"Error: attempting to extract a value from an elevation series that does not exist.\n",
        "Error: attempting to extract a value from an elevation series [Empty] with no entries.\n",
        "Error: an empty name binds no elevation series.\n"})
    EXPECT_NE(out.find(message), std::string::npos) << message;
  EXPECT_EQ(error_rec.stop, 1);
}

}  // namespace
}  // namespace kavro
