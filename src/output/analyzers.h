// The run-time stream analyzers of a run.
#pragma once

#include <string>

namespace kavro {

struct main_state;

// Analyzer notification masks.
inline constexpr int analyzer_step_done = 1;
inline constexpr int analyzer_event_read = 2;
inline constexpr int analyzer_event_ended = 4;
inline constexpr int analyzer_run_initialised = 8;
inline constexpr int analyzer_normal_end = 16;
inline constexpr int analyzer_error_end = 32;

// A run-time stream analyzer: told of every run, event and step notification.
class analyzer {
 public:
  virtual ~analyzer() = default;
  virtual void on_event(main_state& ms, int mask) = 0;
};

// Reads the analyzer definitions of `file` into the run's analyzer list.
void read_analyzer_file(main_state& ms, const std::string& file);
// Tells every analyzer of the run's list of `mask`, in list order.
void notify_analyzers(main_state& ms, int mask);

}  // namespace kavro
