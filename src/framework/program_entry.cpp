#include "framework/program_entry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "calibration/calibration_entries.h"
#include "calibration/monte_carlo.h"
#include "framework/file_wrapper.h"
#include "framework/number_text.h"
#include "framework/replace_pairs.h"
#include "framework/run_abort.h"
#include "framework/run_driver.h"
#include "framework/run_globals.h"

namespace kavro {

namespace {

constexpr const char* usage_text =
    "\nUsage: kavro [-option] [inputfile]\n\n where -option is one of:\n"
    "      -c = SCE calibration mode (input file is the calibration control file)\n"
    "      -m = Monte Carlo calibration mode (input file is the calibration control file)\n"
    "      -b = batch mode (input file is the batch control file)\n"
    "      -s = sensitivity mode (input file is the sensitivity control file)\n"
    "      -v = display version information (no project will be run)\n"
    "  The c, m, b, and v commands are optional and if not present the input file is\n"
    " treated as the project file\n\n"
    "  For the -b option, the command line should be:\n      kavro -b[num_batch] kavro_inputfile\n\n"
    "  For the -c option, the command line should be:\n      kavro -c sce_inputfile\n\n"
    "  For the -m option, the command line should be:\n      kavro -m[num_batch] mc_inputfile\n\n"
    "  For the -s option, the command line should be:\n      kavro -s sen_inputfile\n\n"
    "  For the -t option (and -tv), the command line should be:\n      kavro -t[v]\n\n"
    "  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE input file, "
    "mc_intputfile is\n  the Monte Carlo input file, and sen_inputfile is the sensitivity input file.\n\n";

// Most runs one batch (or Monte Carlo calibration) may make.
constexpr long long max_batch_runs = 1000000;

// The run count of "-bN" and "-mN": 1 for the option alone, N when the rest
// is a whole number from 1 to max_batch_runs, else -1.
int batch_run_count(std::string_view option) {
  const std::string digits(option.substr(2));
  if (digits.empty()) return 1;
  if (digits.size() > 7 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
  const long long n = std::stoll(digits);
  return n >= 1 && n <= max_batch_runs ? static_cast<int>(n) : -1;
}

// The form body of a web request: at most CONTENT_LENGTH (<= 1,024)
// characters of one line of standard input, echoed unchanged.
void echo_web_form() {
  const char* length_text = std::getenv("CONTENT_LENGTH");
  long length = -1;
  if (length_text) {
    char* end = nullptr;
    length = std::strtol(length_text, &end, 10);
    if (end == length_text) length = -1;
  }
  if (length < 0 || length > 1024) {
    std::fputs("<P>Error in invocation - wrong FORM probably.", stdout);
    return;
  }
  std::string body;
  for (long i = 0; i < length; ++i) {
    const int c = std::getchar();
    if (c == EOF) break;
    body.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  std::fwrite(body.data(), 1, body.size(), stdout);
}

// Batch mode: n runs of one project, run i using value line i and the
// run-number prefix i. True when every run ended without an error.
bool run_batch(const run_mode_request& req, int n_runs, std::string_view mode_text) {
  std::printf("KAVRO is running in batch mode, and is running %d runs...\n", n_runs);
  bool all_ok = true;
  for (int i = 0; i < n_runs; ++i) {
    replace_line = i;
    run_prefix_on = 1;
    run_number = i;
    const run_outcome outcome = run_simulation_outcome(req.input_file, nullptr, mode_text);
    if (!outcome.stopped_on_error) continue;
    all_ok = false;
    // Every run of a batch reads the same project: when it cannot be opened
    // no later run can do better.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(expected_file_name(req.input_file, "r"), ec)) {
      std::printf("Error: the batch stops at run %04d of %d: its project file %s cannot be opened.\n", i, n_runs,
                  req.input_file.c_str());
      return false;
    }
  }
  return all_ok;
}

// Runs a calibration entry as the run driver runs a step: memory that cannot
// be had (a count from a file beyond any memory) ends it with a message and
// status 1, never with an uncaught exception.
template <class entry>
int calibration_guard(const char* option, entry&& run) {
  try {
    return run();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  } catch (const run_aborted&) {
  }
  std::printf("Error: the calibration (%s) stops: not enough memory for what its input files ask.\n", option);
  return 1;
}

}  // namespace

void print_usage() { std::fputs(usage_text, stdout); }

void print_version() {
  std::printf("\n    -- KAVRO version %4.2lf%c --\n \n", program_version, ' ');
  std::fputs("    A physically based, spatially distributed watershed simulator\n"
             "    with shuffled complex evolution and Monte Carlo calibration.\n"
             "    Developed and maintained by the kavro team.\n \n",
             stdout);
  std::fputs("Intended for use with PQM Version 9.0 or higher\n \n", stdout);
}

int parse_command_line(int argc, const char* const* argv, run_mode_request& req) {
  req = run_mode_request{};
  const auto refuse = [] {
    print_usage();
    return -1;
  };
  if (argc < 2) return refuse();
  const std::string_view opt = argv[1];
  if (opt == "-h" || opt == "--help") {
    req.mode = 5;
    return 1;
  }
  if (opt.starts_with("-v")) {
    req.mode = 4;
    return 1;
  }
  if (argc == 2) {
    // A lone option (unknown, or one that needs its input file) is no project.
    if (opt.starts_with("-")) return refuse();
    req.mode = 1;
    req.input_file = argv[1];
    return 1;
  }
  const auto take = [&](int mode, int result) {
    req.mode = mode;
    req.input_file = argv[2];
    return result;
  };
  // The calibration tool reads its own further arguments.
  if (opt.starts_with("-slm")) return take(8, 1);
  if (opt == "-ms") return take(9, 1);
  if (opt.starts_with("-t")) return take(10, 1);
  if (opt.starts_with("-mls")) return take(11, 1);
  if (argc > 3) return refuse();
  if (opt.starts_with("-s")) return take(7, 1);
  if (opt.starts_with("-c")) return take(2, 1);
  // A run count that is no whole number from 1 to max_batch_runs: the usage,
  // then what is wrong with the count.
  const auto refuse_count = [&] {
    const int result = refuse();
    std::printf("Error: the run count of the option %s must be a whole number from 1 to %lld.\n",
                printable(opt).c_str(), max_batch_runs);
    return result;
  };
  if (opt.starts_with("-b")) {
    const int runs = batch_run_count(opt);
    return runs < 0 ? refuse_count() : take(3, runs);
  }
  if (opt.starts_with("-m")) {
    const int runs = batch_run_count(opt);
    return runs < 0 ? refuse_count() : take(6, runs);
  }
  return refuse();
}

int kavro_main(int argc, char** argv) {
  const std::string_view program = argc > 0 ? argv[0] : "";
  if (program.find("web") != std::string_view::npos) {
    web_mode = 1;
    std::printf("%s%c%c\n", "Content-Type:text/text;charset=iso-8859-1", 13, 10);
    std::printf(
        "<title>KAVRO Test Case</title><body><P> Web version of KAVRO (%2.1lf%c) with SCE "
        "starting...</P><P>",
        program_version, ' ');
    echo_web_form();
  } else {
    std::printf("Parallel version of KAVRO (%2.1lf%c) with SCE (OpenMP), %d total threads.\n", program_version,
                ' ', run_context.thread_count);
  }
  std::fflush(stdout);

  int status = 0;
  run_mode_request req;
  const int count = parse_command_line(argc, argv, req);
  const std::string_view mode_text = argc > 1 ? argv[1] : "";
  // The usage after a wrong command line ends with exit 1; "kavro" alone
  // only asks for it.
  if (count == -1 && argc >= 2) status = 1;
  if (count != -1) {
    switch (req.mode) {
      case 1:
        status = run_simulation_outcome(req.input_file, nullptr, mode_text).stopped_on_error ? 1 : 0;
        break;
      // A calibration that could not run ends with status 1.
      case 2: status = calibration_guard("-c", [&] { return run_sce_calibration(req.input_file) == 1 ? 0 : 1; }); break;
      case 3: status = run_batch(req, count, mode_text) ? 0 : 1; break;
      case 4: print_version(); break;
      case 5: print_usage(); break;
      case 6:
        status = calibration_guard("-m", [&] { return run_monte_carlo(count, req.input_file) == 1 ? 0 : 1; });
        break;
      case 7:
        status = calibration_guard("-s", [&] {
          montecarlo sensitivity(500 / run_context.process_count, req.input_file, run_context);
          sensitivity.objective_callback = model_run_objective;
          const int ran = sensitivity.run();
          if (ran == 1) sensitivity.report_best();
          return ran == 1 ? 0 : 1;
        });
        break;
      case 8: status = calibration_guard("-slm", [&] { return run_slm(argc, argv) == 0 ? 0 : 1; }); break;
      case 9: status = calibration_guard("-ms", [&] { return run_multistart(argc, argv) == 0 ? 0 : 1; }); break;
      case 10:
        status = calibration_guard("-tr", [&] { return run_trajectory_repulsion(argc, argv) == 0 ? 0 : 1; });
        break;
      case 11: status = calibration_guard("-mlsl", [&] { return run_mlsl(argc, argv) == 0 ? 0 : 1; }); break;
      default: break;
    }
  }
  if (web_mode) std::fputs("</P></body>\n", stdout);
  std::fflush(stdout);
  return status;
}

}  // namespace kavro
