#include "calibration/pest_text.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "framework/number_text.h"

namespace kavro {

std::optional<int> parse_whole_int(std::string_view token) {
  int value = 0;
  if (read_int(token, value) != number_fault::none) return std::nullopt;
  return value;
}

std::optional<double> parse_whole_double(std::string_view token) {
  double value = 0.0;
  if (read_real(token, value) != number_fault::none) return std::nullopt;
  return value;
}

std::optional<std::string> read_file_bytes(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) return std::nullopt;
  // A device such as /dev/zero never ends: only a file is read.
  struct stat st {};
  if (::fstat(::fileno(f.get()), &st) == 0 && !S_ISREG(st.st_mode)) {
    std::printf("Error: %s is not a regular file (a device, a pipe or a folder); an input must be a file.\n",
                path.c_str());
    return std::nullopt;
  }
  std::string bytes;
  char buffer[8192];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) bytes.append(buffer, got);
  return bytes;
}

std::optional<std::vector<std::string>> read_text_lines(const std::string& path) {
  const std::optional<std::string> bytes = read_file_bytes(path);
  if (!bytes) return std::nullopt;
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes->size()) {
    std::size_t end = bytes->find('\n', start);
    const bool last = end == std::string::npos;
    if (last) end = bytes->size();
    std::string line = bytes->substr(start, end - start);
    if (!last && !line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool is_blank_char(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::vector<std::string> split_words(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_blank_char(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !is_blank_char(line[i])) ++i;
    if (i > start) words.emplace_back(line.substr(start, i - start));
  }
  return words;
}

}  // namespace kavro
