// Line and token readers of every text input.
//
// A caller reads a line, then takes tokens off its front one after another:
// separators are tab, newline, blank and comma; a token between double quotes
// may hold separators.
#pragma once

#include <string>
#include <string_view>

namespace kavro {

class file_wrapper;

// Set by the card SUPER_QUIET; silences print_message.
extern int super_quiet;

// Reads one line of `f` into `line` without its line end (one trailing
// newline and one carriage return before it are removed) and applies the
// replacement pairs while they are on. 1 when a line was read, 0 at end of
// file (the line keeps its old content).
int read_line(std::string& line, file_wrapper& f);
// read_line without the replacement pairs: for the files that define them.
int read_raw_line(std::string& line, file_wrapper& f);
// read_raw_line that reads at most `max_length` characters: -1 (and the
// rest of the line unread) for a longer line. For the first line of a file,
// which a file that is no text at all may make as long as the file.
int read_raw_line_bounded(std::string& line, file_wrapper& f, std::size_t max_length);

// Takes the next token off the front of `line` into `out`. 1 when a token was
// taken, 0 when none (an empty pair of quotes also gives 0).
int pop_token(std::string& line, std::string& out);
// Takes the next token as a number: 1 when a token was taken (a token that is
// not a number gives 0), 0 when the line held none.
int pop_double(std::string& line, double& out);
int pop_int(std::string& line, int& out);

// Removes one leading and one trailing double quote.
void strip_quotes(std::string& text);
// Removes the first n characters; any n outside 1..length empties the text.
// -1 for an empty text, else 0.
int remove_leading_chars(std::string& text, long n);
// The text from the start of its second word (separators: tab, newline,
// blank); the last character when there is no second word.
std::string_view second_word(std::string_view text);
// True when the first tokens of a and b are equal without regard to case.
bool same_keyword(std::string_view a, std::string_view b);

// printf to standard output unless super_quiet is set; characters written.
int print_message(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf into a text of whatever length the result needs.
std::string format_string(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Reads the tokens of one line front to back without shortening it, for rows
// of thousands of values where pop_token would move the rest of the line at
// every call. Each call gives the same token and result as the pop_ function
// of the same name on the rest of the line. The line must outlive the cursor.
class token_cursor {
 public:
  explicit token_cursor(std::string_view line) : line_(line) {}
  int next_token(std::string& out);
  int next_double(double& out);
  int next_int(int& out);
  // The part of the line not read yet.
  std::string_view rest() const { return line_.substr(pos_); }

 private:
  std::string_view line_;
  std::size_t pos_ = 0;
};

}  // namespace kavro
