// Framework services that some project cards act through at once: the
// replacement pairs, the project and output folders, and the calendar.
#pragma once

#include <string>

namespace kavro {

// Replacement pairs: the parameter list and the value file of a run.
int read_replace_params(std::string file);  // 0, or -1 after its message
int read_replace_values(std::string file);  // 0, or -1 after its message; sets replace_on
extern int replace_line;                    // line of the value file, from 0
extern int replace_on;                      // 1 while lines are substituted

// Process-wide folders in which file names are resolved; each ends in a
// separator once set.
extern std::string project_folder;
extern std::string output_folder;
void set_project_folder(std::string folder);
void set_output_folder(std::string folder);

// Julian date (days; a day begins at noon) of a calendar date and time.
double julian_date(int year, int month, int day, int hour, int minute, double seconds);

}  // namespace kavro
