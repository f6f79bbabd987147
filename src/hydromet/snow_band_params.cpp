// The parameters of the temperature-index snow model per cell: from their
// cards, or by elevation band from the file of card NWSRFS_ELEV_SNOW, a card
// value winning over the band's.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/alloc.h"
#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/readers.h"
#include "hydromet/hmet_readers.h"
#include "hydromet/hydromet_steps.h"

namespace kavro {

namespace {

// A per-cell parameter: its array, its card value and whether the card was given.
struct snow_parameter {
  dvec main_state::*cells;
  double project_params_record::*card_value;
  int project_params_record::*card_given;
  double default_value;
};
// In the order of the band file's columns after the two elevations.
constexpr snow_parameter band_parameters[] = {
    {&main_state::snow_mf_min, &project_params_record::nwsrfs_mf_min, &project_params_record::use_nwsrfs_mf_min, 0.0},
    {&main_state::snow_mf_max, &project_params_record::nwsrfs_mf_max, &project_params_record::use_nwsrfs_mf_max, 1.2},
    {&main_state::snow_scf, &project_params_record::nwsrfs_scf, &project_params_record::use_nwsrfs_scf, 1.0},
    {&main_state::snow_fr_use, &project_params_record::nwsrfs_fr_use, &project_params_record::use_nwsrfs_fr_use, 0.0},
    {&main_state::snow_tipm, &project_params_record::nwsrfs_tipm, &project_params_record::use_nwsrfs_tipm, 0.2},
    {&main_state::snow_nmf, &project_params_record::nwsrfs_nmf, &project_params_record::use_nwsrfs_nmf, 0.2},
    {&main_state::snow_fua, &project_params_record::nwsrfs_fua, &project_params_record::use_nwsrfs_fua, 0.18},
    {&main_state::snow_plwhc, &project_params_record::nwsrfs_plwhc, &project_params_record::use_nwsrfs_plwhc, 0.05},
};
constexpr const char* band_header[10] = {"Lower_Elevation", "Upper_Elevation", "MF_Min", "MF_Max", "SCF",
                                         "FR_USE", "TIPM", "NMF", "FUA", "PLWHC"};
constexpr long most_bands = 100000;

void stop_printed() {
  error_rec.code = already_printed_code;
  report_error(error_rec);
}

void print_format_help(const std::string& path) {
  std::printf("Error reading elevation based NWSRFS snow input parameter file: %s\n\n", path.c_str());
  std::printf("The Elevation based NWSRFS input file should have the following format: \n\n");
  std::printf("Number_Bands:\tint(number of elevation bands) \n");
  std::printf("Lower_Elevation\tUpper_Elevation\tMF_Min\tMF_Max\tSCF\tFR_USE\tTIPM\tNMF\tFUA\tPLWHC \n");
  std::printf("0.0\t1000.0\t0.1\t1.2\t1.0\t0.0\t0.2\t0.2\t0.18\t0.05 \n");
  std::printf("1000.0\t2000.0\t0.1\t1.3\t1.1\t0.0\t0.2\t0.2\t0.18\t0.05 \n");
  std::printf("2000.0\t3000.0\t0.2\t1.4\t1.2\t0.0\t0.2\t0.2\t0.18\t0.05 \n");
  std::printf("3000.0\t4000.0\t0.2\t1.5\t1.3\t0.0\t0.2\t0.2\t0.18\t0.05 \n");
}

// Reads the words of the file one after another across its lines.
class word_reader {
 public:
  explicit word_reader(file_wrapper& f) : f_(f) {}
  bool next(std::string& word) {
    while (!pop_token(line_, word)) {
      if (!read_line(line_, f_)) return false;
      ++line_no_;
    }
    return true;
  }
  long line_no() const { return line_no_; }

 private:
  file_wrapper& f_;
  std::string line_;
  long line_no_ = 0;
};

// The band table of the file; false after its message.
bool read_band_file(const std::string& path, std::vector<std::array<double, 10>>& bands) {
  file_wrapper f;
  if (!f.open(path, "r")) {
    std::printf("Cannot open elevation based NWSRFS snow input parameter file: %s\n", path.c_str());
    return false;
  }
  word_reader in(f);
  std::string word;
  long n = 0;
  if (!in.next(word) || word != "Number_Bands:" || !in.next(word) || !weather_int(word, n) || n < 1 ||
      n > most_bands) {
    std::printf("Error reading elevation based NWSRFS snow input parameter file: %s\n", path.c_str());
    print_format_help(path);
    std::printf("The file must begin with \"Number_Bands:\" and a band count from 1 to %ld (line %ld).\n",
                most_bands, in.line_no());
    return false;
  }
  for (const char* expected : band_header) {
    if (!in.next(word) || word != expected) {
      std::printf("Error reading elevation based NWSRFS snow input parameter file: %s\n", path.c_str());
      print_format_help(path);
      std::printf("Line %ld: \"%s\" where the column header \"%s\" belongs.\n", in.line_no(), word.c_str(),
                  expected);
      return false;
    }
  }
  bands.resize(static_cast<std::size_t>(n));
  for (long b = 0; b < n; ++b) {
    for (int k = 0; k < 10; ++k) {
      if (!in.next(word) || !weather_real(word, bands[static_cast<std::size_t>(b)][static_cast<std::size_t>(k)])) {
        std::printf("Error: in the elevation based NWSRFS snow input parameter file %s, line %ld: band %ld "
                    "needs ten numbers; value %d (%s) is \"%s\".\n",
                    path.c_str(), in.line_no(), b + 1, k + 1, band_header[k], word.c_str());
        return false;
      }
    }
  }
  return true;
}

}  // namespace

void read_snow_band_params(main_state& ms) {
  const project_params_record& p = ms.project_params;
  ms.snow_mbase = p.use_snow_temp_base ? p.snow_temp_base : 0.0;
  ms.snow_pxtemp = p.use_snow_pxtemp ? p.snow_pxtemp : 0.0;
  if (!ms.long_term_on || ms.n_cells < 1) return;
  const long n = ms.n_cells;
  if (ms.eb_snow_on) {
    alloc_dvec(ms.snow_scf, n, "snow_scf");
    for (long j = 1; j <= n; ++j) ms.snow_scf[j] = p.use_nwsrfs_scf ? p.nwsrfs_scf : 1.0;
    return;
  }
  ms.snow_mf_constant = p.nwsrfs_mf_constant;
  for (const snow_parameter& q : band_parameters) {
    dvec& cells = ms.*q.cells;
    alloc_dvec(cells, n, cells.name());
    const double v = p.*q.card_given ? p.*q.card_value : q.default_value;
    for (long j = 1; j <= n; ++j) cells[j] = v;
  }
  if (!ms.nwsrfs_elev_snow_on) return;
  std::vector<std::array<double, 10>> bands;
  if (!read_band_file(ms.nwsrfs_elev_snow_path, bands)) {
    stop_printed();
    return;
  }
  for (long j = 1; j <= n; ++j) {
    const double h = ms.elevation[j];
    for (const auto& band : bands) {
      if (!(h > band[0] && h < band[1])) continue;
      for (std::size_t k = 0; k < std::size(band_parameters); ++k) {
        const snow_parameter& q = band_parameters[k];
        if (!(p.*q.card_given)) (ms.*q.cells)[j] = band[k + 2];
      }
    }
  }
}

}  // namespace kavro
