#include "input/project_settings.h"

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"

namespace kavro {

void read_project(const std::string& project_path, main_state&) {
  file_wrapper project;
  if (!project.open(project_path, "r")) {
    error_rec.code = 3;
    return;
  }
  project.close();
}

void print_startup_header(main_state&, const std::string&) {}

}  // namespace kavro
