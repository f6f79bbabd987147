// Helpers shared by the test binaries: scratch folders, running the kavro
// program as a user would, and reading back what it wrote.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kavro_test {

// A fresh empty folder under the system temporary folder, removed again when
// the object goes out of scope.
class scratch_dir {
 public:
  scratch_dir();
  ~scratch_dir();
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

struct run_result {
  int exit_code = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `program` with `args` inside folder `cwd` (standard input from
// `stdin_text`, environment additions as NAME=VALUE) and waits for it.
run_result run_program(const std::filesystem::path& program, const std::vector<std::string>& args,
                       const std::filesystem::path& cwd, const std::string& stdin_text = "",
                       const std::vector<std::string>& env = {});

// The kavro binary of this build.
std::filesystem::path kavro_binary();
// The folder of test fixtures.
std::filesystem::path data_dir();

std::string read_file(const std::filesystem::path& p);
void write_file(const std::filesystem::path& p, const std::string& text);
// Number of lines of a text file (0 when it does not exist).
int count_lines(const std::filesystem::path& p);

}  // namespace kavro_test
