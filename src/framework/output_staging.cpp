#include "framework/output_staging.h"

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace kavro {

output_staging* staged_outputs = nullptr;

namespace fs = std::filesystem;

std::string staged_name(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, base) + "." + path.substr(base) + ".partial";
}

std::string own_name_of(const std::string& opened) {
  std::error_code ec;
  if (fs::exists(opened, ec)) return opened;
  const std::size_t slash = opened.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const std::string file = opened.substr(base);
  constexpr std::string_view suffix = ".partial";
  if (file.size() <= suffix.size() + 1 || file.front() != '.' || !file.ends_with(suffix)) return opened;
  return opened.substr(0, base) + file.substr(1, file.size() - 1 - suffix.size());
}

std::string stage_output(const std::string& path) {
  if (!staged_outputs) return {};
  for (const auto& f : staged_outputs->files)
    if (f.final == path) return f.temporary;
  std::string temporary = staged_name(path);
  staged_outputs->files.push_back({temporary, path});
  return temporary;
}

std::string staged_path_of(const std::string& path) {
  if (!staged_outputs) return path;
  for (const auto& f : staged_outputs->files)
    if (f.final == path) return f.temporary;
  return path;
}

namespace {

bool give_own_name(const output_staging::staged_file& f) {
  std::error_code ec;
  if (!fs::exists(f.temporary, ec)) return true;  // a probe that another candidate replaced
  fs::rename(f.temporary, f.final, ec);
  if (!ec) return true;
  std::printf("Error: the output file %s could not take its name from %s: %s\n", f.final.c_str(),
              f.temporary.c_str(), ec.message().c_str());
  return false;
}

}  // namespace

bool publish_staged_output(const std::string& temporary) {
  if (!staged_outputs) return true;
  auto& files = staged_outputs->files;
  for (auto f = files.begin(); f != files.end(); ++f) {
    if (f->temporary != temporary) continue;
    const bool ok = give_own_name(*f);
    files.erase(f);
    return ok;
  }
  return true;
}

bool commit_staged_outputs(output_staging& s) {
  bool ok = true;
  for (const auto& f : s.files) ok = give_own_name(f) && ok;
  s.files.clear();
  return ok;
}

void discard_staged_outputs(output_staging& s) {
  for (const auto& f : s.files) {
    std::error_code ec;
    fs::remove(f.temporary, ec);
  }
  s.files.clear();
}

}  // namespace kavro
