#include "framework/file_wrapper.h"

#include <cerrno>
#include <sys/stat.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "framework/output_staging.h"
#include "framework/readers.h"

namespace kavro {

std::string project_folder;
std::string output_folder;
int output_folder_set = 0;
int run_prefix_on = 0;
int run_number = 0;

namespace {

namespace fs = std::filesystem;

void print_corrupt(const std::string& name) {
  std::printf("\n\n\nError with the file %s. The file pointer is corrupt.\n\n\n\n", name.c_str());
}

// The folder text with '/' separators and a trailing '/'; empty stays empty.
std::string folder_text(std::string_view folder) {
  std::string text = normalize_separators(folder);
  if (!text.empty() && text.back() != '/') text += '/';
  return text;
}

bool is_absolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

// The name with the run-number prefix on its last path component.
std::string prefixed_name(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  return name.substr(0, base) + format_string("%04d_", run_number) + name.substr(base);
}

// The folder that outputs go to, ending in '/'; empty when none is set.
std::string output_dir() {
  if (output_folder.empty()) return {};
  if (is_absolute(output_folder)) return output_folder;
  if (!project_folder.empty() && output_folder.starts_with(project_folder)) return output_folder;
  return project_folder + output_folder;
}

// Creates the folder that will hold `path` when it is missing; a failure
// shows up when the path is probed.
void make_parent_folder(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  if (parent.empty()) return;
  std::error_code ec;
  fs::create_directories(parent, ec);
}

std::vector<std::string> candidate_paths(const std::string& name, bool write, bool create_folder) {
  if (is_absolute(name)) return {name};
  const std::string out_dir = output_dir();
  std::vector<std::string> paths;
  if (write) {
    if (!out_dir.empty()) {
      if (create_folder) make_parent_folder(out_dir + name);
      paths = {out_dir + name, name, project_folder + name};
    } else {
      make_parent_folder(project_folder + name);
      paths = {project_folder + name, name};
    }
  } else {
    paths = {name};
    if (!out_dir.empty()) paths.push_back(out_dir + name);
    paths.push_back(project_folder + name);
  }
  // Drop repeats (an empty project folder makes several candidates equal).
  std::vector<std::string> unique;
  for (std::string& p : paths) {
    bool seen = false;
    for (const std::string& u : unique) seen = seen || u == p;
    if (!seen) unique.push_back(std::move(p));
  }
  return unique;
}

// True when `path` opens in `mode`; the stream is closed again at once.
bool probe(const std::string& path, const std::string& mode) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return false;
  std::FILE* f = std::fopen(path.c_str(), mode.c_str());
  if (!f) return false;
  std::fclose(f);
  return true;
}

}  // namespace

std::string normalize_separators(std::string_view path) {
  std::string text(path);
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

void set_project_folder(std::string_view folder) { project_folder = folder_text(folder); }

void set_output_folder(std::string_view folder) {
  output_folder = folder_text(folder);
  output_folder_set = output_folder.empty() ? 0 : 1;
}

namespace {

// The name as the candidates are built from it: quotes stripped, '/'
// separators, the run-number prefix on a name written in a batch run.
std::string candidate_base(std::string name, bool write) {
  strip_quotes(name);
  if (name.empty()) return {};
  name = normalize_separators(name);
  if (write && run_prefix_on) name = prefixed_name(name);
  return name;
}

bool is_write_mode(std::string_view mode) { return !mode.empty() && (mode.front() == 'w' || mode.front() == 'a'); }

}  // namespace

std::string expected_file_name(std::string name, std::string_view mode) {
  const bool write = is_write_mode(mode);
  name = candidate_base(std::move(name), write);
  if (name.empty()) return {};
  const std::vector<std::string> paths = candidate_paths(name, write, false);
  if (write) return paths.front();
  std::error_code ec;
  for (const std::string& p : paths) {
    if (fs::is_regular_file(p, ec)) return p;
  }
  return paths.back();
}

std::string folders_searched(const std::string& name) {
  const std::string base = candidate_base(name, false);
  if (is_absolute(base)) return "its own folder";
  std::error_code ec;
  std::string text = "the folder kavro was started from (" + fs::current_path(ec).string() + ")";
  for (const std::string& p : candidate_paths(base, false, false)) {
    if (p == base) continue;
    const std::string folder = p.substr(0, p.size() - base.size());
    text += folder == project_folder ? " and the project folder " + folder : " and the output folder " + folder;
  }
  return text;
}

std::string resolve_file_name(std::string name, std::string_view mode) {
  const bool write = is_write_mode(mode);
  name = candidate_base(std::move(name), write);
  if (name.empty()) return {};
  const std::vector<std::string> paths = candidate_paths(name, write, true);
  const std::string mode_text(mode);
  for (const std::string& p : paths) {
    // A run being set up writes its outputs under temporary names.
    if (write && staged_outputs) {
      // A folder of that name cannot take the file once the run starts.
      std::error_code ec;
      if (fs::is_directory(p, ec)) {
        errno = EISDIR;
        continue;
      }
      const std::string standing_in = mode.front() == 'w' ? staged_name(p) : staged_path_of(p);
      if (probe(standing_in, mode_text)) return standing_in == p ? p : stage_output(p);
      continue;
    }
    if (probe(p, mode_text)) return p;
  }
  std::printf("Error getting new filename from %s\n", name.c_str());
  return paths.back();
}

file_wrapper::~file_wrapper() {
  if (fp) close();
}

file_wrapper::file_wrapper(file_wrapper&& other) noexcept { take(other); }

file_wrapper& file_wrapper::operator=(file_wrapper&& other) noexcept {
  if (this != &other) {
    if (fp) close();
    take(other);
  }
  return *this;
}

void file_wrapper::take(file_wrapper& other) noexcept {
  fp = other.fp;
  fp_check = other.fp_check;
  name = std::move(other.name);
  mode = std::move(other.mode);
  other.fp = other.fp_check = nullptr;
  other.name.clear();
  other.mode.clear();
}

namespace {

// An input must be a file: a device such as /dev/zero never ends, a pipe may
// never deliver, a folder holds no text. Such a name is refused at once.
bool is_regular_input(std::FILE* fp, const std::string& path) {
  struct stat st {};
  if (::fstat(::fileno(fp), &st) != 0 || S_ISREG(st.st_mode)) return true;
  std::printf("Error: %s is not a regular file (a device, a pipe or a folder); an input must be a file.\n",
              path.c_str());
  return false;
}

}  // namespace

bool file_wrapper::open(std::string file_name, std::string_view open_mode) {
  if (fp != fp_check) print_corrupt(name);
  if (file_name.empty()) return false;
  if (open_mode.empty() ||
      (open_mode.front() != 'r' && open_mode.front() != 'w' && open_mode.front() != 'a')) {
    return false;
  }
  if (fp) {
    std::printf(
        "\n\nError!!!!!!! opening a file when the previous file was not closed.\nOriginal file: %s\nNew "
        "file: %s\n\n\n",
        name.c_str(), file_name.c_str());
    // The old stream is closed here so that it cannot leak.
    std::fclose(fp);
  }
  fp = fp_check = nullptr;
  name.clear();
  mode.clear();

  const std::string path = resolve_file_name(std::move(file_name), open_mode);
  if (path.empty()) return false;
  fp = std::fopen(path.c_str(), std::string(open_mode).c_str());
  if (!fp) return false;
  if (open_mode.front() == 'r' && !is_regular_input(fp, path)) {
    std::fclose(fp);
    fp = nullptr;
    return false;
  }
  fp_check = fp;
  name = path;
  mode = open_mode;
  return true;
}

void file_wrapper::close() {
  if (fp != fp_check) print_corrupt(name);
  if (fp) std::fclose(fp);
  fp = fp_check = nullptr;
  name.clear();
  mode.clear();
}

}  // namespace kavro
