#include "output/analyzers.h"

#include "framework/main_state.h"

namespace kavro {

void read_analyzer_file(main_state&, const std::string&) {}
void notify_analyzers(main_state& ms, int mask) {
  for (auto& a : ms.analyzer_list) a->on_event(ms, mask);
}

}  // namespace kavro
