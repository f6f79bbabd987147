// Small text helpers of the calibration tool's file readers: whole-token
// number conversions that refuse anything a misread would hide, and whole
// files as lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavro {

// The token as an int when all of it is one (sign allowed), else nothing.
std::optional<int> parse_whole_int(std::string_view token);
// The token as a finite double when all of it is one, else nothing.
std::optional<double> parse_whole_double(std::string_view token);
// The lines of a text file without their line ends (one carriage return
// before a newline is dropped too); nothing when the file cannot be opened.
std::optional<std::vector<std::string>> read_text_lines(const std::string& path);
// The whole file as bytes; nothing when it cannot be opened.
std::optional<std::string> read_file_bytes(const std::string& path);
// True for a blank, tab, carriage return or newline.
bool is_blank_char(char c);
// The blank-separated words of a line.
std::vector<std::string> split_words(std::string_view line);

}  // namespace kavro
