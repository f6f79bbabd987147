// Replacement pairs: one project run many times with different parameter
// values. A parameter-list file names keys such as [ROUGH], each with a
// printf-style format; a value file holds one line of values per run. While
// replacement is on, every key in a line read from an input file is replaced
// by its value printed with its format.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavro {

class file_wrapper;

struct replace_pair {
  std::string key;            // the key with its square brackets, as in the list file
  std::string format;         // printf format of the value, one conversion of the value's type
  int value_type = -1;        // 0 int, 1 double, 2 string; -1 while the line is parsed
  double double_value = 0.0;  // value of a double pair
  int int_value = 0;          // value of an int pair
  std::string string_value;   // value of a string pair
  bool used = false;          // the key was substituted since the value file was last read
};

// Process-wide state. The list is emptied at the end of every run, while
// replace_on and replace_line stay set for the process.
extern std::vector<replace_pair> replace_list;  // pairs in the order of the list file
extern int replace_on;                          // 1: every line read has its keys replaced; never cleared
extern int replace_line;                        // line of the value file to use, counted from 0
extern int replace_count;                       // substitutions since the last reset

// How far one line may grow through replacement: beyond this, a value holds
// its own key and would expand without end.
inline constexpr std::size_t max_replace_growth = 25000;

// Reads the list file (count, then one "[KEY] "format"" line per pair) into a
// new list. A format's width and precision are at most 100. 0, or -1 after a
// message (error code 4000; the pairs read so far stay).
int read_replace_params(std::string file);
// Appends the pair of one list-file line; 0, or -1 after a message (nothing added).
int parse_replace_pair_line(std::string_view line);
// Sets the values of the pairs from line replace_line of the value file,
// clears the used flags and the count, and sets replace_on. 0, or -1 after a
// message (the file cannot be opened or has no such line; error code 4000).
int read_replace_values(std::string file);
// Replaces every key in `line`. A '[' that starts no key is reported and left,
// and stops the run (error code 4000).
// A line that grows by more than max_replace_growth characters stops the
// expansion and the run (error code 4000 after a message).
void apply_replace_pairs(std::string& line);
// Replaces the key starting at `pos`, when one does; 1 when it did, else 0.
int substitute_replace_pair(std::string& line, std::size_t pos);
// The value of a pair printed with its format.
std::string replace_value_text(const replace_pair& pair);
// The values in use, to the log and (unless tool_mode is 1) to the console.
void print_replace_values(file_wrapper& log, int tool_mode);
// The substitution count and which keys were used; then resets the count.
void print_replace_usage(file_wrapper& log, int tool_mode);
// Empties the list.
void free_replace_pairs();

}  // namespace kavro
