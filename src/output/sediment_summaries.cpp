// The sediment budgets of the run log: the overland sediment of every size
// class, the sand and wash load of the channels and the suspended sediment
// of the lakes, once per event (the overland part as running totals) and
// once for the whole run; and the file of channel bed elevations after the
// bed has moved. Volumes in m3.
#include <cstdio>

#include "channel/link_kinds.h"
#include "framework/error_record.h"
#include "framework/main_state.h"
#include "output/event_summary.h"
#include "output/final_summary.h"

namespace kavro {

namespace {

// Entry i of a budget vector; 0 where the vector does not reach (a class
// total that the sediment set-up did not allocate for this run).
double entry(const dvec& v, long i) { return i >= 0 && i <= v.size() ? v[i] : 0.0; }
double entry(const dmat& m, long i, long j) {
  return i >= 0 && j >= 0 && i <= m.size1() && j <= m.size2() ? m[i][j] : 0.0;
}

// Error of a budget in percent, 0 when what came in is not above 1e-16.
double budget_error(double in, double out) { return in > 1e-16 ? (in - out) / in * 100.0 : 0.0; }

bool is_sand(const main_state& ms, long c) { return c <= ms.sand.size() && ms.sand[c] != 0; }

// The overland sediment of every size class. The class totals run from the
// start of the run: eroded (stored negative), suspended, deposited and
// routed through the outlet are entries 1 to 4 of the class's row.
void write_overland_classes(main_state& ms, std::FILE* f, bool event) {
  const dmat& tot = ms.ov_sed->tot_sed;
  for (long l = 1; l <= ms.sed_control.n_sed_classes; ++l) {
    const double eroded = entry(tot, l, 1), suspended = entry(tot, l, 2), deposited = entry(tot, l, 3);
    std::fprintf(f, "Total sediment %ld eroded from surface:        %16.8lf m3\n", l, -eroded);
    std::fprintf(f, "Total sediment %ld deposited on surface:       %16.8lf m3\n", l, deposited);
    std::fprintf(f, "Total sediment %ld remaining in suspension:    %16.8lf m3\n", l, suspended);
    const double E = -eroded;
    double A = deposited + suspended;
    if (ms.ov_sed_out_on) {
      std::fprintf(f, "Total sediment %ld transported into channels:  %16.8lf m3\n", l, entry(ms.sed_to_chan_total, l));
      A += entry(ms.sed_to_chan_total, l);
      if (ms.lakes_on) {
        const double to_lakes = entry(ms.GLOBAL_sed_vol_overland_to_lake, 0, l);
        std::fprintf(f, "Net sediment %ld from overland to lakes:       %16.8lf m3\n", l, to_lakes);
        if (!is_sand(ms, l)) A += to_lakes;
      }
    } else {
      const double routed = entry(tot, l, 4);
      std::fprintf(f, "Total sediment %ld routed through outlet       %16.8lf m3\n", l, routed);
      A += routed;
    }
    if (ms.storm_sewer_on) {
      // The event report shows the event amount; the balance takes the run's.
      if (event)
        std::fprintf(f, "Total sediment %ld into superlinks (event)     %16.8lf m3\n", l,
                     entry(ms.sed_to_superlink_event, l));
      else
        std::fprintf(f, "Total sediment %ld into superlinks:            %16.8lf m3\n", l,
                     entry(ms.sed_to_superlink_total, l));
      A += entry(ms.sed_to_superlink_total, l);
      if (event && l == 1)
        std::fprintf(f, "\nTotal water carrying sediments to superlinks (event) %16.8lf m3\n",
                     ms.vol_sed_water_superlink);
    }
    std::fprintf(f, "Mass balance error for sediment %ld %10.4lf percent \n", l, E > 1e-16 ? (E - A) / E * 100.0 : 0.0);
    if (!is_sand(ms, l) && ms.lakes_on) {
      std::fprintf(f,
                   "NOTE:  Interactions between sediment %ld and lakes in the watershed prevent an exact mass "
                   "balance calculation \n",
                   l);
      std::fprintf(f, "       Reported errors are likely accounting errors only \n");
    }
    std::fprintf(f, "\n");
  }
}

// The three channel sediment errors of a budget of sand and wash load.
struct channel_sediment_budget {
  double Wi = 0, Win = 0, WLc = 0, WcL = 0, Wo = 0, Wf = 0;  // wash load
  double Si = 0, Sin = 0, SL = 0, So = 0, Sf = 0;            // sand
};

void write_channel_errors(std::FILE* f, const channel_sediment_budget& b, const char* heading) {
  const double wash = budget_error(b.Wi + b.Win + b.WLc, b.Wo + b.Wf + b.WcL);
  const double sand = budget_error(b.Sin + b.Si, b.Sf + b.So + b.SL);
  const double all = budget_error(b.Wi + b.Si + b.Win + b.Sin + b.WLc, b.Wo + b.Wf + b.Sf + b.So + b.SL + b.WcL);
  std::fprintf(f, "%s", heading);
  std::fprintf(f, "Mass conservation error for wash load:     %10.6lf percent\n", wash);
  std::fprintf(f, "Mass conservation error for sand load:     %10.6lf percent\n", sand);
  std::fprintf(f, "Overall channel sediment mass cons. error: %10.6lf percent\n", all);
}

// The sand and wash load of the channels over the whole run (no initial
// wash load: the channels start clear of it).
void write_run_channel_sediment(main_state& ms, std::FILE* f) {
  std::fprintf(f, "Channel sediment routing mass quantities\n");
  for (long l = 1; l <= ms.sed_control.n_sed_classes; ++l)
    std::fprintf(f, "Total sediment %ld transported into channels: %16.8lf m3\n", l, entry(ms.sed_to_chan_total, l));
  std::fprintf(f, "\n");
  channel_sediment_budget b;
  b.Si = ms.vol_sand_chan_init_total;
  b.Sin = ms.vol_sand_to_chan_total;
  b.So = ms.vol_sand_out_total;
  b.Sf = ms.vol_sand_chan_final;
  b.Win = entry(ms.sed_to_chan_total, 0);
  b.Wo = ms.vol_washload_out_total;
  b.Wf = ms.vol_washload_susp_final;
  if (ms.lakes_on) {
    b.SL = entry(ms.tot_lake_sand_in, 0);
    b.WcL = entry(ms.GLOBAL_SS_vol_chan_to_lake, 0, 0);
    b.WLc = entry(ms.GLOBAL_SS_vol_lake_to_chan, 0, 0);
  }
  std::fprintf(f, "Initial volume of sand in channels:        %16.8lf m3\n", b.Si);
  std::fprintf(f, "Total sand to chan from overland:          %16.8lf m3\n", b.Sin);
  if (ms.lakes_on) std::fprintf(f, "Total sand from chan to lakes:             %16.8lf m3\n", b.SL);
  std::fprintf(f, "Total sand outlet discharge:               %16.8lf m3\n", b.So);
  std::fprintf(f, "Final sand in channels:                    %16.8lf m3\n", b.Sf);
  std::fprintf(f, "\n");
  std::fprintf(f, "Total wash-load to chan from overland:     %16.8lf m3\n", b.Win);
  if (ms.lakes_on) {
    std::fprintf(f, "Total wash-load from chan to lakes :       %16.8lf m3\n", b.WcL);
    std::fprintf(f, "Total wash-load from lake to chan:         %16.8lf m3\n", b.WLc);
  }
  std::fprintf(f, "Total wash-load outlet discharge:          %16.8lf m3\n", b.Wo);
  std::fprintf(f, "Final wash-load remaining in suspension:   %16.8lf m3\n", b.Wf);
  write_channel_errors(f, b, "\n Total channel sediment mass-balance:\n");
  if (!ms.lakes_on) return;
  std::fprintf(f, "\n");
  std::fprintf(f, "Lake Summary \n");
  std::fprintf(f, "Net wash-load into lakes from overland:                     %10.1lf m3\n", ms.vol_lake_sed_in_total);
  std::fprintf(f, "Total wash-load settled in lakes:                           %10.1lf m3\n",
               ms.vol_lake_sed_settled_total);
  std::fprintf(f, "Total sand-load from upstream channel settled in lake bed:  %10.1lf m3\n",
               entry(ms.tot_lake_sand_in, 0));
  std::fprintf(f, "Total overland sand-load settled in lake boundaries:        %10.1lf m3\n",
               entry(ms.tot_lake_depo_in, 0));
  std::fprintf(f, "\n");
  for (long j = 1; j <= ms.n_lakes; ++j) {
    std::fprintf(f, "Summary for lake %ld \n", j);
    std::fprintf(f, "\n");
    std::fprintf(f, "Total vol of SS from lake to chan           %16.8lf m3 \n", entry(ms.GLOBAL_SS_vol_lake_to_chan, j, 0));
    std::fprintf(f, "Total vol of SS from chan to lake           %16.8lf m3 \n", entry(ms.GLOBAL_SS_vol_chan_to_lake, j, 0));
    std::fprintf(f, "Total net vol of SS from overland to lake   %16.8lf m3 \n",
                 entry(ms.GLOBAL_SS_vol_overland_to_lake, j, 0));
    std::fprintf(f, "Total vol of SS settled in lake             %16.8lf m3 \n", entry(ms.GLOBAL_SS_vol_lake_settled, j, 0));
    std::fprintf(f, "Total Suspended Sediment in lake            %16.8lf m3 \n", entry(ms.SS_vol_lake, j, 0));
    std::fprintf(f, "\n");
    std::fprintf(f, "Suspended Sediment Concentration              %16.8lf cc/m3\n",
                 entry(ms.SS_conc_vol_lake, j, 0) * 100.0 * 100.0 * 100.0);
    std::fprintf(f, "Suspended Sediment Concentration              %16.8lf mg/L\n", entry(ms.SS_conc_lake, j, 0));
    std::fprintf(f, "\n");
    std::fprintf(f, "Total sand settled into lake bottom:        %16.8lf m3 \n", entry(ms.tot_lake_sand_in, j));
    std::fprintf(f, "Total sand settled in lake boundary:        %16.8lf m3 \n", entry(ms.tot_lake_depo_in, j));
  }
}

// The sand, wash load and lake sediment of the event.
void write_event_channel_sediment(main_state& ms, std::FILE* f) {
  std::fprintf(f, "Channel sediment routing mass quantities\n");
  std::fprintf(f, "Quanties are this Event \n");
  for (long l = 1; l <= ms.sed_control.n_sed_classes; ++l)
    std::fprintf(f, "Total sediment %ld transported into channels this event: %10.2lf m3\n", l,
                 entry(ms.sed_to_chan_by_class, l));
  std::fprintf(f, "\n");
  channel_sediment_budget b;
  b.Si = ms.vol_sand_chan_init;
  b.Sin = ms.vol_sand_to_chan;
  b.So = ms.vol_sand_out;
  b.Sf = ms.vol_sand_chan_final;
  b.Wi = ms.vol_washload_susp_init;
  b.Win = entry(ms.sed_to_chan_by_class, 0);
  b.Wo = ms.vol_washload_out;
  b.Wf = ms.vol_washload_susp_final;
  if (ms.lakes_on) {
    b.SL = entry(ms.event_lake_sand_in, 0);
    b.WcL = entry(ms.SS_vol_chan_to_lake, 0, 0);
    b.WLc = entry(ms.SS_vol_lake_to_chan, 0, 0);
  }
  std::fprintf(f, "Initial volume of sand in channels:        %16.8lf m3\n", b.Si);
  std::fprintf(f, "Event sand to chan from overland:          %16.8lf m3\n", b.Sin);
  if (ms.lakes_on) std::fprintf(f, "Event sand from chan to lakes:             %16.8lf m3\n", b.SL);
  std::fprintf(f, "Event sand outlet discharge:               %16.8lf m3\n", b.So);
  std::fprintf(f, "Final sand in channels:                    %16.8lf m3\n", b.Sf);
  std::fprintf(f, "\n");
  std::fprintf(f, "Initial wash load in suspension:           %16.8lf m3 \n", b.Wi);
  std::fprintf(f, "Event wash-load to chan from overland:     %16.8lf m3\n", b.Win);
  if (ms.lakes_on) {
    std::fprintf(f, "Event wash-load from chan to lakes :       %16.8lf m3\n", b.WcL);
    std::fprintf(f, "Event wash-load from lake to chan:         %16.8lf m3\n", b.WLc);
  }
  std::fprintf(f, "Event wash-load outlet discharge:          %16.8lf m3\n", b.Wo);
  std::fprintf(f, "Final wash-load remaining in suspension:   %16.8lf m3\n", b.Wf);
  std::fprintf(f, "\n");
  std::fprintf(f, "Maximum rate of wash-load discharge: %16.8lf cms\n", ms.max_washload_rate);
  write_channel_errors(f, b, "\n Event channel sediment mass-balance:\n");
  if (!ms.lakes_on) return;
  std::fprintf(f, "\n");
  std::fprintf(f, "Lake Summary \n");
  std::fprintf(f, "Quanties are for this event \n");
  std::fprintf(f, "Net wash-load into lakes from overland:                     %16.8lf m3\n", ms.vol_lake_sed_in);
  std::fprintf(f, "Total wash-load settled in lakes:                           %16.8lf m3\n", ms.vol_lake_sed_settled);
  std::fprintf(f, "Total sand-load from upstream channel settled in lake bed:  %16.8lf m3\n",
               entry(ms.event_lake_sand_in, 0));
  std::fprintf(f, "Total overland sand-load settled in lake boundaries:        %16.8lf m3\n",
               entry(ms.event_lake_depo_in, 0));
  std::fprintf(f, "\n");
  for (long j = 1; j <= ms.n_lakes; ++j) {
    std::fprintf(f, "Summary for lake %ld \n", j);
    std::fprintf(f, "Quanties are for this event \n");
    std::fprintf(f, "Initial vol of SS in lake:                  %16.8lf m3 \n", entry(ms.init_sed_vol_lake, j));
    std::fprintf(f, "Event vol of SS from lake to chan           %16.8lf m3 \n", entry(ms.SS_vol_lake_to_chan, j, 0));
    std::fprintf(f, "Event vol of SS from chan to lake           %16.8lf m3 \n", entry(ms.SS_vol_chan_to_lake, j, 0));
    std::fprintf(f, "Event net vol of SS from overland to lake   %16.8lf m3 \n",
                 entry(ms.SS_vol_overland_to_lake, j, 0));
    std::fprintf(f, "Event vol of SS settled in lake             %16.8lf m3 \n", entry(ms.SS_vol_lake_settled, j, 0));
    std::fprintf(f, "Total Suspended Sediment in lake            %16.8lf m3 \n", entry(ms.SS_vol_lake, j, 0));
    std::fprintf(f, "\n");
    std::fprintf(f, "Suspended Sediment Concentration              %16.8lf cc/m3\n",
                 entry(ms.SS_conc_vol_lake, j, 0) * 100.0 * 100.0 * 100.0);
    std::fprintf(f, "Suspended Sediment Concentration              %16.8lf mg/L\n", entry(ms.SS_conc_lake, j, 0));
    std::fprintf(f, "\n");
    std::fprintf(f, "Event sand settled into lake bottom:        %16.8lf m3 \n", entry(ms.event_lake_sand_in, j));
    std::fprintf(f, "Event sand settled in lake boundary:        %16.8lf m3 \n", entry(ms.event_lake_depo_in, j));
  }
  std::fprintf(f, "\n");
}

}  // namespace

bool write_new_bed_elevations(main_state& ms) {
  file_wrapper& out = ms.fs_final_out_3;
  if (!out.open("new_bed_elevations.txt", "w")) {
    std::printf("Can't open the file for printing updated bed elevations: %s\n",
                expected_file_name("new_bed_elevations.txt", "w").c_str());
    error_rec.code = already_printed_code;
    report_error(error_rec);
    return false;
  }
  std::FILE* f = out.fp;
  std::fprintf(f, "Link Node  New Elev(m) Old ELev (m) struct_flag: 0 no structure, 1 - structure, 2 - lake \n");
  const bool adjusted = ms.sed_control.adjust_channel_bed_on == 1;
  const dmat& now = adjusted ? ms.bel : ms.new_bel;
  for (long l = 1; l <= ms.LINKS && l <= ms.ltype.size(); ++l) {
    const int type = ms.ltype[l];
    if (type & lake_bit) {
      std::fprintf(f, "Link %5ld is a lake %5ld  \n", l, 2L);
      continue;
    }
    const long flag = (type & structure_bit) ? 1 : 0;
    const long nodes = l <= ms.og_nx1.size() ? ms.og_nx1[l] : 0;
    // Only the nodes the bed arrays hold: a count never reads past them.
    for (long n = 1; n <= nodes && n <= now.size1() && n <= ms.org_bel.size1() && l <= now.size2() &&
                     l <= ms.org_bel.size2();
         ++n) {
      std::fprintf(f, adjusted ? "%ld %ld %10.3lf %10.3lf %ld \n" : "%ld %ld %10.3lf %10.3lf  %ld \n", l, n,
                   now[n][l], ms.org_bel[n][l], flag);
    }
  }
  std::fflush(f);
  return true;
}

bool write_run_sediment_summary(main_state& ms) {
  std::FILE* f = ms.fs_summary.fp;
  if (f == nullptr || !ms.sed_control.erosion_on || !ms.ov_sed) return true;
  if (ms.sed_transport_mode == 1) {
    std::fprintf(f, "Overland Sediment Summary\n");
    write_overland_classes(ms, f, false);
  }
  std::fprintf(f, "\n");
  if (!ms.ov_sed_out_on) return true;
  write_run_channel_sediment(ms, f);
  const bool bed_written = write_new_bed_elevations(ms);
  std::fprintf(f, "\n");
  return bed_written;
}

void write_event_sediment_budgets(main_state& ms) {
  std::FILE* f = ms.fs_summary.fp;
  if (f == nullptr || !ms.sed_control.erosion_on || !ms.ov_sed) return;
  if (ms.sed_transport_mode == 1) {
    std::fprintf(f, "Overland Sediment Summary\n");
    std::fprintf(f, "Quantities, except for amounts to Superlinks, are running totals for simulation - NOT EVENT \n");
    std::fprintf(f, "Quantities for amount of sediment to superlink is for the single event\n");
    write_overland_classes(ms, f, true);
    std::fprintf(f, "\n");
  }
  if (ms.ov_sed_out_on) write_event_channel_sediment(ms, f);
}

}  // namespace kavro
