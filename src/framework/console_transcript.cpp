#include "framework/console_transcript.h"

#include <stdio.h>
#include <unistd.h>

namespace kavro {

console_transcript* active_transcript = nullptr;

namespace {

constexpr std::size_t kept_limit = 64 * 1024;

}  // namespace

struct console_transcript_io {
  static ssize_t write(void* cookie, const char* buf, size_t n) {
    auto* t = static_cast<console_transcript*>(cookie);
    t->kept_.append(buf, n);
    if (t->kept_.size() > kept_limit) t->kept_.erase(0, t->kept_.size() - kept_limit);
    const std::size_t written = std::fwrite(buf, 1, n, t->console_);
    std::fflush(t->console_);
    return static_cast<ssize_t>(written);
  }
};

console_transcript::console_transcript() : console_(stdout) {
  std::fflush(stdout);
  cookie_io_functions_t io{};
  io.write = &console_transcript_io::write;
  tee_ = fopencookie(this, "w", io);
  if (!tee_) return;
  // A terminal sees every line as it is printed; a file or a pipe takes blocks.
  if (isatty(fileno(console_)))
    std::setvbuf(tee_, nullptr, _IOLBF, BUFSIZ);
  stdout = tee_;
}

console_transcript::~console_transcript() {
  if (!tee_) return;
  std::fflush(tee_);
  stdout = console_;
  std::fclose(tee_);
  std::fflush(console_);
}

void console_transcript::mark() {
  if (tee_) std::fflush(tee_);
  kept_.clear();
}

std::string console_transcript::text() {
  if (tee_) std::fflush(tee_);
  return kept_;
}

void write_console_untracked(const char* text, std::size_t n) {
  if (!active_transcript) {
    std::fwrite(text, 1, n, stdout);
    return;
  }
  // Whatever the transcript holds back goes first, so the order stays.
  std::fflush(stdout);
  std::fwrite(text, 1, n, active_transcript->console());
}

}  // namespace kavro
