#include "test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>

#include "framework/wait_policy.h"

// The test binaries run projects in-process: their threads wait as the
// program's do.
__attribute__((section(".preinit_array"), used)) void (*const kavro_test_wait_policy)(int, char**, char**) =
    kavro::wait_passively_by_default;

namespace kavro_test {

namespace fs = std::filesystem;

scratch_dir::scratch_dir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = fs::temp_directory_path() / ("kavro_test_" + std::to_string(::getpid()) + "_" +
                                              std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot create a scratch folder");
}

scratch_dir::~scratch_dir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

namespace {

std::string slurp_fd(int fd) {
  std::string text;
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  return text;
}

}  // namespace

run_result run_program(const fs::path& program, const std::vector<std::string>& args, const fs::path& cwd,
                       const std::string& stdin_text, const std::vector<std::string>& env) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (::pipe(in_pipe) || ::pipe(out_pipe) || ::pipe(err_pipe)) throw std::runtime_error("pipe failed");
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::dup2(in_pipe[0], 0);
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    ::close(in_pipe[1]);
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    for (const auto& e : env) ::putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  std::thread feeder([&] {
    size_t off = 0;
    while (off < stdin_text.size()) {
      ssize_t n = ::write(in_pipe[1], stdin_text.data() + off, stdin_text.size() - off);
      if (n <= 0) break;
      off += static_cast<size_t>(n);
    }
    ::close(in_pipe[1]);
  });
  run_result r;
  std::thread err_reader([&] { r.err = slurp_fd(err_pipe[0]); });
  r.out = slurp_fd(out_pipe[0]);
  err_reader.join();
  feeder.join();
  ::close(out_pipe[0]);
  ::close(err_pipe[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

fs::path kavro_binary() { return fs::path(KAVRO_BIN); }
fs::path data_dir() { return fs::path(KAVRO_TEST_DATA); }

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::map<fs::path, std::string> files_of(const fs::path& dir) {
  std::map<fs::path, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) files[e.path()] = read_file(e.path());
  return files;
}

void write_file(const fs::path& p, const std::string& text) {
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << text;
}

int count_lines(const fs::path& p) {
  std::ifstream in(p);
  if (!in) return 0;
  int n = 0;
  std::string line;
  while (std::getline(in, line)) ++n;
  return n;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

double figure(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  if (at == std::string::npos) return std::nan("");
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

namespace {

// Where the line of `card` begins and ends (past its line end) in `project`;
// npos when the project has no such card.
std::pair<size_t, size_t> card_line(const std::string& project, const std::string& card) {
  for (size_t at = 0; at < project.size();) {
    const size_t end = std::min(project.find('\n', at), project.size());
    const std::string_view here(project.data() + at, end - at);
    if (here.starts_with(card) &&
        (here.size() == card.size() || here[card.size()] == ' ' || here[card.size()] == '\t'))
      return {at, std::min(end + 1, project.size())};
    at = end + 1;
  }
  return {std::string::npos, std::string::npos};
}

}  // namespace

std::string without_timing(const std::string& text) {
  std::istringstream in(text);
  std::string line, kept;
  while (std::getline(in, line))
    if (line.find("(s)") == std::string::npos && line.find("Run time:") == std::string::npos &&
        line.find("thread level") == std::string::npos)
      kept += line + "\n";
  return kept;
}

std::string with_card(const std::string& project, const std::string& card, const std::string& value) {
  std::string line = card;
  line.resize(std::max<size_t>(card.size() + 1, 18), ' ');
  line += value + "\n";
  const auto [begin, end] = card_line(project, card);
  if (begin == std::string::npos) return project + line;
  return project.substr(0, begin) + line + project.substr(end);
}

std::string without_card(const std::string& project, const std::string& card) {
  const auto [begin, end] = card_line(project, card);
  if (begin == std::string::npos) return project;
  return project.substr(0, begin) + project.substr(end);
}

bool is_progress_line(const std::string& line) {
  return line.find(" elapsed time ") != std::string::npos && line.find("Qout=") != std::string::npos;
}

std::vector<std::string> progress_lines(const std::string& console) {
  std::vector<std::string> out;
  for (const auto& line : lines_of(console))
    if (is_progress_line(line)) out.push_back(line);
  return out;
}

progress parse_progress(const std::string& line) {
  progress p;
  const size_t t = line.find("elapsed time");
  const size_t q = line.find("Qout=");
  if (t == std::string::npos || q == std::string::npos) return p;
  std::sscanf(line.c_str() + t + 12, "%lf", &p.minutes);
  std::sscanf(line.c_str() + q + 5, "%lf", &p.qout);
  return p;
}

void write_grid(const fs::path& p, int rows, int cols, double dx,
                const std::function<double(int, int)>& value, const char* format) {
  std::string grid = "north: " + std::to_string(1000.0 + rows * dx) +
                     "\nsouth: 1000\neast: " + std::to_string(500.0 + cols * dx) +
                     "\nwest: 500\nrows: " + std::to_string(rows) + "\ncols: " + std::to_string(cols) + "\n";
  char text[64];
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      std::snprintf(text, sizeof text, format, value(r, c));
      grid += text;
      grid += c < cols ? ' ' : '\n';
    }
  }
  write_file(p, grid);
}

std::string tilted_plane_project(const fs::path& dir, int minutes) {
  const auto all = [](int, int) { return 1.0; };
  const auto ground = [](int r, int c) { return 200.0 - 0.1 * r - 0.05 * c; };
  write_grid(dir / "tilted_mask.asc", 60, 40, 10.0, all, "%.0f");
  write_grid(dir / "tilted_elevation.asc", 60, 40, 10.0, ground, "%.2f");
  std::string p = read_file(data_dir() / "overland_runs" / "plane.prj");
  for (const auto& [card, v] :
       std::vector<std::pair<std::string, std::string>>{{"WATERSHED_MASK", "tilted_mask.asc"},
                                                        {"ELEVATION", "tilted_elevation.asc"},
                                                        {"ROWS", "60"},
                                                        {"COLS", "40"},
                                                        {"OUTROW", "60"},
                                                        {"OUTCOL", "40"},
                                                        {"TOT_TIME", std::to_string(minutes)},
                                                        {"TIMESTEP", "2"},
                                                        {"RAIN_DURATION", "60"}})
    p = with_card(p, card, v);
  return p;
}

batch_comparison compare_batch_runs(const std::filesystem::path& dir) {
  batch_comparison out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("0000_", 0) != 0) continue;
    ++out.compared;
    const std::filesystem::path twin = dir / ("0001_" + name.substr(5));
    if (!std::filesystem::exists(twin) || without_timing(read_file(e.path())) != without_timing(read_file(twin)))
      out.differing.push_back(name);
  }
  std::sort(out.differing.begin(), out.differing.end());
  return out;
}

std::vector<dataset_frame> dataset_frames(const std::string& text, int cells) {
  std::vector<dataset_frame> frames;
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    if (word != "TS") continue;
    dataset_frame f;
    int status_flag = 0;
    in >> status_flag >> f.minutes;
    int status = 0;
    for (int i = 0; i < cells; ++i) in >> status;
    f.values.resize(static_cast<std::size_t>(cells));
    for (double& v : f.values) in >> v;
    frames.push_back(f);
  }
  return frames;
}

}  // namespace kavro_test
