// The calibration files: the SCE input file, the Monte Carlo input file, the
// observation file and the control file of the calibration tool, each read
// by its real reader. The first byte picks the kind; the rest is the file,
// then "\n%%%\n" and the observation file obs.txt and the list params.txt
// that an SCE or Monte Carlo input file may name.
#include <optional>

#include "calibration/calib_objective.h"
#include "calibration/monte_carlo.h"
#include "calibration/pest_control.h"
#include "calibration/sce.h"
#include "framework/run_globals.h"
#include "fuzz_support.h"

namespace {

constexpr const char* file_names[] = {"control.in", "obs.txt", "params.txt"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kavro_fuzz::silence_console();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int kind = data[0] % 4;
  const std::vector<std::string_view> parts = kavro_fuzz::split_parts(data + 1, size - 1);
  for (std::size_t k = 0; k < std::size(file_names); ++k)
    kavro_fuzz::write_named(file_names[k], k < parts.size() ? parts[k] : std::string_view());
  kavro_fuzz::as_the_driver_runs([&] {
    switch (kind) {
      case 0: {
        kavro::sce_state st;
        kavro::sce_setup(st, "control.in", "sce_output.out");
        if (st.setup_ok) st.objective.read_observations(st.obs_file);
        kavro::sce_teardown(st);
        break;
      }
      case 1: {
        // No model runs: the reading of the input and observation files only.
        kavro::montecarlo mc(1, "control.in", kavro::run_context, 7u);
        break;
      }
      case 2: {
        kavro::calib_objective o;
        o.read_observations("control.in");
        o.destroy();
        break;
      }
      default: {
        // The control file of the tool, as "kavro -slm control.in" names it.
        std::string program = "kavro", option = "-slm", control = "control.in";
        char* argv[] = {program.data(), option.data(), control.data(), nullptr};
        kavro::pest_control pc;
        if (kavro::pest_read_control(pc, 3, argv) == 0) {
          kavro::pest_classify_parameters(pc);
          kavro::pest_tied_ratios(pc);
        }
        break;
      }
    }
  });
  kavro_fuzz::reset_process_state();
  return 0;
}
