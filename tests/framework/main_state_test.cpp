// The run record: every field exists once with its kind (checked while the
// test compiles), a newly built record is empty except for its defaults, and
// the record cannot be copied.
#include "framework/main_state.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <utility>

namespace kavro {
namespace {

template <class T>
struct is_unique_ptr : std::false_type {};
template <class T, class D>
struct is_unique_ptr<std::unique_ptr<T, D>> : std::true_type {};

// T is Tmpl<U> for some U.
template <class T, template <class> class Tmpl>
struct is_instance : std::false_type {};
template <class U, template <class> class Tmpl>
struct is_instance<Tmpl<U>, Tmpl> : std::true_type {};

template <class T>
struct is_record_array : std::false_type {};
template <class T>
struct is_record_array<one_based_vec<T>> : std::is_class<T> {};

template <class T>
constexpr bool is_array_kind = is_instance<T, one_based_vec>::value || is_instance<T, one_based_mat>::value ||
                               is_instance<T, one_based_3d>::value || is_instance<T, checked_array>::value ||
                               is_instance<T, checked_array_2d>::value || is_instance<T, checked_array_3d>::value;

// An embedded record: a class that is none of the other member kinds.
template <class T>
constexpr bool is_plain_record = std::is_class_v<T> && !is_unique_ptr<T>::value && !is_array_kind<T> &&
                                 !std::is_same_v<T, file_wrapper> && !std::is_same_v<T, std::string>;

// Each field named once with its kind: an ambiguous name (declared in two
// blocks) or a missing one stops the build here.
#define SCALAR(n, T, v) static_assert(std::is_same_v<decltype(main_state::n), T>, #n);
#define ARRAY(n, T) static_assert(std::is_same_v<decltype(main_state::n), T>, #n);
#define FIXED(n, T, size) ARRAY(n, T)
#define CHECKED(n, T, label) ARRAY(n, T)
#define WRAPPER(n) ARRAY(n, file_wrapper)
#define TEXT(n, v) ARRAY(n, std::string)
#define RECORD(n) static_assert(is_plain_record<decltype(main_state::n)>, #n);
#define RECORDS(n) static_assert(is_record_array<decltype(main_state::n)>::value, #n);
#define OWNED(n) static_assert(is_unique_ptr<decltype(main_state::n)>::value, #n);
#define SUB_SCALAR(r, n, T, v) static_assert(std::is_same_v<decltype(std::declval<main_state&>().r.n), T>, #r "." #n);
#define SUB_ARRAY(r, n, T) SUB_SCALAR(r, n, T, 0)
#include "main_state_fields.inc"
#undef SCALAR
#undef ARRAY
#undef FIXED
#undef CHECKED
#undef WRAPPER
#undef TEXT
#undef RECORD
#undef RECORDS
#undef OWNED
#undef SUB_SCALAR
#undef SUB_ARRAY

static_assert(!std::is_copy_constructible_v<main_state>);
static_assert(!std::is_copy_assignable_v<main_state>);
static_assert(!std::is_move_constructible_v<main_state>);

bool is_zero(double v) { return v == 0.0; }
bool is_zero(const precip_date& d) {
  return d.year == 0 && d.month == 0 && d.day == 0 && d.hour == 0 && d.minute == 0;
}

// Entries 1..n of a table that the record allocates when it is built.
template <class T>
void expect_zeroed_table(const one_based_vec<T>& table, long n, const char* field) {
  ASSERT_FALSE(table.empty()) << field;
  EXPECT_EQ(table.size(), n) << field;
  EXPECT_EQ(table.name(), field);
  long nonzero = 0;
  for (long i = 0; i <= table.size(); ++i) nonzero += is_zero(table[i]) ? 0 : 1;
  EXPECT_EQ(nonzero, 0) << field;
}

void expect_closed(const file_wrapper& f, const char* field) {
  EXPECT_FALSE(f.is_open()) << field;
  EXPECT_EQ(f.fp_check, nullptr) << field;
  EXPECT_TRUE(f.name.empty()) << field;
}

TEST(MainState, NewRecordHoldsOnlyItsDefaults) {
  auto ms = std::make_unique<main_state>();
#define SCALAR(n, T, v) EXPECT_EQ(ms->n, static_cast<T>(v)) << #n;
#define ARRAY(n, T)                    \
  EXPECT_TRUE(ms->n.empty()) << #n;    \
  EXPECT_EQ(ms->n.name(), #n);
#define FIXED(n, T, size) expect_zeroed_table(ms->n, size, #n);
#define CHECKED(n, T, label) EXPECT_EQ(ms->n.name(), label) << #n;
#define WRAPPER(n) expect_closed(ms->n, #n);
#define TEXT(n, v) EXPECT_EQ(ms->n, v) << #n;
#define RECORD(n)
#define RECORDS(n) ARRAY(n, void)
#define OWNED(n) EXPECT_EQ(ms->n, nullptr) << #n;
#define SUB_SCALAR(r, n, T, v) EXPECT_EQ(ms->r.n, static_cast<T>(v)) << #r "." #n;
#define SUB_ARRAY(r, n, T)                 \
  EXPECT_TRUE(ms->r.n.empty()) << #r "." #n; \
  EXPECT_EQ(ms->r.n.name(), #n);
#include "main_state_fields.inc"
}

TEST(MainState, EmbeddedRecordsStartZeroAndClosed) {
  auto ms = std::make_unique<main_state>();
  const hmet_hour_record& w = ms->hmet_record;
  for (double v : {w.hmet_direct_rad, w.hmet_diffuse_rad, w.hmet_cloud_cover, w.hmet_air_temp, w.hmet_rel_humidity,
                   w.hmet_pressure, w.hmet_wind_speed}) {
    EXPECT_EQ(v, 0.0);
  }
  EXPECT_EQ(w.year + w.month + w.day + w.hour, 0);

  const sed_control_record& s = ms->sed_control;
  EXPECT_EQ(s.erosion_on, 0);
  EXPECT_EQ(s.adjust_channel_bed_on, 0);
  EXPECT_EQ(s.capacity_formula, 0);
  EXPECT_EQ(s.water_temp, 0.0);
  const file_wrapper* files[] = {&s.vol_sed_susp_file, &s.max_sed_flux_file, &s.net_sed_volume_file,
                                 &s.outlet_sed_flux_file, &s.outlet_sed_tss_file, &s.out_tss_loc_file};
  for (const file_wrapper* f : files) expect_closed(*f, "sed_control file");
  EXPECT_TRUE(s.vol_sed_susp_path.empty());
}

TEST(MainState, EventStartTimesAreIndexedByEventFromOne) {
  auto ms = std::make_unique<main_state>();
  // Events 1..100,000 each have a cell of their own; writing the last one
  // touches nothing else (the address sanitizer checks the bound).
  ms->event_start_times[max_precip_events] = 2451545.5;
  ms->event_start_times[1] = 2451544.5;
  EXPECT_EQ(ms->event_start_times[0], 0.0);
  EXPECT_EQ(ms->event_start_times[2], 0.0);
  EXPECT_EQ(&ms->event_start_times[max_precip_events], ms->event_start_times.data() + max_precip_events);
  // Two records never share the table.
  auto other = std::make_unique<main_state>();
  EXPECT_EQ(other->event_start_times[1], 0.0);
  EXPECT_NE(other->event_start_times.data(), ms->event_start_times.data());
}

TEST(MainState, RecordStaysSmallWithItsTablesOnTheHeap) {
  // The fixed-capacity tables are held through pointers: the record's own
  // size does not grow with their capacity.
  EXPECT_LT(sizeof(main_state), sizeof(double) * static_cast<size_t>(max_precip_events));
}

}  // namespace
}  // namespace kavro
