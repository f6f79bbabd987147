// Owners of one gridded output series and of one link/node output series.
// A new writer is idle: files closed, nothing attached.
#pragma once

#include <string>

#include "framework/checked_array.h"
#include "framework/file_wrapper.h"
#include "framework/one_based.h"

namespace kavro {

class map_dataset_writer {
 public:
  map_dataset_writer() = default;
  ~map_dataset_writer();
  map_dataset_writer(map_dataset_writer&&) noexcept = default;
  map_dataset_writer& operator=(map_dataset_writer&&) noexcept = default;
  map_dataset_writer(const map_dataset_writer&) = delete;
  map_dataset_writer& operator=(const map_dataset_writer&) = delete;

  file_wrapper file;                 // the dataset file
  std::string name;                  // dataset name
  int id = 0;                        // dataset id of the output kind
  int style = 0;                     // 0 grid files per frame, 1 ASCII dataset, 2 binary dataset
  double nodata = -999.99;           // value written for inactive cells
  double scale = 1.0;                // factor applied to every value written
  int frame = 1;                     // next frame number
  checked_array<double> difference;  // [cell] change since the last frame
};

class linknode_writer {
 public:
  linknode_writer() = default;
  ~linknode_writer();
  linknode_writer(linknode_writer&&) noexcept = default;
  linknode_writer& operator=(linknode_writer&&) noexcept = default;
  linknode_writer(const linknode_writer&) = delete;
  linknode_writer& operator=(const linknode_writer&) = delete;

  // Writes one step of the writer's source (once per output time of its owner).
  void write_step();

  file_wrapper file;                  // the link/node dataset
  file_wrapper second_file;           // the lake values, when written apart
  int steps = 0;                      // time steps written
  int source_kind = -1;               // what the writer writes; -1 none
  checked_array<double> lake_values;  // [lake] values of the channel lakes
};

// One "TS" block of a link/node dataset: per link the nodes 1..valid_nodes
// (or written_nodes, when given) of `first`, in value mode 0 (the value), 1
// (first minus second) or 2 (first over second); lake links take their
// lake's value from `lake_values` through `lake_of_link`.
void write_linknode_step(file_wrapper& file, int n_links, const ivec& valid_nodes, const ivec* written_nodes,
                         const ivec& link_types, int step, const dmat& first, const dmat* second, int mode,
                         const ivec& lake_of_link, const dvec& lake_values);

}  // namespace kavro
