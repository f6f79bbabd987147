// Helpers shared by the test binaries: scratch folders, running the kavro
// program as a user would, and reading back what it wrote.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
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
// Every file of folder `dir` with its bytes, to tell afterwards that a run
// left its inputs as they were.
std::map<std::filesystem::path, std::string> files_of(const std::filesystem::path& dir);
void write_file(const std::filesystem::path& p, const std::string& text);
// Number of lines of a text file (0 when it does not exist).
int count_lines(const std::filesystem::path& p);
// The lines of a text, without their line ends.
std::vector<std::string> lines_of(const std::string& text);
// The number printed after the first `label` in `text`; NaN when the label
// is absent.
double figure(const std::string& text, const std::string& label);

// The text without the lines that carry wall-clock seconds ("(s)",
// "Run time:") or the thread count ("thread level"): what may differ between
// runs that must otherwise write the same.
std::string without_timing(const std::string& text);

// `project` with the line of `card` replaced by the card and `value`, or the
// card appended when the project has none.
std::string with_card(const std::string& project, const std::string& card, const std::string& value);
// `project` without the line of `card`.
std::string without_card(const std::string& project, const std::string& card);

// The progress lines of a console ("event  1 elapsed time ... Qout= ...").
bool is_progress_line(const std::string& line);
std::vector<std::string> progress_lines(const std::string& console);
// Elapsed minutes and outlet discharge (m3/s) of one progress line; -1 for
// what the line does not hold.
struct progress {
  double minutes = -1.0;
  double qout = -1.0;
};
progress parse_progress(const std::string& line);

// Writes an ASCII grid of rows x cols cells of `dx` metres (south-west
// corner at 500, 1000) with value(row, col) for row and column from 1,
// printed with `format` ("%.4f" for elevations, "%.0f" for masks).
void write_grid(const std::filesystem::path& p, int rows, int cols, double dx,
                const std::function<double(int, int)>& value, const char* format = "%.4f");

// The tilted plane: 60 x 40 cells of 10 m falling 0.1 m per row southwards
// and 0.05 m per column eastwards, outlet at the south-east corner, under
// the storm of the kinematic plane's project (36 mm/h) for 60 min, run for
// `minutes` in 2 s steps. Writes tilted_mask.asc and tilted_elevation.asc
// into `dir` and returns the project text.
std::string tilted_plane_project(const std::filesystem::path& dir, int minutes);

// What a batch run left in `dir`: each 0000_<name> compared with its
// 0001_<name> twin, timing lines dropped. `differing` names the files whose
// twin differs or is missing.
struct batch_comparison {
  int compared = 0;
  std::vector<std::string> differing;
};
batch_comparison compare_batch_runs(const std::filesystem::path& dir);

// The frames of an ASCII map dataset: time (min) and the `cells` active
// cells' values of each "TS" block.
struct dataset_frame {
  double minutes = 0.0;
  std::vector<double> values;
};
std::vector<dataset_frame> dataset_frames(const std::string& text, int cells);

}  // namespace kavro_test
