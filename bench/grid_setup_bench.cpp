// Set-up speed of a big grid: a 2,000 x 2,000 watershed, every cell active,
// with a mask, an elevation map and a roughness index map with its mapping
// table, run for one step. Printed beside the time awk takes to sum the
// same map files, measured in the same run, since the machines are shared.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "framework/run_driver.h"

namespace {

constexpr int n = 2000;

void write_map(const std::filesystem::path& p, int (*value)(int, int), bool real) {
  std::ofstream out(p);
  out << "north: " << n * 10 << "\nsouth: 0\neast: " << n * 10 << "\nwest: 0\nrows: " << n << "\ncols: " << n
      << "\n";
  std::string row;
  for (int r = 1; r <= n; ++r) {
    row.clear();
    for (int c = 1; c <= n; ++c) {
      const int v = value(r, c);
      row += real ? std::to_string(100 + v % 50) + ".5" : std::to_string(v);
      row += c == n ? '\n' : ' ';
    }
    out << row;
  }
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main() {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kavro_grid_setup_bench";
  std::filesystem::create_directories(dir);
  write_map(dir / "mask.asc", [](int, int) { return 1; }, false);
  write_map(dir / "elev.asc", [](int r, int c) { return (r + c); }, true);
  write_map(dir / "rough.idx", [](int r, int c) { return 1 + (r * 7 + c) % 3; }, false);
  {
    std::ofstream t(dir / "t.cmt");
    t << "KAVRO_INDEX_MAP_TABLES\nINDEX_MAP " << (dir / "rough.idx").string() << " Landuse\nROUGHNESS Landuse\n"
      << "NUM_IDS 3\nID  description  n\n";
    for (int id = 1; id <= 3; ++id) {
      std::string row = std::to_string(id);
      row.insert(0, 6 - row.size(), ' ');
      row += " class";
      row.resize(86, ' ');
      t << row << 0.03 + 0.01 * id << "\n";
    }
  }
  {
    std::ofstream p(dir / "p.prj");
    p << "KAVROPROJECT\nWATERSHED_MASK " << (dir / "mask.asc").string() << "\nELEVATION "
      << (dir / "elev.asc").string() << "\nROWS " << n << "\nCOLS " << n << "\nGRIDSIZE 10.0\nTOT_TIME 1\n"
      << "TIMESTEP 60\nSTART_DATE 2001 3 1\nSTART_TIME 0 0\nOUTROW 1\nOUTCOL 1\nOUTSLOPE 0.01\nMAPPING_TABLE "
      << (dir / "t.cmt").string() << "\nRAIN_INTENSITY 10.0\nRAIN_DURATION 1\nQUIET\nSUMMARY "
      << (dir / "summary.txt").string() << "\nOUTLET_HYDRO " << (dir / "outlet.txt").string() << "\n";
  }

  auto t0 = std::chrono::steady_clock::now();
  const std::string awk = "awk '{for(i=1;i<=NF;i++)s+=$i} END{print s > \"/dev/null\"}' " +
                          (dir / "mask.asc").string() + " " + (dir / "elev.asc").string() + " " +
                          (dir / "rough.idx").string();
  if (std::system(awk.c_str()) != 0) std::fprintf(stderr, "awk failed\n");
  const double awk_s = seconds_since(t0);

  t0 = std::chrono::steady_clock::now();
  const int rc = kavro::run_simulation((dir / "p.prj").string(), nullptr, "");
  const double run_s = seconds_since(t0);
  std::printf("grid set-up of %d x %d cells and one step: %.2f s (status %d); awk over the same maps: %.2f s; "
              "ratio %.2f\n",
              n, n, run_s, rc, awk_s, run_s / awk_s);
  std::filesystem::remove_all(dir);
  return 0;
}
