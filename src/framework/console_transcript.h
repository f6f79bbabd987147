// The console text of a run step, kept so that a run that stops on an error
// can repeat the message of the step that stopped it in its summary.
//
// While a transcript is active, standard output is a stream that passes
// every byte on to the console stream it replaced and keeps a copy of the
// text printed since the last mark. Text that print_and_log has already put
// in the run log is not kept.
#pragma once

#include <cstdio>
#include <string>

namespace kavro {

class console_transcript {
 public:
  console_transcript();   // takes over standard output
  ~console_transcript();  // gives it back, everything printed flushed
  console_transcript(const console_transcript&) = delete;
  console_transcript& operator=(const console_transcript&) = delete;

  // Forgets the text kept so far.
  void mark();
  // The text printed since the last mark (at most its last 64 kB).
  std::string text();
  // The stream standard output stood for when the transcript began.
  std::FILE* console() const { return console_; }

 private:
  friend struct console_transcript_io;
  std::FILE* console_ = nullptr;  // the console stream that was standard output
  std::FILE* tee_ = nullptr;      // the stream that stands for it; null when none could be made
  std::string kept_;
};

// The transcript of the run in progress; null between runs.
extern console_transcript* active_transcript;

// Writes `text` to the console without keeping it in the transcript.
void write_console_untracked(const char* text, std::size_t n);

}  // namespace kavro
