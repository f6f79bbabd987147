#include "overland/radar_rain.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/number_text.h"
#include "framework/readers.h"
#include "framework/run_warnings.h"

namespace kavro {

namespace {

constexpr double mm_per_inch = 25.4;

// Next number of a line from `pos` (separators blank, tab, comma). False
// when no token is left or the token is not one finite number.
bool next_number(const std::string& line, size_t& pos, double& v, bool& none_left) {
  pos = line.find_first_not_of(" \t,\r", pos);
  none_left = pos == std::string::npos;
  if (none_left) return false;
  size_t end = line.find_first_of(" \t,\r", pos);
  if (end == std::string::npos) end = line.size();
  const std::string_view token(line.data() + pos, end - pos);
  pos = end;
  return read_real(token, v) == number_fault::none;
}

struct radar_header {
  int cols = 0, rows = 0;
  double xll = 0, yll = 0, cellsize = 0, nodata = 0;
};

// Most rows or columns, and most cells, of a radar grid: every cell index
// fits an int.
constexpr int max_radar_side = 1000000;
constexpr long long max_radar_cells = 100000000;

// The largest rate a radar cell may hold (mm/h or in/h): no rain comes near.
constexpr double max_radar_rate = 1e6;

// Six lines, each a keyword (not compared) and a value: ncols and nrows
// (whole numbers from 1), the lower-left corner, the cell size (above 0)
// and the no-data value. A refusal names the file, the line and the text.
bool read_header(file_wrapper& f, const std::string& file, radar_header& h) {
  constexpr const char* names[6] = {"ncols", "nrows", "xllcorner", "yllcorner", "cellsize", "NODATA_value"};
  double* reals[6] = {nullptr, nullptr, &h.xll, &h.yll, &h.cellsize, &h.nodata};
  std::string line, word, token;
  for (int k = 0; k < 6; ++k) {
    auto refuse = [&](const std::string& why) {
      std::printf("Error: radar grid %s, line %d (%s): %s.\n", file.c_str(), k + 1, names[k], why.c_str());
      return false;
    };
    if (!read_line(line, f)) return refuse("the file ends inside the header");
    if (!pop_token(line, word)) return refuse("the line is empty");
    number_fault fault = number_fault::none;
    if (k < 2) {
      int& n = k == 0 ? h.cols : h.rows;
      fault = pop_whole(line, n, token, 1, max_radar_side);
      if (fault != number_fault::none) return refuse(number_fault_text(fault, token, 1, max_radar_side));
    } else {
      fault = pop_real(line, *reals[k], token);
      if (fault != number_fault::none) return refuse(number_fault_text(fault, token));
    }
  }
  if (static_cast<long long>(h.rows) * h.cols > max_radar_cells) {
    std::printf("Error: radar grid %s: %d rows and %d columns are more than the %lld cells a radar grid may have.\n",
                file.c_str(), h.rows, h.cols, max_radar_cells);
    return false;
  }
  if (!(h.cellsize > 0.0)) {
    std::printf("Error: radar grid %s, line 5 (cellsize): the cell size %g is not above 0.\n", file.c_str(),
                h.cellsize);
    return false;
  }
  // The grid's far edges must be numbers too.
  if (!std::isfinite(h.yll + h.rows * h.cellsize) || !std::isfinite(h.xll + h.cols * h.cellsize)) {
    std::printf("Error: radar grid %s: %d rows and %d columns of %g from (%g, %g) reach beyond any coordinate.\n",
                file.c_str(), h.rows, h.cols, h.cellsize, h.xll, h.yll);
    return false;
  }
  return true;
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
  if (!f.open(file, "r") || !read_header(f, file, h)) return -1;
  rg.xllcorner = h.xll;
  rg.yllcorner = h.yll;
  rg.cellsize = h.cellsize;
  rg.nodata_value = h.nodata;
  rg.radar_west = h.xll;
  rg.radar_north = h.yll + static_cast<double>(h.rows) * h.cellsize;
  if (h.cols != rg.radar_cols || h.rows != rg.radar_rows || rg.precip_data.empty()) {
    rg.radar_cols = h.cols;
    rg.radar_rows = h.rows;
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
      // Row and column of the radar cell, judged as numbers before they become
      // indexes. A cell within one radar cell beyond the north or west edge
      // takes the edge's rain; one farther out lies off the grid.
      const double fi = y > rg.radar_north ? 0.0 : std::floor((rg.radar_north - y) / rg.cellsize);
      const double fj = x < rg.radar_west ? 0.0 : std::floor((x - rg.radar_west) / rg.cellsize);
      const bool beyond_edge = y > rg.radar_north + rg.cellsize || x < rg.radar_west - rg.cellsize;
      if (beyond_edge || !(fi <= rg.radar_rows - 1) || !(fj <= rg.radar_cols - 1) ||
          cell > rg.kavro_to_precip.size()) {
        std::printf("Error!! p_I=%.0f, p_J=%.0f\n", fi, fj);
        std::printf("Error: cell %ld of the watershed (row %d, column %d) lies beyond the radar grid %s.\n", cell, r,
                    c, file.c_str());
        error_rec.code = 102;
        error_rec.stop = 1;
        return;
      }
      rg.kavro_to_precip[cell] = static_cast<int>(fi * rg.radar_cols + fj);
    }
  }
}

int read_radar_grid(const std::string& file, radar_grid& rg, int units_mm) {
  file_wrapper f;
  radar_header h;
  if (!f.open(file, "r") || !read_header(f, file, h)) return read_failed(file);
  if (h.cols != rg.radar_cols || h.rows != rg.radar_rows ||
      rg.precip_data.size() != static_cast<size_t>(h.cols) * static_cast<size_t>(h.rows))
    return read_failed(file);
  std::string line;
  size_t pos = 0;
  bool have_line = false;
  int line_no = 6;  // the header's
  double peak = 0.0;
  for (long r = 0; r < h.rows; ++r) {
    for (long c = 0; c < h.cols; ++c) {
      double v = 0.0;
      for (;;) {
        bool none = true;
        const size_t at = pos;
        if (have_line && next_number(line, pos, v, none)) break;
        if (have_line && !none) {
          const size_t from = line.find_first_not_of(" \t,\r", at);
          std::printf("Error: radar grid %s, line %d, row %ld, column %ld: %s.\n", file.c_str(), line_no, r + 1,
                      c + 1,
                      number_fault_text(number_fault::not_a_number, std::string_view(line).substr(from, pos - from))
                          .c_str());
          return read_failed(file);
        }
        if (!read_line(line, f)) {
          std::printf("Error: radar grid %s ends before row %ld, column %ld of its %d rows and %d columns.\n",
                      file.c_str(), r + 1, c + 1, h.rows, h.cols);
          return read_failed(file);
        }
        ++line_no;
        have_line = true;
        pos = 0;
      }
      if (std::fabs(v) > max_radar_rate) {
        std::printf("Error: radar grid %s, line %d, row %ld, column %ld: the rate %g is beyond any rain.\n",
                    file.c_str(), line_no, r + 1, c + 1, v);
        return read_failed(file);
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
