// The projects of the README, as a newcomer would use them: every fenced
// block marked `<!-- newcomer-test: NAME -->` is copied from README.md into
// one folder as the file NAME, every project (NAME ending in .prj) is run
// there in the README's order, and every block marked
// `<!-- newcomer-test: expect FILE -->` lists lines that FILE must then
// hold: the same label with the same figure.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;
using kavro_test::write_file;

struct readme_block {
  std::string name;  // file name, or "expect FILE"
  std::string text;
};

// The marked blocks of a README text, in their order.
std::vector<readme_block> marked_blocks(const std::string& readme) {
  const std::string marker = "<!-- newcomer-test: ";
  std::vector<readme_block> blocks;
  std::size_t at = 0;
  while ((at = readme.find(marker, at)) != std::string::npos) {
    const std::size_t name_end = readme.find(" -->", at);
    const std::string name = readme.substr(at + marker.size(), name_end - at - marker.size());
    const std::size_t fence = readme.find("```\n", name_end);
    const std::size_t body = fence + 4;
    const std::size_t close = readme.find("\n```", body);
    blocks.push_back({name, readme.substr(body, close - body + 1)});
    at = close;
  }
  return blocks;
}

// The label of a summary line: its text up to and including '=' or ':'.
std::string label_of(const std::string& line) {
  const std::size_t end = line.find_first_of("=:");
  return end == std::string::npos ? line : line.substr(0, end + 1);
}

TEST(ReadmeExamples, TheNewcomerProjectsRunAndGiveTheirStatedResults) {
  const auto blocks = marked_blocks(read_file(kavro_test::data_dir() / ".." / ".." / "README.md"));
  kavro_test::scratch_dir dir;
  int projects = 0, expectations = 0;
  for (const readme_block& b : blocks) {
    SCOPED_TRACE(b.name);
    if (b.name.starts_with("expect ")) {
      const std::string text = read_file(dir / b.name.substr(7));
      for (const std::string& line : kavro_test::lines_of(b.text)) {
        const std::string label = label_of(line);
        const double stated = kavro_test::figure(line, label);
        ASSERT_FALSE(std::isnan(stated)) << line;
        EXPECT_NEAR(kavro_test::figure(text, label), stated, 0.005) << line << "\n" << text;
        ++expectations;
      }
      continue;
    }
    write_file(dir / b.name, b.text);
    if (!b.name.ends_with(".prj")) continue;
    const auto r = kavro_test::run_program(kavro_test::kavro_binary(), {b.name}, dir.path());
    ++projects;
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Warning"), std::string::npos) << r.out;
  }
  EXPECT_GE(projects, 2);
  EXPECT_GE(expectations, 6);
}

}  // namespace
}  // namespace kavro
