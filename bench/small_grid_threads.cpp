// A small project on a busy machine: a plane of 50 x 40 cells of 30 m (2,000
// cells) falling to its south-east corner under 36 mm/h of rain for an hour,
// two hours simulated in 2 s steps (3,600 passes), ADE scheme. It is run with
// one thread and with all threads while every core of the machine is kept
// busy by a spinning process that this program starts and stops itself (one
// per core). It prints the wall-clock time of both runs and their ratio,
// whose target is at most 1.5: a project this small must not become slower
// because threads wait for each other on a machine shared with other work.
//
// The runs are whole in-process runs of the system, with the wait policy of
// the program (threads sleep while they wait, unless OMP_WAIT_POLICY says
// otherwise).
#include <fcntl.h>
#include <omp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/run_driver.h"
#include "framework/wait_policy.h"

__attribute__((section(".preinit_array"), used)) void (*const bench_wait_policy)(int, char**, char**) =
    kavro::wait_passively_by_default;

namespace {

namespace fs = std::filesystem;

constexpr int rows = 50, cols = 40;

void write_text(const fs::path& p, const std::string& text) {
  std::ofstream out(p);
  out << text;
}

// The plane's maps and project in `dir`.
void write_project(const fs::path& dir) {
  const std::string header = "north: 1500\nsouth: 0\neast: 1200\nwest: 0\nrows: 50\ncols: 40\n";
  std::string mask = header, ground = header;
  char value[32];
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      mask += c < cols ? "1 " : "1\n";
      std::snprintf(value, sizeof value, "%.2f%c", 300.0 - 0.3 * r - 0.15 * c, c < cols ? ' ' : '\n');
      ground += value;
    }
  }
  write_text(dir / "mask.asc", mask);
  write_text(dir / "elevation.asc", ground);
  write_text(dir / "p.prj",
             "KAVROPROJECT\n"
             "WATERSHED_MASK    mask.asc\nELEVATION         elevation.asc\nROWS              50\nCOLS              40\n"
             "GRIDSIZE          30\nTOT_TIME          120\nTIMESTEP          2\nSTART_DATE        2010 7 1\n"
             "START_TIME        9 0\nOUTROW            50\nOUTCOL            40\nOUTSLOPE          0.01\n"
             "MANNING_N         0.05\nRAIN_INTENSITY    36\nRAIN_DURATION     60\nHYD_FREQ          10\n"
             "MAP_FREQ          60\nSUPER_QUIET\nSUMMARY           summary.txt\nOUTLET_HYDRO      outlet.txt\n");
}

// Wall-clock seconds of one whole run with `threads` threads; its console
// text goes nowhere.
double run_seconds(const fs::path& dir, int threads) {
  omp_set_num_threads(threads);
  const auto old_cwd = fs::current_path();
  fs::current_path(dir);
  std::fflush(stdout);
  const int saved = dup(1);
  const int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, 1);
  const auto t0 = std::chrono::steady_clock::now();
  const kavro::run_outcome out = kavro::run_simulation_outcome("p.prj", nullptr, "");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  close(null_fd);
  fs::current_path(old_cwd);
  if (out.stopped_on_error) std::printf("(the run with %d threads stopped on an error)\n", threads);
  return seconds;
}

// One process per core that spins until it is killed (or this program ends).
std::vector<pid_t> start_spinners(int n) {
  std::vector<pid_t> pids;
  for (int k = 0; k < n; ++k) {
    const pid_t pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      volatile unsigned long spin = 0;
      for (;;) spin = spin + 1;
    }
    if (pid > 0) pids.push_back(pid);
  }
  return pids;
}

void stop_spinners(const std::vector<pid_t>& pids) {
  for (pid_t pid : pids) kill(pid, SIGKILL);
  for (pid_t pid : pids) waitpid(pid, nullptr, 0);
}

double load_average() {
  double load[3] = {0, 0, 0};
  return getloadavg(load, 3) < 1 ? -1.0 : load[0];
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("kavro_small_grid_" + std::to_string(getpid()));
  fs::create_directories(dir);
  write_project(dir);
  const int cores = omp_get_num_procs();
  const int all = omp_get_max_threads();
  const char* policy = std::getenv("OMP_WAIT_POLICY");
  std::printf("small grid on a busy machine: %d cells, 3,600 passes, %d cores kept busy by spinning processes\n",
              rows * cols, cores);
  std::printf("load average before: %.2f; OMP_WAIT_POLICY %s\n", load_average(),
              policy ? policy : "not set (threads sleep while they wait)");
  const double idle_one = run_seconds(dir, 1);
  const double idle_all = run_seconds(dir, all);
  std::printf("  without the spinners: 1 thread %8.3f s, %d threads %8.3f s, ratio %6.2f\n", idle_one, all,
              idle_all, idle_all / idle_one);

  const std::vector<pid_t> spinners = start_spinners(cores);
  double one = 1e30, many = 1e30;
  for (int rep = 0; rep < 2; ++rep) {  // the faster of two, alternating
    one = std::min(one, run_seconds(dir, 1));
    many = std::min(many, run_seconds(dir, all));
  }
  const double load = load_average();
  stop_spinners(spinners);
  std::printf("  with the spinners:    1 thread %8.3f s, %d threads %8.3f s, ratio %6.2f (target at most 1.5)\n",
              one, all, many, many / one);
  std::printf("load average with the spinners: %.2f\n", load);
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
