// The stream-cell file and the channel hotstart of a one-link channel on a
// 3 x 5 grid of 10 m (the network of tests/data/channel/run): the first byte
// picks the file the rest of the input is.
#include "channel/channel_steps.h"
#include "fuzz_support.h"

namespace {

constexpr const char* network =
    "KAVRO_CHAN\nALPHA 1\nBETA 1\nTHETA 1\nLINKS 1\nMAXNODES 6\nCONNECT 1 0 0\nLINK 1\nDX 10\nNODES 6\nTRAPEZOID\n"
    "MANNINGS_N 0.035\nNODE 1\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1\nELEV 100.5\nNODE 2\nELEV 100.4\n"
    "NODE 3\nELEV 100.3\nNODE 4\nELEV 100.2\nNODE 5\nELEV 100.1\nNODE 6\nELEV 100.0\n";
constexpr const char* cells =
    "GRIDSTREAMFILE\nSTREAMCELLS 5\nCELLIJ 2 1\nNUMNODES 1\nLINKNODE 1 1 1.0\nCELLIJ 2 2\nNUMNODES 1\n"
    "LINKNODE 1 2 1.0\nCELLIJ 2 3\nNUMNODES 1\nLINKNODE 1 3 1.0\nCELLIJ 2 4\nNUMNODES 1\nLINKNODE 1 4 1.0\n"
    "CELLIJ 2 5\nNUMNODES 1\nLINKNODE 1 5 1.0\n";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kavro_fuzz::silence_console();
  kavro_fuzz::write_named("chan.txt", network);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  // 0: the stream-cell file; 1: the water-surface hotstart; 2: the initial-state file.
  const int kind = data[0] % 3;
  kavro_fuzz::write_named("chan.gst", kind == 0 ? input : std::string_view(cells));
  if (kind != 0) kavro_fuzz::write_named(kind == 1 ? "chan.dht" : "chan.ini", input);
  auto ms = kavro_fuzz::small_grid(3, 5, 10.0);
  ms->channel_on = 1;
  ms->stream_cell_on = 1;
  ms->channel_input_path = "chan.txt";
  ms->project_params.stream_cell = "chan.gst";
  bool open = ms->channel_input_file.open("chan.txt", "r") && ms->fs_stream_cell.open("chan.gst", "r");
  if (kind == 1) {
    ms->chan_wse_start_on = 1;
    open = open && ms->chan_hotstart_in_file.open("chan.dht", "r");
  } else if (kind == 2) {
    ms->chan_hotstart_on = 1;
    open = open && ms->fs_chan_initial_state.open("chan.ini", "r");
  }
  if (open) kavro_fuzz::as_the_driver_runs([&] { kavro::setup_channel(*ms); });
  kavro::main_state_destroy(*ms);
  kavro_fuzz::reset_process_state();
  return 0;
}
