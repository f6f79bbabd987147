// Gridded hourly weather: an index file with one name stem per hour, whose
// last ten characters are the date yyyymmddhh; the stem with one of eight
// suffixes names an ESRI ASCII grid of one quantity for that hour. Each
// model cell takes the value of the weather cell its centre lies in.
//
// A grid file is sized by its own header: fewer or more values than its
// columns x rows, or a value that is not a number, refuse the run before it
// starts. Values equal to a grid's no-data value are not weather: each cell
// without a value takes the mean of the cells that have one (a repair), and
// that mean is the single value of the hour.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/parallel_sum.h"
#include "hydromet/hmet_reader_parts.h"
#include "hydromet/hmet_readers.h"

namespace kavro {

namespace {

// The eight grids of an hour, in reading order.
enum grid_kind : int { g_cloud, g_precip, g_pressure, g_humidity, g_temperature, g_direct, g_global, g_wind, g_count };
constexpr const char* grid_suffix[g_count] = {"_Clod.asc", "_Prcp.asc", "_Pres.asc", "_RlHm.asc",
                                              "_Temp.asc", "_Drad.asc", "_Grad.asc", "_WndS.asc"};
constexpr const char* missing_name[g_count] = {"Cloud", "Precip", "Pressure", "Relative Humidity",
                                               "Temperature", "Direct Radiation", "Global Radiation", "Wind Speed"};
constexpr const char* filling_name[g_count] = {"Cloud", "Precipitation", "Pressure", "Relative Humidity",
                                               "Temperature", "Direct Radiation", "Global Radiation", "Wind Speed"};
// Grids an hour may lack: precipitation is not used, wind has a default.
bool may_be_missing(int k) { return k == g_precip || k == g_wind; }
constexpr double default_wind = 3.0;  // m/s

// The date at the end of an index word.
struct index_entry {
  std::string stem;
  int year = 0, month = 0, day = 0, hour = 0;
};

bool parse_index_word(std::string_view line, index_entry& e, std::string& why) {
  const auto words = weather_words(line);
  if (words.size() != 1) {
    why = words.empty() ? "the line is empty" : "the line holds more than one word";
    return false;
  }
  const std::string_view w = words[0];
  if (w.size() < 10) {
    why = quoted_field(w) + " does not end in a date yyyymmddhh";
    return false;
  }
  const std::string_view date = w.substr(w.size() - 10);
  long v = 0;
  if (!std::all_of(date.begin(), date.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
      !weather_int(date, v)) {
    why = quoted_field(date) + " at the end of " + quoted_field(w) + " is not a date yyyymmddhh";
    return false;
  }
  e.stem = std::string(w);
  e.year = static_cast<int>(v / 1000000);
  e.month = static_cast<int>((v % 1000000) / 10000);
  e.day = static_cast<int>((v % 10000) / 100);
  e.hour = static_cast<int>(v % 100);
  if (e.year < 1) why = "year " + std::to_string(e.year) + " is not a year";
  else if (e.month < 1 || e.month > 12) why = "month " + std::to_string(e.month) + " is not between 1 and 12";
  else if (e.day < 1 || e.day > days_in_month(e.year, e.month))
    why = "day " + std::to_string(e.day) + " is not a day of that month";
  else if (e.hour > 24) why = "hour " + std::to_string(e.hour) + " is not between 0 and 24";
  else return true;
  why += " (in \"" + std::string(w) + "\")";
  return false;
}

void report_bad_index_line(const main_state& ms, long line_no, const std::string& why) {
  std::printf("Error: Problem encountered in hmet_ASCII file, line %ld \n\n", line_no);
  std::printf("Make sure your file is in the correct format, including making sure\n"
              "the dates are in integers and in the following format:\n");
  std::printf(" Format:\nyyyymmddhh\n2008050100int\n\n");
  std::printf("In the weather index file %s, line %ld: %s.\n", ms.fs_hmet_surfaways.name.c_str(), line_no,
              why.c_str());
}

// Outcome of reading one grid file.
enum class grid_read { ok, missing, bad };

const char* skip_space(const char* p, const char* end) {
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == ',')) ++p;
  return p;
}
const char* token_end(const char* p, const char* end) {
  while (p < end && !(*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == ',')) ++p;
  return p;
}

// Reads grid file `path` into `g` (its text through `text`); `problem` says
// what is wrong with a bad file.
grid_read read_grid_file(const std::string& path, hmet_grid& g, std::string& text, std::string& problem) {
  g.present = false;
  // An hour may lack some grids: look before opening, so that a missing one
  // is not reported as a failed open.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(expected_file_name(path, "r"), ec)) return grid_read::missing;
  file_wrapper f;
  if (!f.open(path, "r")) return grid_read::missing;
  text.clear();
  char buffer[1 << 16];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, f.fp)) > 0;) text.append(buffer, got);
  f.close();
  const char* p = text.data();
  const char* end = p + text.size();
  // Six header lines: a word and a number each.
  double header[6] = {};
  static constexpr const char* header_name[6] = {"columns", "rows", "x of the lower-left corner",
                                                 "y of the lower-left corner", "cell size", "no-data value"};
  for (int k = 0; k < 6; ++k) {
    p = token_end(skip_space(p, end), end);  // the keyword, not compared
    const char* q = skip_space(p, end);
    p = token_end(q, end);
    if (!weather_real(std::string_view(q, static_cast<std::size_t>(p - q)), header[k])) {
      problem = "header line " + std::to_string(k + 1) + " does not give the " + header_name[k] + " (\"" +
                std::string(q, static_cast<std::size_t>(p - q)) + "\")";
      return grid_read::bad;
    }
  }
  const double cols = header[0], rows = header[1];
  if (cols < 1 || rows < 1 || cols != std::floor(cols) || rows != std::floor(rows) || cols * rows > 1e9) {
    problem = "the header gives " + std::to_string(cols) + " columns and " + std::to_string(rows) + " rows";
    return grid_read::bad;
  }
  if (!(header[4] > 0.0)) {
    problem = "the header gives a cell size of " + std::to_string(header[4]);
    return grid_read::bad;
  }
  g.cols = static_cast<long>(cols);
  g.rows = static_cast<long>(rows);
  g.xll = header[2];
  g.yll = header[3];
  g.cellsize = header[4];
  g.nodata = header[5];
  const long expected = g.cols * g.rows;
  g.values.resize(static_cast<std::size_t>(expected));
  long n = 0;
  for (p = skip_space(p, end); p < end; p = skip_space(p, end)) {
    const char* q = token_end(p, end);
    double v = 0.0;
    if (!weather_real(std::string_view(p, static_cast<std::size_t>(q - p)), v)) {
      problem = "value " + std::to_string(n + 1) + " (row " + std::to_string(n / g.cols + 1) + ", column " +
                std::to_string(n % g.cols + 1) + ") \"" + std::string(p, static_cast<std::size_t>(q - p)) +
                "\" is not a number";
      return grid_read::bad;
    }
    if (n < expected) g.values[static_cast<std::size_t>(n)] = v;
    ++n;
    p = q;
  }
  if (n != expected) {
    problem = "its header asks for " + std::to_string(expected) + " values (" + std::to_string(g.cols) +
              " columns x " + std::to_string(g.rows) + " rows) but it holds " + std::to_string(n);
    return grid_read::bad;
  }
  g.present = true;
  return grid_read::ok;
}

void report_bad_grid(const std::string& path, long index_line, const std::string& problem) {
  std::printf("Error: the weather grid %s (line %ld of the weather index) cannot be used: %s.\n", path.c_str(),
              index_line, problem.c_str());
}

// A grid of this hour that must be there and is not.
void report_missing_grid(const std::string& path, long index_line, int k) {
  std::printf("ERROR!!! CANNOT OPEN %s FILE\n", missing_name[k]);
  std::printf("Error: the weather grid %s named by line %ld of the weather index cannot be opened.\n",
              path.c_str(), index_line);
}

// Index into a grid's values of the weather cell under model cell (row k,
// column l); far_x, far_y: that weather cell lies far from the model cell.
long weather_cell_index(const main_state& ms, const hmet_grid& g, int k, int l, bool& far_x, bool& far_y) {
  const double x = (l - 1) * ms.dx + ms.dx / 2 + ms.map_west;
  const double y = ms.map_north - ms.dx / 2 - (k - 1) * ms.dx;
  const double cf = (x - g.xll) / g.cellsize;
  const double rf = (g.rows * g.cellsize + g.yll - y) / g.cellsize;
  long c = cf < 0 ? 0 : cf >= static_cast<double>(g.cols) ? g.cols - 1 : static_cast<long>(cf);
  long r = rf < 0 ? 0 : rf >= static_cast<double>(g.rows) ? g.rows - 1 : static_cast<long>(rf);
  c = std::clamp(c, 0L, g.cols - 1);
  r = std::clamp(r, 0L, g.rows - 1);
  // The check of the choice: the weather cell must lie near the model cell.
  far_x = std::fabs(x - (g.xll + c * g.cellsize)) > 1.3 * g.cellsize;
  far_y = std::fabs(y - (g.yll + (g.rows - 1 - r) * g.cellsize)) > 1.3 * g.cellsize;
  return c + g.cols * r;
}

}  // namespace

int scan_gridded(main_state& ms) {
  rewind_weather_file(ms);
  std::string line, why, problem;
  index_entry e;
  hmet_reader_state& st = ms.hmet_reader;
  int n = 0;
  while (next_weather_line(ms, line)) {
    const long line_no = st.line_no;
    if (!parse_index_word(line, e, why)) {
      report_bad_index_line(ms, line_no, why);
      return weather_refused();
    }
    for (int k = 0; k < g_count; ++k) {
      const std::string path = e.stem + grid_suffix[k];
      const grid_read r = read_grid_file(path, st.grids[static_cast<std::size_t>(k)], st.grid_text, problem);
      if (r == grid_read::bad) {
        report_bad_grid(path, line_no, problem);
        return weather_refused();
      }
      if (r == grid_read::missing && !may_be_missing(k)) {
        report_missing_grid(path, line_no, k);
        return weather_refused();
      }
    }
    if (n == 0) ms.hmet_begin_year = e.year, ms.hmet_begin_month = e.month, ms.hmet_begin_day = e.day,
                ms.hmet_begin_hour = e.hour;
    ms.hmet_end_year = e.year, ms.hmet_end_month = e.month, ms.hmet_end_day = e.day, ms.hmet_end_hour = e.hour;
    ++n;
  }
  if (n == 0) {
    std::printf("Error: the weather index %s names no hour.\n", ms.fs_hmet_surfaways.name.c_str());
    return weather_refused();
  }
  ms.hmet_n_records = n;
  if (weather_console_on(ms)) std::printf("End of hmet_ASCII file encountered after %d lines\n", n);
  rewind_weather_file(ms);
  st.records_delivered = 0;
  return hmet_scan_done;
}

int read_gridded_hour(main_state& ms) {
  hmet_reader_state& st = ms.hmet_reader;
  std::string line, why, problem;
  if (!next_weather_line(ms, line)) return hmet_end_of_data;
  const long line_no = st.line_no;
  index_entry e;
  if (!parse_index_word(line, e, why)) {
    report_bad_index_line(ms, line_no, why);
    return weather_refused();
  }
  const bool first_hour = !st.first_hour_reported;
  st.first_hour_reported = true;
  for (int k = 0; k < g_count; ++k) {
    const std::string path = e.stem + grid_suffix[k];
    hmet_grid& g = st.grids[static_cast<std::size_t>(k)];
    const grid_read r = read_grid_file(path, g, st.grid_text, problem);
    if (r == grid_read::bad) {
      report_bad_grid(path, line_no, problem);
      return weather_refused();
    }
    if (r == grid_read::missing) {
      if (!may_be_missing(k)) {
        report_missing_grid(path, line_no, k);
        return weather_refused();
      }
      if (first_hour) {
        std::printf("ERROR!!! CANNOT OPEN %s FILE\n", missing_name[k]);
        if (k == g_wind) std::printf("NO WIND VALUE READ, using %lf \n", default_wind);
      }
    } else if (first_hour) {
      std::printf("Filling %s Array\n", filling_name[k]);
    }
  }

  // Per cell: the weather cell of each grid, its value converted when it is
  // one, or NaN for a cell without a value.
  struct quantity {
    dvec* cells;
    int grid;
  };
  const quantity quantities[] = {{&ms.cloud_cover_gridded, g_cloud}, {&ms.pres_gridded, g_pressure},
                                 {&ms.rh_gridded, g_humidity},      {&ms.temper_gridded, g_temperature},
                                 {&ms.direct_gridded, g_direct},    {&ms.diffuse_gridded, g_global},
                                 {&ms.vel_gridded, g_wind}};
  const long n = ms.n_cells;
  const int* row_of = ms.cell_row.data();
  const int* col_of = ms.cell_col.data();
  const double nan = std::nan("");
  long far_x_cell = 0, far_y_cell = 0;
  for (const quantity& q : quantities) {
    const hmet_grid& g = st.grids[static_cast<std::size_t>(q.grid)];
    const hmet_grid& direct = st.grids[g_direct];
    double* out = q.cells->data();
    if (!g.present) {  // only the wind may be missing here
      for (long j = 1; j <= n; ++j) out[j] = default_wind;
      continue;
    }
    for (long j = 1; j <= n; ++j) {
      bool far_x = false, far_y = false;
      const long at = weather_cell_index(ms, g, row_of[j], col_of[j], far_x, far_y);
      if (far_x && far_x_cell == 0) far_x_cell = j;
      if (far_y && far_y_cell == 0) far_y_cell = j;
      const double raw = g.values[static_cast<std::size_t>(at)];
      double v = raw == g.nodata ? nan : raw;
      switch (q.grid) {
        case g_cloud: v /= 10.0; break;
        case g_temperature: v = (v - 32.0) * 0.5555555555555556; break;
        case g_pressure: v = v * 1013.25 / 29.92; break;
        case g_global: {
          // Diffuse radiation: global minus direct, where both are known.
          bool unused_x = false, unused_y = false;
          const long d_at = weather_cell_index(ms, direct, row_of[j], col_of[j], unused_x, unused_y);
          const double d = direct.values[static_cast<std::size_t>(d_at)];
          v = d == direct.nodata ? nan : v - d;
          break;
        }
        default: break;
      }
      out[j] = v;
    }
  }
  // Reported once an hour: a model cell the weather grids do not cover.
  if (far_x_cell != 0) {
    std::printf("\nERROR!! in the conversion of X coordinates in the ASCII HMET");
    std::printf(" (the weather grids of %s do not cover model cell %ld)\n", e.stem.c_str(), far_x_cell);
  }
  if (far_y_cell != 0) {
    std::printf("\nERROR!! in the conversion of Y coordinates in the ASCII HMET");
    std::printf(" (the weather grids of %s do not cover model cell %ld)\n", e.stem.c_str(), far_y_cell);
  }

  // The hour's single values: means over the cells with a value; cells
  // without one take it.
  hmet_hour_record& rec = ms.hmet_record;
  double* single[] = {&rec.hmet_cloud_cover, &rec.hmet_pressure,   &rec.hmet_rel_humidity, &rec.hmet_air_temp,
                      &rec.hmet_direct_rad,  &rec.hmet_diffuse_rad, &rec.hmet_wind_speed};
  auto& partial = ms.weather_buffers.sum_partial;
  for (std::size_t k = 0; k < std::size(quantities); ++k) {
    double* v = quantities[k].cells->data();
    const double count = fixed_chunk_sum(1, n, [&](long j) { return std::isnan(v[j]) ? 0.0 : 1.0; }, partial);
    const double sum = fixed_chunk_sum(1, n, [&](long j) { return std::isnan(v[j]) ? 0.0 : v[j]; }, partial);
    // No cell with a value: the hour keeps the last hour's value.
    if (count > 0) *single[k] = sum / count;
    const double fill = *single[k];
    const long repaired = n - static_cast<long>(count);
    if (repaired > 0) {
      ms.n_hmet_repaired += static_cast<int>(repaired);
      for (long j = 1; j <= n; ++j)
        if (std::isnan(v[j])) v[j] = fill;
    }
  }
  rec.year = e.year, rec.month = e.month, rec.day = e.day, rec.hour = e.hour;
  roll_over_hour_24(rec.year, rec.month, rec.day, rec.hour);
  ++st.records_delivered;
  return hmet_grid_record;
}

}  // namespace kavro
