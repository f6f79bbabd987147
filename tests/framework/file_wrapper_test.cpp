// Opening files through the wrapper: quotes, folders, the run-number prefix
// and the life cycle of the owned stream.
#include "framework/file_wrapper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <type_traits>

#include "test_support.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;

static_assert(!std::is_copy_constructible_v<file_wrapper>);
static_assert(!std::is_copy_assignable_v<file_wrapper>);
static_assert(std::is_nothrow_move_constructible_v<file_wrapper>);

class FileWrapper : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_names();
    root_ = dir_.path().string() + "/";
  }
  void TearDown() override { reset_names(); }
  static void reset_names() {
    project_folder.clear();
    output_folder.clear();
    output_folder_set = 0;
    run_prefix_on = 0;
    run_number = 0;
  }
  // Opens and closes at once; the path that was opened, or "" on failure.
  static std::string opened_path(const std::string& name, const char* mode) {
    file_wrapper f;
    if (!f.open(name, mode)) return "";
    return f.name;
  }

  kavro_test::scratch_dir dir_;
  std::string root_;  // the scratch folder, ending in '/'
};

TEST_F(FileWrapper, QuotedNameOpensTheUnquotedFile) {
  kavro_test::write_file(root_ + "in put.txt", "data\n");
  file_wrapper f;
  ASSERT_TRUE(f.open("\"" + root_ + "in put.txt\"", "r"));
  EXPECT_EQ(f.name, root_ + "in put.txt");
  EXPECT_EQ(f.mode, "r");
  EXPECT_EQ(f.fp, f.fp_check);
}

TEST_F(FileWrapper, RunPrefixGoesOnTheFileNameOfWrittenFilesOnly) {
  struct prefix_case {
    int prefix_on;
    int number;
    const char* mode;
    const char* name;      // relative to the project folder
    const char* expected;  // path opened, relative to the project folder
  };
  const prefix_case cases[] = {
      {1, 12, "w", "out.txt", "0012_out.txt"},
      {1, 12, "a", "out.txt", "0012_out.txt"},
      {1, 3, "w", "maps/x.asc", "maps/0003_x.asc"},
      {1, 3, "wb", "maps\\depth.asc", "maps/0003_depth.asc"},
      {1, 12345, "w", "big.txt", "12345_big.txt"},
      {0, 12, "w", "out.txt", "out.txt"},
      {1, 12, "r", "in.txt", "in.txt"},
  };
  fs::create_directories(root_ + "maps");
  kavro_test::write_file(root_ + "in.txt", "1\n");
  set_project_folder(root_);
  for (const prefix_case& c : cases) {
    SCOPED_TRACE(c.name);
    run_prefix_on = c.prefix_on;
    run_number = c.number;
    EXPECT_EQ(opened_path(c.name, c.mode), root_ + c.expected);
    EXPECT_TRUE(fs::exists(root_ + c.expected));
  }
}

TEST_F(FileWrapper, OutputFolderIsCreatedUnderTheProjectWithoutEnteringIt) {
  const fs::path cwd_before = fs::current_path();
  set_project_folder(root_);
  set_output_folder("out");
  EXPECT_EQ(output_folder, "out/");
  EXPECT_EQ(output_folder_set, 1);
  run_prefix_on = 1;
  run_number = 1;
  file_wrapper f;
  ASSERT_TRUE(f.open("maps/x.asc", "w"));
  EXPECT_EQ(f.name, root_ + "out/maps/0001_x.asc");
  std::fputs("written\n", f.fp);
  f.close();
  EXPECT_EQ(kavro_test::read_file(root_ + "out/maps/0001_x.asc"), "written\n");
  EXPECT_EQ(fs::current_path(), cwd_before);
}

TEST_F(FileWrapper, OutputFolderForms) {
  struct folder_case {
    std::string folder;     // as given on the card
    std::string file_path;  // where "r.txt" is written, relative to the scratch folder
  };
  const folder_case cases[] = {
      {"rel\\sub", "proj/rel/sub/r.txt"},
      {root_ + "proj/full", "proj/full/r.txt"},
      {root_ + "elsewhere/", "elsewhere/r.txt"},
  };
  set_project_folder(root_ + "proj");
  EXPECT_EQ(project_folder, root_ + "proj/");
  for (const folder_case& c : cases) {
    SCOPED_TRACE(c.folder);
    set_output_folder(c.folder);
    EXPECT_EQ(opened_path("r.txt", "w"), root_ + c.file_path);
  }
}

TEST_F(FileWrapper, ReadSearchesPlainNameThenOutputFolderThenProjectFolder) {
  set_project_folder(root_);
  set_output_folder("out");
  fs::create_directories(root_ + "out");
  kavro_test::write_file(root_ + "both.txt", "project\n");
  kavro_test::write_file(root_ + "out/both.txt", "output\n");
  kavro_test::write_file(root_ + "only_project.txt", "project\n");
  EXPECT_EQ(opened_path("both.txt", "r"), root_ + "out/both.txt");
  EXPECT_EQ(opened_path("only_project.txt", "r"), root_ + "only_project.txt");
  EXPECT_EQ(opened_path(root_ + "only_project.txt", "r"), root_ + "only_project.txt");
}

TEST_F(FileWrapper, RefusedOpens) {
  set_project_folder(root_);
  file_wrapper f;
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(f.open("", "r"));
  EXPECT_FALSE(f.open("x.txt", "x"));
  EXPECT_FALSE(f.open("x.txt", ""));
  EXPECT_FALSE(f.open("\"\"", "r"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(f.open("missing.txt", "r"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error getting new filename from missing.txt\n");
  EXPECT_FALSE(f.is_open());
  EXPECT_EQ(f.fp_check, nullptr);
  EXPECT_EQ(resolve_file_name("\"\"", "r"), "");
}

TEST_F(FileWrapper, ReopenClosesTheOldStream) {
  file_wrapper f;
  ASSERT_TRUE(f.open(root_ + "first.txt", "w"));
  std::fputs("kept", f.fp);  // still in the stream's buffer
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(f.open(root_ + "second.txt", "w"));
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("opening a file when the previous file was not closed.\nOriginal file: " + root_ +
                         "first.txt\nNew file: " + root_ + "second.txt\n"),
            std::string::npos);
  EXPECT_EQ(f.name, root_ + "second.txt");
  EXPECT_EQ(kavro_test::read_file(root_ + "first.txt"), "kept");  // flushed by its close
}

TEST_F(FileWrapper, CloseTwiceIsHarmlessAndCorruptionIsReported) {
  file_wrapper f;
  ASSERT_TRUE(f.open(root_ + "a.txt", "w"));
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  f.close();
  f.close();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(f.name.empty());
  EXPECT_TRUE(f.mode.empty());

  ASSERT_TRUE(f.open(root_ + "a.txt", "w"));
  f.fp_check = nullptr;
  testing::internal::CaptureStdout();
  f.close();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\n\n\nError with the file " + root_ + "a.txt. The file pointer is corrupt.\n\n\n\n");
  EXPECT_FALSE(f.is_open());
}

TEST_F(FileWrapper, MoveTransfersTheStream) {
  file_wrapper a;
  ASSERT_TRUE(a.open(root_ + "m.txt", "w"));
  std::FILE* stream = a.fp;
  file_wrapper b(std::move(a));
  EXPECT_EQ(b.fp, stream);
  EXPECT_EQ(b.name, root_ + "m.txt");
  EXPECT_FALSE(a.is_open());
  EXPECT_EQ(a.fp_check, nullptr);

  file_wrapper c;
  ASSERT_TRUE(c.open(root_ + "n.txt", "w"));
  std::fputs("n", c.fp);
  c = std::move(b);  // c's own stream is closed first
  EXPECT_EQ(c.fp, stream);
  EXPECT_EQ(kavro_test::read_file(root_ + "n.txt"), "n");
  std::fputs("m", c.fp);
  c.close();
  EXPECT_EQ(kavro_test::read_file(root_ + "m.txt"), "m");
}

}  // namespace
}  // namespace kavro
