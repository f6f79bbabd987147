#include "test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

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

}  // namespace kavro_test
