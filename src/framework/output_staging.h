// Outputs of a run that is still being set up are written under temporary
// names beside their own: a run refused before its time loop leaves every
// file of an earlier run as it was, and only a run that starts stepping
// puts its outputs in their places.
#pragma once

#include <string>
#include <vector>

namespace kavro {

// The outputs created under temporary names, in the order they were made.
struct output_staging {
  struct staged_file {
    std::string temporary;  // path written while the run is set up
    std::string final;      // path the file takes when the time loop starts
  };
  std::vector<staged_file> files;
};

// The staging of the run being set up; null when outputs are created under
// their own names (set and cleared by the run driver).
extern output_staging* staged_outputs;

// The temporary path of output `path`: the same folder, the file name
// hidden behind a dot and followed by ".partial".
std::string staged_name(const std::string& path);

// The path under which a file opened at `opened` lives now: `opened`
// itself, or, for a staged temporary path that has since taken its own
// name, that name.
std::string own_name_of(const std::string& opened);

// With staging on: the temporary path that stands for output `path`, noted
// on first use. Empty when staging is off.
std::string stage_output(const std::string& path);
// With staging on: the temporary path of `path` when it was staged, else `path`.
std::string staged_path_of(const std::string& path);

// With staging on: gives the staged file written at `temporary` its own name
// now, for a file that is the product of a run ending before its time loop.
// True when there was nothing to do; false after a failed rename (printed).
bool publish_staged_output(const std::string& temporary);
// Gives every staged file its own name (open streams keep writing to it) and
// ends the staging. False after a file that could not be renamed (printed).
bool commit_staged_outputs(output_staging& s);
// Removes the staged files of a run that never started its time loop.
void discard_staged_outputs(output_staging& s);

}  // namespace kavro
