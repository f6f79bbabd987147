// The hydrograph file of the PQM pre/post-processor: the outlet hydrograph
// and the hydrographs at the listed channel nodes, read back from the files
// the run wrote them to, as one header of counts and one block of values per
// series.
#include "output/pqm_file.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/main_state.h"
#include "framework/output_staging.h"
#include "framework/readers.h"

namespace kavro {

namespace {

// Value `position` (from 1) of a series: ten to a line.
void put_value(std::FILE* f, double v, long position) {
  std::fprintf(f, "%11.4lf", v);
  std::fputc(position % 10 == 0 ? '\n' : ' ', f);
}

// Opens for reading the file a writer of this run holds open, by the name
// it was written under, after flushing what the writer still buffers.
bool reopen_for_reading(file_wrapper& writer, file_wrapper& reader) {
  if (!writer.is_open()) return false;
  std::fflush(writer.fp);
  return reader.open(own_name_of(writer.name), "r");
}

}  // namespace

void write_pqm_hydrograph_file(file_wrapper& outlet, file_wrapper& out, const pqm_locations& locations,
                               int start_yyyymmdd, int start_hhmm, int hyd_interval_steps, int rows) {
  std::FILE* f = out.fp;
  const int n = locations.file != nullptr ? std::max(locations.n, 0) : 0;
  std::fprintf(f, "KELVORA_PQM_HYDROGRAPH_FILE\n");
  for (long count : {long{n}, long{start_yyyymmdd}, long{start_hhmm}, long{hyd_interval_steps}, long{rows}})
    std::fprintf(f, "%ld\n", count);
  for (int k = 1; k <= n; ++k) {
    const int link = locations.links && k <= locations.links->size() ? (*locations.links)[k] : 0;
    const int node = locations.nodes && k <= locations.nodes->size() ? (*locations.nodes)[k] : 0;
    std::fprintf(f, "%d %d\n", link, node);
  }
  std::string line;
  double time = 0.0, q = 0.0;
  // A missing outlet row has nothing to give: the series ends there.
  for (long i = 1; i <= rows && read_line(line, outlet) == 1; ++i) {
    q = 0.0;
    pop_double(line, time);
    pop_double(line, q);
    put_value(f, q, i);
  }
  if (n == 0) return;
  dmat hydro_table;
  if (!alloc_dmat_zero(hydro_table, std::max(rows, 1), n, "hydro_table")) return;
  long read = 0;
  while (read < rows && read_line(line, *locations.file) == 1) {
    ++read;
    pop_double(line, time);
    for (int j = 1; j <= n; ++j) {
      double v = 0.0;
      pop_double(line, v);
      hydro_table[read][j] = v;
    }
  }
  if (read < rows)
    std::printf("Warning: the hydrograph location file %s holds %ld of the %d rows of the PQM hydrograph file: "
                "the missing values are written as 0.0\n",
                locations.file->name.c_str(), read, rows);
  for (int j = 1; j <= n; ++j) {
    std::fprintf(f, "\n");
    for (long i = 1; i <= rows; ++i) put_value(f, hydro_table[i][j], i);
  }
}

void write_pqm_file(main_state& ms) {
  file_wrapper outlet, locations, out;
  const bool with_locations = ms.in_hyd_location_on != 0;
  const bool outlet_open = reopen_for_reading(ms.outlet_hydro_file, outlet);
  const bool locations_open = !with_locations || reopen_for_reading(ms.fs_out_hyd, locations);
  if (!outlet_open || !locations_open || !out.open(ms.pqm_hydro_path, "w")) {
    std::printf("\n\nError: Unable to open files to write the PQM hydrograph file.\n Write aborted.\n");
    // The other end-of-run files are still written; the run ends with status 1.
    note_error_run_goes_on(error_rec);
    return;
  }
  pqm_locations where;
  if (with_locations) where = {&locations, ms.n_hyd_locations, &ms.hlink, &ms.hnode};
  write_pqm_hydrograph_file(outlet, out, where, ms.start_yyyymmdd, ms.start_hhmm, ms.hyd_interval_steps,
                            ms.hydrograph_rows);
}

}  // namespace kavro
