// Owners of one gridded output series and of one link/node output series.
// A new writer is idle: files closed, nothing attached.
#pragma once

#include <string>
#include <string_view>

#include "framework/checked_array.h"
#include "framework/file_wrapper.h"
#include "framework/one_based.h"
#include "output/grid_writers.h"

namespace kavro {

struct main_state;

// Map styles of a writer.
enum map_style : int {
  map_style_idle = 0,
  map_style_grid_files = 1,  // one ESRI ASCII grid file per frame
  map_style_ascii = 2,       // ASCII dataset file
  map_style_binary = 3,      // binary dataset file
};

// The style the run's map flags select (grid files, binary, else ASCII).
int run_map_style(const main_state& ms);

class map_dataset_writer {
 public:
  map_dataset_writer() = default;
  ~map_dataset_writer();
  map_dataset_writer(map_dataset_writer&&) noexcept = default;
  map_dataset_writer& operator=(map_dataset_writer&&) noexcept = default;
  map_dataset_writer(const map_dataset_writer&) = delete;
  map_dataset_writer& operator=(const map_dataset_writer&) = delete;

  // Stores the names and, in a dataset style, creates base_name + extension
  // with its header (error 59 when it cannot be created). The geometry and
  // `values` are set by the owner before.
  void open(int style_, std::string_view base, std::string_view ext, std::string_view suffix_, int id,
            std::string_view tag_);
  // One frame at `minutes`: a grid file (style 1, error 4000 when it cannot
  // be created) or a frame of the dataset (styles 2, 3). Without values
  // (neither source set, or the row not made) nothing is written.
  void write_frame(double minutes);
  // Ends a dataset with its end marker, exactly once, and closes the file.
  void close();

  file_wrapper file;              // dataset file (styles 2, 3)
  std::string base_name;          // dataset path without extension, or the folder of the grid files (style 1)
  const dvec* values = nullptr;   // [active cell] the quantity written; not owned
  // Or row `value_row` of a [quantity][cell] table, looked up at each frame
  // (the table's rows may be made after the writer); used when `values` is
  // null. Not owned.
  const checked_array_2d<double>* value_rows = nullptr;
  long value_row = 0;
  grid_frame grid;                // mask, edges, rows, cols and cell size
  int style = map_style_idle;     // map_style
  int frame_counter = 1;          // number of the next style-1 frame file
  std::string extension;          // such as ".conc"
  std::string suffix;             // such as ".asc"
  std::string tag;                // dataset name and style-1 file stem
  row_buffer buffer;              // row formatting scratch
};

// Link/node layouts: the kind line of a header.
std::string_view linknode_kind_line(int kind);

class linknode_writer {
 public:
  linknode_writer() = default;
  ~linknode_writer();
  linknode_writer(linknode_writer&&) noexcept = default;
  linknode_writer& operator=(linknode_writer&&) noexcept = default;
  linknode_writer(const linknode_writer&) = delete;
  linknode_writer& operator=(const linknode_writer&) = delete;

  // Attach a [node][link] source (kind 2) or a flat per-link source whose
  // node j of link i is at j + i * stride (kind 1). `second` is kept and not
  // written (the writer steps in mode 0).
  void set_node_source(int kind, const dmat* source, const ivec* valid, const ivec* written, const ivec* types,
                       const dmat* second, const ivec* lake_of_link_, const dvec* lake_values_, int n_lakes,
                       int n_links_, int stride_);
  void set_link_source(int kind, const double* source, const ivec* valid, const ivec* written, const ivec* types,
                       const dmat* second, const ivec* lake_of_link_, const dvec* lake_values_, int n_lakes,
                       int n_links_, int stride_);
  // Creates first + second + third and writes the header (TIME_STEP 15,
  // NUM_TS 15, START_TIME 0). A file that cannot be created is reported and
  // the writer stays without one.
  void open(std::string_view first, std::string_view second_part, std::string_view third, double scale_);
  // Writes block `step` of the source and advances `step`.
  void write_step();

  int step = 0;                        // number of the next "TS" block
  int source_kind = -1;                // 1 flat, 2 [node][link]; -1 unset
  const double* flat_source = nullptr;  // kind 1 source; not owned
  const dmat* node_source = nullptr;   // kind 2 source; not owned
  file_wrapper file;                   // the dataset
  int kind_code = 0;                   // linknode kind of the header
  int n_links = 0;
  const ivec* valid_nodes = nullptr;    // [link] valid node count A
  const ivec* written_nodes = nullptr;  // [link] node count B written per line
  const ivec* link_types = nullptr;     // [link] ltype bits
  const ivec* lake_of_link = nullptr;   // [link] lake of a lake link
  const dvec* lake_values = nullptr;    // [lake] lake quantity
  const dmat* second_rows = nullptr;    // kept, not written
  dmat out_rows{"out_rows"};            // [node][link] scaled values of the step
  int stride = 0;                       // nodes per link plus one
  double scale = 1.0;                   // conversion factor
  dvec lake_out{"lake_out"};            // [lake] scaled lake values of the step
  int lake_bad_range = 0;               // 1 when a lake number fell outside lake_out
};

// One "TS" block of a link/node dataset: per link the nodes 1..valid_nodes
// (or written_nodes, when given) of `first`, in value mode 0 (the value), 1
// (first minus second) or 2 (first over second when that exceeds 1e-7, else
// 0); lake links take their lake's value from `lake_values` through
// `lake_of_link`.
void write_linknode_step(file_wrapper& file, int n_links, const ivec& valid_nodes, const ivec* written_nodes,
                         const ivec& link_types, int step, const dmat& first, const dmat* second, int mode,
                         const ivec& lake_of_link, const dvec& lake_values);

// The header: kind line (none for a kind outside the table), NUM_LINKS,
// TIME_STEP (min), NUM_TS and START_TIME.
void write_linknode_header(std::FILE* out, int kind, int n_links, int time_step_min, int n_steps, int day, int month,
                           int year, int hour, int minute);

}  // namespace kavro
