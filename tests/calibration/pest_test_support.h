// A scratch working folder for the calibration tool's file tests: the tool
// reads and writes its files ("kavro.in", "pest.stp", case files) in the
// working folder, so each test runs inside a fresh one.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "calibration/pest_control.h"
#include "test_support.h"

namespace kavro_test {

// pest_read_control on `control_arg` as the third command-line argument;
// its result, with the console output in `out`.
inline int read_pest_control(kavro::pest_control& pc, const std::string& control_arg, std::string* out = nullptr) {
  std::vector<std::string> args = {"kavro", "-slm", control_arg};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  ::testing::internal::CaptureStdout();
  const int rc = kavro::pest_read_control(pc, 3, argv.data());
  const std::string text = ::testing::internal::GetCapturedStdout();
  if (out) *out = text;
  return rc;
}

class pest_folder_test : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
  }
  void TearDown() override { std::filesystem::current_path(previous_); }

  // The text of a fixture of tests/data/pest.
  static std::string fixture(const std::string& name) { return read_file(data_dir() / "pest" / name); }
  // Copies a fixture into the working folder.
  static void copy_fixture(const std::string& name) { write_file(name, fixture(name)); }

  static int read_control(kavro::pest_control& pc, const std::string& control_arg, std::string* out = nullptr) {
    return read_pest_control(pc, control_arg, out);
  }

 private:
  scratch_dir dir_;
  std::filesystem::path previous_;
};

// The text with the first occurrence of `from` replaced by `to`.
inline std::string replace_once(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// What `write` puts into a fresh stream.
inline std::string written(const std::function<void(std::FILE*)>& write) {
  std::FILE* f = std::tmpfile();
  write(f);
  std::rewind(f);
  std::string text;
  for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) text += static_cast<char>(c);
  std::fclose(f);
  return text;
}

// Inside a death test: standard output goes to standard error, so that
// what a dying call prints can be matched.
inline void console_to_stderr() {
  std::fflush(stdout);
  dup2(2, 1);
}

}  // namespace kavro_test
