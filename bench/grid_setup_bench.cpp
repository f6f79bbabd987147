// Set-up speed of a big grid: a 2,000 x 2,000 watershed, every cell active,
// with a mask, an elevation map, a roughness index map with its mapping
// table and the soil-type map of multi-layer Green-Ampt with its layered
// soil table, run for one step. The run is made with all threads and with
// one, each in a process of its own (so that each has its own memory peak). Printed beside the time awk takes to sum the same map files,
// measured in the same run since the machines are shared, and the resident
// memory peak beside the bytes of the per-cell arrays the run writes.
#include <omp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "framework/run_driver.h"

namespace {

constexpr int n = 2000;
namespace fs = std::filesystem;

void write_map(const fs::path& p, int (*value)(int, int), bool real) {
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

void write_project(const fs::path& dir) {
  write_map(dir / "mask.asc", [](int, int) { return 1; }, false);
  write_map(dir / "elev.asc", [](int r, int c) { return (r + c); }, true);
  write_map(dir / "rough.idx", [](int r, int c) { return 1 + (r * 7 + c) % 3; }, false);
  write_map(dir / "soil.asc", [](int r, int c) { return 1 + (r + 3 * c) % 3; }, false);
  {
    std::ofstream t(dir / "t.cmt");
    t << "KAVRO_INDEX_MAP_TABLES\nINDEX_MAP " << (dir / "rough.idx").string() << " Landuse\nROUGHNESS Landuse\n"
      << "NUM_IDS 3\nID  description  n\n";
    for (int id = 1; id <= 3; ++id) {
      std::string row(5, ' ');
      row += std::to_string(id);
      row += " class";
      row.resize(86, ' ');
      t << row << 0.03 + 0.01 * id << "\n";
    }
  }
  {
    // Three soils of three layers: Ks (cm/h), pore-size index, suction head
    // (cm), porosity, field capacity, wilting point, residual and initial
    // moisture, and the thickness (cm) of the two upper layers.
    std::ofstream s(dir / "layers.txt");
    s << "3\n0\n";
    for (int type = 1; type <= 3; ++type) {
      s << type << "\n";
      for (int l = 1; l <= 3; ++l) {
        s << 0.5 * type << " 0.3 " << 10 + type << " 0.45 0.3 0.1 0.05 " << 0.15 + 0.02 * l;
        if (l < 3) s << " " << 20 * l;
        s << "\n";
      }
    }
  }
  std::ofstream p(dir / "p.prj");
  p << "KAVROPROJECT\nWATERSHED_MASK " << (dir / "mask.asc").string() << "\nELEVATION " << (dir / "elev.asc").string()
    << "\nROWS " << n << "\nCOLS " << n << "\nGRIDSIZE 10.0\nTOT_TIME 1\n"
    << "TIMESTEP 60\nSTART_DATE 2001 3 1\nSTART_TIME 0 0\nOUTROW 1\nOUTCOL 1\nOUTSLOPE 0.01\nMAPPING_TABLE "
    << (dir / "t.cmt").string() << "\nINF_LAYERED_SOIL\nSOIL_TYPE_MAP " << (dir / "soil.asc").string()
    << "\nSOIL_LAYER_INPUT_FILE " << (dir / "layers.txt").string()
    << "\nRAIN_INTENSITY 10.0\nRAIN_DURATION 1\nQUIET\nSUMMARY " << (dir / "summary.txt").string()
    << "\nOUTLET_HYDRO " << (dir / "outlet.txt").string() << "\n";
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct run_figures {
  double setup_seconds = 0.0;  // from the start of the run to the end of its initialisation
  double run_seconds = 0.0;    // the whole run: set-up, one step and the final summaries
  int status = -1;
  long max_rss_bytes = 0;
};

// One run of the project in a child process with `threads` threads; its
// console goes to `log`. The child's wall-clock seconds come back through a
// pipe, its memory peak from the kernel's accounting of the child.
run_figures run_in_child(const fs::path& dir, int threads, const fs::path& log) {
  run_figures out;
  int fds[2];
  if (::pipe(fds) != 0) return out;
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      ::dup2(fd, STDOUT_FILENO);
      ::dup2(fd, STDERR_FILENO);
    }
    omp_set_num_threads(threads);
    // The system's run with one more initialisation step at its end, which
    // notes the time: the set-up ends there.
    kavro::run_plan plan = kavro::default_run_plan();
    double setup_s = 0.0;
    const auto t0 = std::chrono::steady_clock::now();
    plan.init_steps.push_back(
        {"set-up done", [&](kavro::main_state&, const kavro::run_call&) { setup_s = seconds_since(t0); }, false, {}});
    const int rc = kavro::run_simulation_with(plan, (dir / "p.prj").string(), nullptr, "").result;
    const double s = seconds_since(t0);
    std::fflush(stdout);
    const double msg[3] = {setup_s, s, static_cast<double>(rc)};
    if (::write(fds[1], msg, sizeof msg) != static_cast<ssize_t>(sizeof msg)) ::_exit(3);
    ::_exit(0);
  }
  ::close(fds[1]);
  if (pid < 0) {
    ::close(fds[0]);
    return out;
  }
  double msg[3] = {0.0, 0.0, -1.0};
  const bool got = ::read(fds[0], msg, sizeof msg) == static_cast<ssize_t>(sizeof msg);
  ::close(fds[0]);
  int wstatus = 0;
  rusage usage{};
  ::wait4(pid, &wstatus, 0, &usage);
  if (got) {
    out.setup_seconds = msg[0];
    out.run_seconds = msg[1];
    out.status = static_cast<int>(msg[2]);
  }
  out.max_rss_bytes = usage.ru_maxrss * 1024L;  // kilobytes on Linux
  return out;
}

// Bytes of the per-cell arrays that this run writes: what its set-up fills
// (temporary grids included, since they count in the peak) and what its one
// step updates. Arrays that are allocated but never written (their pages
// never touched) are not counted: they cost no memory.
long written_array_bytes() {
  const long cells = static_cast<long>(n) * n + 1;  // cells 0..n*n
  const long grid = (n + 2L) * (n + 2L);            // rows and columns 0..n+1
  const long index_grid = (n + 1L) * (n + 1L);      // rows and columns 0..n
  const long i4 = 4, d8 = 8, p8 = 8;
  long bytes = 0;
  bytes += 2 * grid * i4;                    // the cell-number grid and the integer scratch grid (soil map)
  bytes += 2 * index_grid * i4;              // the roughness index map and its IDs while they are read
  bytes += 2 * cells * i4 + 2 * cells * d8;  // row, column and centre of every cell
  bytes += cells * d8;                       // elevation
  bytes += 4 * cells * i4;                   // the four neighbour numbers of every cell
  bytes += 4 * cells * d8;                   // slopes to the right and below, x and y
  bytes += cells * d8;                       // roughness
  bytes += cells * i4;                       // soil type
  bytes += cells * d8 + cells * (5 * d8 + p8);  // soil moisture; the layer moistures [0..4] and their row table
  bytes += 6 * cells * d8;  // the step: depth now, old and new, rain rate, flows through the right and lower faces
  bytes += 5 * cells * d8 + cells * i4;  // its infiltration: rate, depth, previous depth, held volume, wetting
                                         // front, and the flag of a depth that is not a number
  return bytes;
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / "kavro_grid_setup_bench";
  fs::create_directories(dir);
  write_project(dir);

  auto t0 = std::chrono::steady_clock::now();
  const std::string awk = "awk '{for(i=1;i<=NF;i++)s+=$i} END{print s > \"/dev/null\"}'";
  std::string command = awk;
  for (const char* map : {"mask.asc", "elev.asc", "rough.idx", "soil.asc"}) {
    command += ' ';
    command += (dir / map).string();
  }
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "awk failed\n");
  const double awk_s = seconds_since(t0);

  const int all = omp_get_max_threads();
  // Each way twice, alternating, and the faster of the two: the first run
  // on a machine may wait for the system to gather huge pages, and the
  // other developers' jobs come and go.
  run_figures many, one;
  for (int round = 0; round < 2; ++round) {
    for (const auto& [threads, figures, log] :
         {std::tuple{all, &many, "run_all.log"}, std::tuple{1, &one, "run_one.log"}}) {
      const run_figures f = run_in_child(dir, threads, dir / log);
      if (round == 0 || f.status != 0 || f.setup_seconds < figures->setup_seconds) *figures = f;
    }
  }
  const long array_bytes = written_array_bytes();
  std::printf("grid set-up of %d x %d cells (mask, elevation, roughness index, soil types), then one step:\n", n, n);
  std::printf("  awk over the same maps:  %6.2f s\n", awk_s);
  std::printf("  all threads (%d): set-up %6.2f s, ratio to awk %.2f (target <= 0.5); with the step %6.2f s (status %d)\n",
              all, many.setup_seconds, many.setup_seconds / awk_s, many.run_seconds, many.status);
  std::printf("  one thread:       set-up %6.2f s, ratio to awk %.2f (target <= 1.0); with the step %6.2f s (status %d)\n",
              one.setup_seconds, one.setup_seconds / awk_s, one.run_seconds, one.status);
  std::printf("  resident peak: %ld MB with all threads, %ld MB with one; per-cell arrays written: %ld MB; "
              "ratio %.2f (target <= 2)\n",
              many.max_rss_bytes >> 20, one.max_rss_bytes >> 20, array_bytes >> 20,
              static_cast<double>(std::max(many.max_rss_bytes, one.max_rss_bytes)) / array_bytes);
  int rc = 0;
  for (const auto& [figures, log] : {std::pair{many, "run_all.log"}, std::pair{one, "run_one.log"}}) {
    if (figures.status == 0) continue;
    std::printf("the run (%s) did not end normally; its console:\n", log);
    std::ifstream in(dir / log);
    std::printf("%s", std::string(std::istreambuf_iterator<char>(in), {}).c_str());
    rc = 1;
  }
  fs::remove_all(dir);
  return rc;
}
