#include "output/grid_writers.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "framework/parallel_sum.h"

namespace kavro {

namespace {

// Widest "%lf" of a double: 309 integer digits, sign, point and six decimals.
constexpr std::size_t widest_value = 320;
constexpr std::string_view esri_nodata = "-9999.9999 ";

// Makes room for `bytes` in the buffer; it only ever grows, so a run
// allocates once.
char* room(row_buffer& buf, std::size_t bytes) {
  if (buf.size() < bytes) buf.resize(bytes);
  return buf.data();
}

// printf "%.<precision>f" of v at p; returns the end.
char* put_fixed(char* p, double v, int precision) {
  return std::to_chars(p, p + widest_value, v, std::chars_format::fixed, precision).ptr;
}

char* put_text(char* p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

// Little-endian bytes of a number, whatever the host order.
template <class T>
char* put_le(char* p, T v) {
  std::memcpy(p, &v, sizeof v);
  if constexpr (std::endian::native == std::endian::big) std::reverse(p, p + sizeof v);
  return p + sizeof v;
}

void write_bytes(std::FILE* out, const char* begin, const char* end) {
  std::fwrite(begin, 1, static_cast<std::size_t>(end - begin), out);
}

bool open_dataset(const std::string& path, file_wrapper& file, std::string_view mode) {
  if (file.open(path, mode)) return true;
  error_rec.code = 59;
  error_rec.name = path;
  error_rec.stop = 1;
  return false;
}

}  // namespace

void write_esri_ascii_grid(std::FILE* out, const grid_frame& g, cell_values values, row_buffer& buf) {
  std::fprintf(out, "ncols \t%d\n", g.cols);
  std::fprintf(out, "nrows \t%d\n", g.rows);
  std::fprintf(out, "xllcenter %9.2lf\n", std::min(g.east, g.west) + g.cellsize / 2.0);
  std::fprintf(out, "yllcenter %9.2lf\n", std::min(g.north, g.south) + g.cellsize / 2.0);
  std::fprintf(out, "cellsize %9.2lf\n", g.cellsize);
  std::fprintf(out, "NODATA_value -9999.9999\n");
  char* const begin = room(buf, static_cast<std::size_t>(g.cols) * (widest_value + 1) + 1);
  long n = 0;
  for (int r = 1; r <= g.rows; ++r) {
    const int* mask_row = (*g.mask)[r];
    char* p = begin;
    for (int c = 1; c <= g.cols; ++c) {
      if (mask_row[c] == 0) {
        p = put_text(p, esri_nodata);
        continue;
      }
      ++n;
      p = put_fixed(p, n <= values.size() ? values[n] : 0.0, 4);
      *p++ = ' ';
    }
    *p++ = '\n';
    write_bytes(out, begin, p);
  }
}

void write_ascii_map_rows(std::FILE* out, const imat& mask, int rows, int cols, const dvec& values, row_buffer& buf,
                          bool exact) {
  char* const begin = room(buf, static_cast<std::size_t>(cols) * (widest_value + 1) + 1);
  long n = 0;
  for (int r = 1; r <= rows; ++r) {
    const int* mask_row = mask[r];
    char* p = begin;
    for (int c = 1; c <= cols; ++c) {
      double v = 0.0;
      if (mask_row[c] != 0 && ++n <= values.size()) v = values[n];
      p = exact ? std::to_chars(p, p + widest_value, v).ptr : put_fixed(p, v, 6);
      *p++ = ' ';
    }
    *p++ = '\n';
    write_bytes(out, begin, p);
  }
}

void write_integer_grid_rows(std::FILE* out, const imat& grid, int rows, int cols, row_buffer& buf) {
  constexpr std::size_t widest_int = 11;  // "-2147483648"
  // Blocks of rows are formatted in parallel, each row in a slot of its
  // own, and written in row order.
  constexpr int block_rows = 64;
  const std::size_t slot = static_cast<std::size_t>(std::max(cols, 0)) * (widest_int + 1) + 1;
  char* const begin = room(buf, slot * block_rows);
  std::size_t length[block_rows] = {};
  for (int first = 1; first <= rows; first += block_rows) {
    const int last = std::min(rows, first + block_rows - 1);
#pragma omp parallel for schedule(static) if (static_cast<long>(last - first + 1) * cols >= parallel_min_items)
    for (int r = first; r <= last; ++r) {
      const int* row = grid[r];
      char* const row_begin = begin + static_cast<std::size_t>(r - first) * slot;
      char* p = row_begin;
      for (int c = 1; c <= cols; ++c) {
        p = std::to_chars(p, p + widest_int, row[c]).ptr;
        *p++ = ' ';
      }
      *p++ = '\n';
      length[r - first] = static_cast<std::size_t>(p - row_begin);
    }
    for (int r = first; r <= last; ++r) {
      const char* row_begin = begin + static_cast<std::size_t>(r - first) * slot;
      write_bytes(out, row_begin, row_begin + length[r - first]);
    }
  }
}

bool write_ascii_dataset_header(const std::string& path, file_wrapper& file, int id, std::string_view name, int rows,
                                int cols) {
  if (!open_dataset(path, file, "w")) return false;
  const long cells = static_cast<long>(rows) * cols;
  std::fprintf(file.fp, "DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID %d\nND %ld\nNC %ld\nNAME %.*s\n", id, cells, cells,
               static_cast<int>(name.size()), name.data());
  return true;
}

bool write_binary_dataset_header(const std::string& path, file_wrapper& file, int id, std::string_view name, int rows,
                                 int cols) {
  if (!open_dataset(path, file, "wb")) return false;
  const auto cells = static_cast<std::int32_t>(static_cast<long>(rows) * cols);
  const std::int32_t words[] = {3000, 100, 4, 110, 8, 120, 2, 130, 160, id, 170, cells, 180, cells, 190};
  char header[sizeof words + 40] = {};
  char* p = header;
  for (std::int32_t w : words) p = put_le(p, w);
  std::memcpy(p, name.data(), std::min<std::size_t>(name.size(), 40));
  std::fwrite(header, 1, sizeof header, file.fp);
  return true;
}

void write_dataset_frame(std::FILE* out, double minutes, const grid_frame& g, cell_values values, bool binary,
                         row_buffer& buf) {
  const std::size_t cells = static_cast<std::size_t>(g.rows) * static_cast<std::size_t>(g.cols);
  if (binary) {
    char head[4 + 2 + 8];
    char* p = put_le(head, std::int32_t{200});
    p = put_le(p, std::int16_t{1});
    p = put_le(p, minutes);
    write_bytes(out, head, p);
    // Statuses, then values: one array each.
    char* const begin = room(buf, cells * sizeof(double));
    p = begin;
    for (int r = 1; r <= g.rows; ++r)
      for (int c = 1; c <= g.cols; ++c) p = put_le(p, static_cast<std::int16_t>((*g.mask)[r][c] != 0 ? 1 : 0));
    write_bytes(out, begin, p);
    p = begin;
    long n = 0;
    for (int r = 1; r <= g.rows; ++r) {
      for (int c = 1; c <= g.cols; ++c) {
        double v = 0.0;
        if ((*g.mask)[r][c] != 0 && ++n <= values.size()) v = values[n];
        p = put_le(p, v);
      }
    }
    write_bytes(out, begin, p);
    return;
  }
  std::fprintf(out, "TS 1 %lf\n", minutes);
  char* const begin = room(buf, static_cast<std::size_t>(g.cols) * (widest_value + 1) + 1);
  for (int r = 1; r <= g.rows; ++r) {
    const int* mask_row = (*g.mask)[r];
    char* p = begin;
    for (int c = 1; c <= g.cols; ++c) p = put_text(p, mask_row[c] != 0 ? "1\n" : "0\n");
    write_bytes(out, begin, p);
  }
  long n = 0;
  for (int r = 1; r <= g.rows; ++r) {
    const int* mask_row = (*g.mask)[r];
    char* p = begin;
    for (int c = 1; c <= g.cols; ++c) {
      double v = 0.0;
      if (mask_row[c] != 0 && ++n <= values.size()) v = values[n];
      p = put_fixed(p, v, 6);
      *p++ = '\n';
    }
    write_bytes(out, begin, p);
  }
}

void write_dataset_end(std::FILE* out, bool binary) {
  if (!binary) {
    std::fputs("ENDDS\n", out);
    return;
  }
  char word[4];
  put_le(word, std::int32_t{210});
  std::fwrite(word, 1, sizeof word, out);
}

std::string grid_frame_name(std::string_view folder, std::string_view stem, int frame, std::string_view suffix) {
  std::string name = normalize_separators(folder);
  if (!name.empty() && name.back() != '/') name += '/';
  char number[16];
  std::snprintf(number, sizeof number, ".%04d", frame);
  name.append(stem).append(number).append(suffix);
  return name;
}

}  // namespace kavro
