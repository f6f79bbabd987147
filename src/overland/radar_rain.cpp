#include "overland/radar_rain.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <cstdio>
#include <cstdlib>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"

namespace kavro {

namespace {

constexpr double mm_per_inch = 25.4;

// Next number of a line from `pos` (separators blank, tab, comma). False
// when no token is left or the token is not a finite number.
bool next_number(const std::string& line, size_t& pos, double& v, bool& none_left) {
  pos = line.find_first_not_of(" \t,\r", pos);
  none_left = pos == std::string::npos;
  if (none_left) return false;
  const char* start = line.c_str() + pos;
  char* end = nullptr;
  v = std::strtod(start, &end);
  const size_t len = static_cast<size_t>(end - start);
  if (len == 0) return false;
  pos += len;
  if (pos < line.size() && line.find_first_of(" \t,\r", pos) != pos) return false;
  return std::isfinite(v);
}

struct radar_header {
  long cols = 0, rows = 0;
  double xll = 0, yll = 0, cellsize = 0, nodata = 0;
};

// Six lines, each a keyword (not compared) and a value.
bool read_header(file_wrapper& f, radar_header& h) {
  double v[6] = {0, 0, 0, 0, 0, 0};
  std::string line, word;
  for (double& x : v) {
    if (!read_line(line, f)) return false;
    if (!pop_token(line, word)) return false;
    size_t pos = 0;
    bool none = false;
    if (!next_number(line, pos, x, none)) return false;
  }
  h.cols = static_cast<long>(v[0]);
  h.rows = static_cast<long>(v[1]);
  h.xll = v[2];
  h.yll = v[3];
  h.cellsize = v[4];
  h.nodata = v[5];
  return v[0] == static_cast<double>(h.cols) && v[1] == static_cast<double>(h.rows) && h.cols >= 1 && h.rows >= 1 &&
         h.cols <= 1000000 && h.rows <= 1000000 && h.cellsize > 0.0;
}

int read_failed(const std::string& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(expected_file_name(file, "r"), ec))
    std::printf("Error: a RADAR line of the precipitation file names the radar grid %s, which is not in %s.\n",
                file.c_str(), folders_searched(file).c_str());
  std::printf("Error in reading radar precip file %s\n", file.c_str());
  return -1;
}

}  // namespace

int read_radar_header(radar_grid& rg, const std::string& file) {
  file_wrapper f;
  radar_header h;
  if (!f.open(file, "r") || !read_header(f, h)) return -1;
  rg.xllcorner = h.xll;
  rg.yllcorner = h.yll;
  rg.cellsize = h.cellsize;
  rg.nodata_value = h.nodata;
  rg.radar_west = h.xll;
  rg.radar_north = h.yll + static_cast<double>(h.rows) * h.cellsize;
  if (h.cols != rg.radar_cols || h.rows != rg.radar_rows || rg.precip_data.empty()) {
    rg.radar_cols = static_cast<int>(h.cols);
    rg.radar_rows = static_cast<int>(h.rows);
    rg.precip_data.assign(static_cast<size_t>(h.cols) * static_cast<size_t>(h.rows), 0.0);
  }
  return 0;
}

void map_cells_to_radar(const std::string& file, radar_grid& rg, const imat& mask) {
  if (read_radar_header(rg, file) != 0) {
    std::printf("Error: unable to read radar header in file %s\n", file.c_str());
    error_rec.code = already_printed_code;
    return;
  }
  if (rg.kavro_to_precip.size() < rg.radar_n_cells) rg.kavro_to_precip.allocate(rg.radar_n_cells);
  long cell = 0;
  for (int r = 1; r <= rg.model_rows; ++r) {
    for (int c = 1; c <= rg.model_cols; ++c) {
      if (mask[r][c] == 0) continue;
      ++cell;
      const double y = rg.model_north - rg.radar_dx / 2.0 - (r - 1) * rg.radar_dx;
      const double x = rg.model_west + rg.radar_dx / 2.0 + (c - 1) * rg.radar_dx;
      const long pi = y > rg.radar_north ? 0 : static_cast<long>(std::floor((rg.radar_north - y) / rg.cellsize));
      const long pj = x < rg.radar_west ? 0 : static_cast<long>(std::floor((x - rg.radar_west) / rg.cellsize));
      if (pi > rg.radar_rows - 1 || pj > rg.radar_cols - 1 || cell > rg.kavro_to_precip.size()) {
        std::printf("Error!! p_I=%ld, p_J=%ld\n", pi, pj);
        error_rec.code = 102;
        error_rec.stop = 1;
        return;
      }
      rg.kavro_to_precip[cell] = static_cast<int>(pi * rg.radar_cols + pj);
    }
  }
}

int read_radar_grid(const std::string& file, radar_grid& rg, int units_mm) {
  file_wrapper f;
  radar_header h;
  if (!f.open(file, "r") || !read_header(f, h)) return read_failed(file);
  if (h.cols != rg.radar_cols || h.rows != rg.radar_rows ||
      rg.precip_data.size() != static_cast<size_t>(h.cols) * static_cast<size_t>(h.rows))
    return read_failed(file);
  std::string line;
  size_t pos = 0;
  bool have_line = false;
  double peak = 0.0;
  for (long r = 0; r < h.rows; ++r) {
    for (long c = 0; c < h.cols; ++c) {
      double v = 0.0;
      for (;;) {
        bool none = true;
        if (have_line && next_number(line, pos, v, none)) break;
        if (have_line && !none) return read_failed(file);
        if (!read_line(line, f)) return read_failed(file);
        have_line = true;
        pos = 0;
      }
      if (std::fabs(v - h.nodata) < 0.01 || v <= 0.0) {
        v = 0.0;
      } else if (!units_mm) {
        v *= mm_per_inch;
      }
      if (v > 100.0)
        warn(format_string(
            "Warning: suspiciously high value of precipitation: (%lf) in cell (%ld,%ld) from radar rainfall.\n", v, r,
            c));
      rg.precip_data[static_cast<size_t>(r * h.cols + c)] = v;
      peak = std::max(peak, v);
    }
  }
  std::printf("Peak rainfall rate read: %lf mm/hr\n", peak);
  return 0;
}

bool apply_radar_grid(radar_grid& rg) {
  const long total = static_cast<long>(rg.precip_data.size());
  double peak = 0.0;
  dvec& rain = *rg.radar_rain_dest;
  for (long i = 1; i <= rg.radar_n_cells; ++i) {
    const long k = rg.kavro_to_precip[i];
    if (k < 0 || k >= total) {
      std::printf("Error: cellnum=%ld, totcells=%ld\n", k, total);
      return false;
    }
    rain[i] = std::max(0.0, rg.precip_data[static_cast<size_t>(k)]);
    peak = std::max(peak, rain[i]);
  }
  std::printf("Peak rainfall applied to watershed: %lf mm/hr\n", peak);
  return true;
}

}  // namespace kavro
