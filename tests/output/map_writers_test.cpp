// The grid, dataset and link/node layouts, written in-process and compared
// byte by byte, and the map grids read back by the map reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../framework/event_test_support.h"
#include "framework/error_record.h"
#include "framework/file_wrapper.h"
#include "input/ascii_map.h"
#include "output/grid_writers.h"
#include "output/map_datasets.h"
#include "output/map_writers.h"
#include "output/output_steps.h"
#include "test_support.h"

namespace kavro {
namespace {

using kavro_test::read_file;
using kavro_test::scratch_dir;

imat mask_of(const std::vector<std::vector<int>>& rows) {
  imat m{"mask"};
  m.allocate(static_cast<long>(rows.size()), static_cast<long>(rows[0].size()));
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < rows[r].size(); ++c) m[static_cast<long>(r + 1)][static_cast<long>(c + 1)] = rows[r][c];
  return m;
}

dvec values_of(const std::vector<double>& v) {
  dvec d{"values"};
  d.allocate(static_cast<long>(v.size()));
  for (size_t i = 0; i < v.size(); ++i) d[static_cast<long>(i + 1)] = v[i];
  return d;
}

// Everything `write` puts into a fresh file.
template <class F>
std::string written(F&& write, const char* mode = "w") {
  scratch_dir dir;
  const auto path = dir / "out";
  std::FILE* f = std::fopen(path.c_str(), mode);
  write(f);
  std::fclose(f);
  return read_file(path);
}

TEST(MapWriters, AsciiMapRoundTripIsByteIdenticalToPrintf) {
  const imat mask = mask_of({{0, 1, 1, 0}, {1, 1, 1, 1}, {0, 1, 1, 0}});
  const dvec v = values_of({0.25, -3.5, 1.0 / 3.0, 123456.789012, 1e-7, 0.0, 42.0, 7.000001});
  const double north = 4500123.456, south = 4500093.456, east = 300040, west = 300000;
  const std::string text = written([&](std::FILE* f) { write_ascii_map(f, mask, north, south, east, west, 3, 4, v); });

  // The same map through the printf formats.
  const std::string reference = written([&](std::FILE* f) {
    std::fprintf(f, "north: %9.2lf\nsouth: %9.2lf\neast: %9.2lf\nwest: %9.2lf\nrows: %5d\ncols: %5d\n", north, south,
                 east, west, 3, 4);
    long n = 0;
    for (int r = 1; r <= 3; ++r) {
      for (int c = 1; c <= 4; ++c) std::fprintf(f, "%lf ", mask[r][c] ? v[++n] : 0.0);
      std::fputc('\n', f);
    }
  });
  EXPECT_EQ(text, reference);
  EXPECT_NE(text.find("north: 4500123.46\n"), std::string::npos);
  EXPECT_NE(text.find("rows:     3\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.find("cols:     4\n") + 12, 9), "0.000000 ");

  scratch_dir dir;
  kavro_test::write_file(dir / "m.asc", text);
  file_wrapper f;
  ASSERT_TRUE(f.open((dir / "m.asc").string(), "r"));
  imat grid = mask_of({{0, 1, 1, 0}, {1, 1, 1, 1}, {0, 1, 1, 0}});
  dvec back{"back"};
  back.allocate(8);
  double n = 0, s = 0, e = 0, w = 0;
  int rows = 0, cols = 0;
  error_rec = error_record{};
  testing::internal::CaptureStdout();
  read_ascii_map(f, "m.asc", map_reals_a, n, s, e, w, rows, cols, grid, &back, nullptr, nullptr, 3, 4, 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(error_rec.stop, 0);
  EXPECT_DOUBLE_EQ(n, 4500123.46);
  EXPECT_DOUBLE_EQ(s, 4500093.46);
  EXPECT_DOUBLE_EQ(e, 300040.0);
  EXPECT_DOUBLE_EQ(w, 300000.0);
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(cols, 4);
  for (long k = 1; k <= 8; ++k) EXPECT_NEAR(back[k], v[k], 5e-7) << k;
  for (long k : {1, 2, 6, 7, 8}) EXPECT_EQ(back[k], v[k]) << k;  // six decimals or fewer: exact
}

TEST(MapWriters, GridAndDatasetLayoutsOfASmallGrid) {
  const imat mask = mask_of({{1, 0}, {0, 1}, {0, 0}});
  const dvec v = values_of({5.0, 7.0});
  row_buffer buf;
  // East given below west: the lower-left centre still takes the smaller edge.
  for (const auto& [east, west] : {std::pair{520.0, 500.0}, std::pair{500.0, 520.0}}) {
    const grid_frame g{&mask, 1030, 1000, east, west, 3, 2, 10};
    EXPECT_EQ(written([&](std::FILE* f) { write_esri_ascii_grid(f, g, v, buf); }),
              "ncols \t2\nnrows \t3\nxllcenter    505.00\nyllcenter   1005.00\ncellsize     10.00\n"
              "NODATA_value -9999.9999\n5.0000 -9999.9999 \n-9999.9999 7.0000 \n-9999.9999 -9999.9999 \n");
  }
  const grid_frame g{&mask, 1030, 1000, 520, 500, 3, 2, 10};
  EXPECT_EQ(written([&](std::FILE* f) { write_dataset_frame(f, 2.5, g, v, false, buf); }),
            "TS 1 2.500000\n1\n0\n0\n1\n0\n0\n5.000000\n0.000000\n0.000000\n7.000000\n0.000000\n0.000000\n");

  // Binary: int32 200, int16 1, double time, six int16 statuses, six doubles.
  const std::string bin = written([&](std::FILE* f) { write_dataset_frame(f, 2.5, g, v, true, buf); }, "wb");
  ASSERT_EQ(bin.size(), 4u + 2 + 8 + 6 * 2 + 6 * 8);
  std::int32_t tag = 0;
  std::int16_t one = 0, status[6] = {};
  double time = 0, value[6] = {};
  std::memcpy(&tag, bin.data(), 4);
  std::memcpy(&one, bin.data() + 4, 2);
  std::memcpy(&time, bin.data() + 6, 8);
  std::memcpy(status, bin.data() + 14, 12);
  std::memcpy(value, bin.data() + 26, 48);
  EXPECT_EQ(tag, 200);
  EXPECT_EQ(one, 1);
  EXPECT_EQ(time, 2.5);
  const std::int16_t want_status[6] = {1, 0, 0, 1, 0, 0};
  const double want_value[6] = {5, 0, 0, 7, 0, 0};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(status[i], want_status[i]) << i;
    EXPECT_EQ(value[i], want_value[i]) << i;
  }
}

TEST(MapWriters, DatasetHeadersCountEveryGridCell) {
  scratch_dir dir;
  file_wrapper a, b;
  ASSERT_TRUE(write_ascii_dataset_header((dir / "d.dat").string(), a, 1012, "rain", 100, 80));
  ASSERT_TRUE(write_binary_dataset_header((dir / "d.bin").string(), b, 1012, "rain", 100, 80));
  a.close();
  b.close();
  EXPECT_EQ(read_file(dir / "d.dat"), "DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1012\nND 8000\nNC 8000\nNAME rain\n");
  const std::string bin = read_file(dir / "d.bin");
  ASSERT_EQ(bin.size(), 100u);
  std::int32_t words[15];
  std::memcpy(words, bin.data(), sizeof words);
  const std::int32_t want[15] = {3000, 100, 4, 110, 8, 120, 2, 130, 160, 1012, 170, 8000, 180, 8000, 190};
  for (int i = 0; i < 15; ++i) EXPECT_EQ(words[i], want[i]) << i;
  EXPECT_EQ(bin.substr(60), std::string("rain") + std::string(36, '\0'));

  // A dataset that cannot be created: error 59 with its path.
  error_rec = error_record{};
  file_wrapper c;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(write_ascii_dataset_header((dir / "no" / "such" / "d.dat").string() + "/", c, 1010, "depth", 1, 1));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(error_rec.code, 59);
  EXPECT_EQ(error_rec.stop, 1);
  error_rec = error_record{};
}

TEST(MapWriters, FrameNamesJoinFoldersWithOneSlash) {
  struct name_case {
    const char* folder;
    const char* stem;
    int frame;
    const char* suffix;
    const char* want;
  };
  const name_case cases[] = {
      {"maps", "depth", 3, ".asc", "maps/depth.0003.asc"},
      {"maps/", "depth", 3, ".asc", "maps/depth.0003.asc"},
      {"maps\\", "depth", 3, ".asc", "maps/depth.0003.asc"},
      {"out\\", "conc_01.conc", 2, ".asc", "out/conc_01.conc.0002.asc"},
      {"", "Snow_Temperature", 12, "", "Snow_Temperature.0012"},
  };
  for (const name_case& c : cases) EXPECT_EQ(grid_frame_name(c.folder, c.stem, c.frame, c.suffix), c.want) << c.folder;
}

// Link/node layout of a two-link network: link 1 with cross sections (type
// 4, 3 valid nodes, 4 written), link 2 the lake link of lake 1.
class LinkNode : public testing::Test {
 protected:
  void SetUp() override {
    nx.allocate(2);
    og.allocate(2);
    types.allocate(2);
    lake_of.allocate(2);
    lake.allocate(1);
    first.allocate(5, 2);
    second.allocate(5, 2);
    nx[1] = 3;
    og[1] = 4;
    types[1] = 4;
    types[2] = 32;
    lake_of[2] = 1;
    lake[1] = 98.25;
  }
  std::string step(int mode, bool counts) {
    scratch_dir dir;
    file_wrapper f;
    EXPECT_TRUE(f.open((dir / "ln").string(), "w"));
    write_linknode_step(f, 2, nx, counts ? &og : nullptr, types, 0, first, &second, mode, lake_of, lake);
    f.close();
    return read_file(dir / "ln");
  }
  ivec nx{"nx"}, og{"og"}, types{"types"}, lake_of{"lake_of"};
  dvec lake{"lake"};
  dmat first{"first"}, second{"second"};
};

TEST_F(LinkNode, HeaderAndBlocksOfTheValueModes) {
  EXPECT_EQ(written([](std::FILE* f) { write_linknode_header(f, 0, 2, 5, 12, 1, 7, 2010, 9, 0); }),
            "KAVRO_LINKNODE_STREAM_DEPTH\nNUM_LINKS     2\nTIME_STEP     5\nNUM_TS        12\n"
            "START_TIME     1  7 2010  9  0  0\n");
  EXPECT_EQ(written([](std::FILE* f) { write_linknode_header(f, 32, 2, 5, 12, 1, 7, 2010, 9, 0); }),
            "NUM_LINKS     2\nTIME_STEP     5\nNUM_TS        12\nSTART_TIME     1  7 2010  9  0  0\n");

  const double yp[] = {101.5, 101.2, 100.9, 100.6};
  for (int j = 1; j <= 4; ++j) {
    first[j][1] = yp[j - 1];
    second[j][1] = 100.0;
  }
  EXPECT_EQ(step(1, true), "TS    0\n4   1  1.50000   1  1.20000   1  0.90000   0  -999.999   \n-1 98.25000   \n\n");
  EXPECT_EQ(step(0, true), "TS    0\n4   1  101.50000   1  101.20000   1  100.90000   0  -999.999   \n0  -999.999   \n\n");

  // Discharge over area; a node of area 1e-7 or less has no velocity.
  const double q[] = {3.0, 2.4, 0.5}, a[] = {2.0, 1.2, 5e-8};
  for (int j = 1; j <= 3; ++j) {
    first[j][1] = q[j - 1];
    second[j][1] = a[j - 1];
  }
  EXPECT_EQ(step(2, true), "TS    0\n4   1  1.50000   1  2.00000   1  0.00000   0  -999.999   \n-1 98.25000   \n\n");
  // Without written counts: the valid nodes only, still as velocities.
  EXPECT_EQ(step(2, false), "TS    0\n3   1  1.50000   1  2.00000   1  0.00000   \n-1 98.25000   \n\n");
}

TEST_F(LinkNode, WriterOnAFlatSource) {
  const int stride = 5;
  std::vector<double> flat(3 * stride, 0.0);
  const double v[] = {0.5, 0.6, 0.7, 0.8};
  for (int j = 1; j <= 4; ++j) flat[static_cast<size_t>(j + 1 * stride)] = v[j - 1];
  ivec nx1{"nx1"};
  nx1.allocate(2);
  nx1[1] = 4;
  og[1] = 4;
  scratch_dir dir;
  const std::string base = (dir / "c1").string();
  {
    linknode_writer w;
    w.set_link_source(27, flat.data(), &nx1, &og, &types, nullptr, &lake_of, &lake, 1, 2, stride);
    w.open(base, ".chan", ".conc", 1.0);
    w.write_step();
    w.write_step();
  }
  EXPECT_EQ(read_file(base + ".chan.conc"),
            "KAVRO_LINKNODE_CONCENTRATION\nNUM_LINKS     2\nTIME_STEP     15\nNUM_TS        15\n"
            "START_TIME     0  0    0  0  0  0\n"
            "TS    0\n4   1  0.50000   1  0.60000   1  0.70000   1  0.00000   \n0  -999.999   \n\n"
            "TS    1\n4   1  0.50000   1  0.60000   1  0.70000   1  0.00000   \n0  -999.999   \n\n");
}

TEST(LinkNodeHeaders, IntervalUnderAMinuteCountsTheBlocks) {
  struct header_case {
    int interval_steps;
    double dt;
    const char* time_step;
    const char* num_ts;
  };
  // HYD_FREQ 5 min and 0.5 min at 10 s steps over 10 min.
  for (const header_case& c : {header_case{30, 10.0, "TIME_STEP     5\n", "NUM_TS        2\n"},
                               header_case{3, 10.0, "TIME_STEP     0\n", "NUM_TS        20\n"}}) {
    auto ms = new_record();
    scratch_dir dir;
    ms->channel_on = 1;
    ms->chan_depth_on = 1;
    ms->LINKS = 2;
    ms->hyd_interval_steps = c.interval_steps;
    ms->dt = c.dt;
    ms->sim_duration_min = 10;
    ASSERT_TRUE(ms->chan_depth_file.open((dir / "d").string(), "w"));
    write_linknode_headers(*ms);
    ms->chan_depth_file.close();
    const std::string text = read_file(dir / "d");
    EXPECT_NE(text.find(c.time_step), std::string::npos) << text;
    EXPECT_NE(text.find(c.num_ts), std::string::npos) << text;
  }
}

TEST(LinkNodeHeaders, TimeSeriesStepWritesOneBlockPerInterval) {
  auto ms = new_record();
  scratch_dir dir;
  make_cells(*ms, 4, 10.0);
  ms->ov_qx.allocate(4);
  ms->ov_qy.allocate(4);
  ms->channel_on = 1;
  ms->chan_depth_on = 1;
  ms->LINKS = 1;
  ms->nx.allocate(1);
  ms->og_nx1.allocate(1);
  ms->ltype.allocate(1);
  ms->nx[1] = ms->og_nx1[1] = 2;
  ms->ltype[1] = 4;
  ms->yp.allocate(3, 1);
  ms->bel.allocate(3, 1);
  ms->yp[1][1] = ms->yp[2][1] = 1.25;
  ms->hyd_interval_steps = 6;
  ms->dt = 10.0;
  ASSERT_TRUE(ms->chan_depth_file.open((dir / "d").string(), "w"));
  for (int s = 1; s <= 12; ++s) {
    ms->step_no = s;
    ms->elapsed_min = s / 6.0;
    write_timeseries_output(*ms);
  }
  ms->chan_depth_file.close();
  EXPECT_EQ(read_file(dir / "d"), "TS    0\n2   1  1.25000   1  1.25000   \n\nTS    1\n2   1  1.25000   1  1.25000   \n\n");
}

TEST(MapDatasetWriters, ContaminantIdsTagsAndOneEndMarker) {
  for (const int n_constituents : {2, 3}) {
    auto ms = new_record();
    scratch_dir dir;
    ms->mask.allocate(1, 2);
    ms->mask[1][1] = ms->mask[1][2] = 1;
    ms->grid_rows = 1;
    ms->grid_cols = 2;
    ms->dx = 10;
    ms->map_dataset_mode = 1;
    ms->n_constituents = n_constituents;
    ms->constituent_type.grow(n_constituents);
    ms->constituent_type[1] = ms->constituent_type[2] = 1;
    if (n_constituents == 3) ms->constituent_type[3] = 2;
    ms->contamoutputfilenames.allocate(2);
    ms->contamoutputfilenames[1] = (dir / "a").string();
    ms->contamoutputfilenames[2] = (dir / "b").string();
    error_rec = error_record{};
    open_contaminant_map_writers(*ms);
    ASSERT_EQ(ms->contam_map_writers.size(), 2);
    dvec values = values_of({1.5, 2.5});
    ms->contam_map_writers[2][1].values = &values;
    ms->contam_map_writers[2][1].write_frame(1.0);
    ms->contam_map_writers[2][1].close();
    ms.reset();  // the teardown closes the others: one end marker each
    const std::string conc = read_file(dir / "b.conc");
    EXPECT_NE(conc.find("OBJID " + std::to_string(5000 + n_constituents) + "\n"), std::string::npos) << conc;
    EXPECT_NE(conc.find("NAME conc_02\n"), std::string::npos);
    EXPECT_NE(conc.find("TS 1 1.000000\n1\n1\n1.500000\n2.500000\nENDDS\n"), std::string::npos) << conc;
    const std::string mass = read_file(dir / "b.mass");
    EXPECT_NE(mass.find("OBJID " + std::to_string(5001 + n_constituents) + "\n"), std::string::npos) << mass;
    EXPECT_NE(mass.find("NAME mass_02\n"), std::string::npos);
    for (const char* name : {"a.conc", "a.mass", "b.conc", "b.mass"}) {
      const std::string text = read_file(dir / name);
      EXPECT_EQ(kavro_test::count_lines(dir / name) > 0, true);
      EXPECT_EQ(text.find("ENDDS"), text.rfind("ENDDS")) << name;
      EXPECT_EQ(text.substr(text.size() - 6), "ENDDS\n") << name;
    }
  }
}

}  // namespace
}  // namespace kavro
