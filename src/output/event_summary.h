// The event report of the run log and its aligned constituent lines.
#pragma once

#include <cstdio>
#include <string_view>

namespace kavro {

struct main_state;

// One aligned line of the constituent summaries: the label, one blank, fill
// characters up to `width` columns, then blanks so that the decimal point of
// the number (printed with `format`) sits `point_offset` + 1 columns further
// (at least one blank), then 1 + `extra_newlines` newlines. With width 50 and
// offset 14 every decimal point lands in column 66.
void print_summary_line(std::FILE* f, std::string_view label, double value, int width, const char* format, char fill,
                        int point_offset, int extra_newlines);

// Groundwater exchanges water with the points of a nested run.
bool gw_xy_boundaries_on(const main_state& ms);

// The per-constituent budgets of the event (soil, overland, channels, lakes)
// with their stored errors; called when some constituent transport is on.
void write_event_constituent_budgets(main_state& ms);
// The sediment budgets of the event; called when erosion is on.
void write_event_sediment_budgets(main_state& ms);

}  // namespace kavro
