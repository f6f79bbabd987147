// The shuffled complex evolution search: a sorted population split into
// interleaved complexes, each evolved by reflections, contractions and random
// points of sub-complexes, then shuffled together again, until the budget of
// model runs is spent, the best value stops improving, or the population has
// shrunk to a tiny part of the parameter box.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "calibration/sce.h"
#include "framework/run_globals.h"

namespace kavro {

namespace {

constexpr int gen_modulus = 2147483647;
constexpr int gen_table_size = 32;
constexpr int gen_table_div = 1 + (gen_modulus - 1) / gen_table_size;  // 67,108,864
constexpr double gen_max_deviate = 0.99999988;

// The work data of one search.
struct sce_work {
  sce_state& st;
  dmat x{"x"};          // population, sorted by value
  dvec xf{"xf"};        // value of each point
  dmat cx{"cx"};        // complex being evolved
  dvec cf{"cf"};
  dmat s{"s"};          // sub-complex being evolved
  dvec sf{"sf"};
  ivec lcs{"lcs"};      // positions of the sub-complex points in the complex
  dvec xnstd{"xnstd"};  // standard deviation of each parameter over its range
  dvec range{"range"};  // upper - lower
  dvec snew{"snew"};    // point being tried
  int npt = 0;          // points of the population
  int icall = 1;        // number of the next evaluation
  int nloop = 0;        // shuffling loop
  double lowest = 99999999.0;
  double gnrng = 0.0;   // normalised geometric range of the population
  bool converged = false;
};

// The value of one point: a model run, its result recorded; ranked by its size.
double sce_objective(sce_state& st, const double* point) {
  const calib_objective_fn call = st.objective_callback ? st.objective_callback : model_run_objective;
  const double cost = call(st.list_file, st.project_file, point, st.objective, st.nopt, "temp");
  const run_context_record& c = run_context;
  st.objective.record_results(c.process_rank, c.process_id, c.no_sampling, c.group_value, c.process_count, 1, 1);
  return std::fabs(cost);
}

bool open_log(sce_state& st) {
  if (st.log_disabled) return false;
  if (st.log_file.is_open()) return true;
  if (!st.log_file.open("sce_log_file.txt", "w")) {
    std::printf("Error: unable to open the log file.\n");
    st.log_disabled = 1;
    return false;
  }
  std::fputs("Sim No.   Cost     Minimum Cost:  Parameter Values\n", st.log_file.fp);
  return true;
}

void log_line(sce_work& w, const double* point, double value) {
  std::FILE* fp = w.st.log_file.fp;
  std::fprintf(fp, "%-5d  %9.4lf %9.4lf  : ", w.icall, value, w.lowest);
  for (int k = 1; k <= w.st.nopt; ++k) std::fprintf(fp, " %le", point[k]);
  std::fputs("\n", fp);
}

void sce_log_population(sce_work& w) {
  if (!open_log(w.st)) {
    w.icall += w.npt;
    return;
  }
  for (int i = 1; i <= w.npt; ++i) {
    log_line(w, w.x[i], w.xf[i]);
    ++w.icall;
  }
  std::fflush(w.st.log_file.fp);
}

void sce_log_point(sce_work& w, const double* point, double value) {
  if (open_log(w.st)) {
    log_line(w, point, value);
    std::fflush(w.st.log_file.fp);
  }
  ++w.icall;
}

// Index of the n values in ascending order, by heapsort.
void sce_sort_index(int n, const dvec& values, ivec& index) {
  for (int j = 1; j <= n; ++j) index[j] = j;
  if (n < 2) return;
  int l = (n >> 1) + 1, ir = n;
  for (;;) {
    int it = 0;
    if (l > 1) {
      it = index[--l];
    } else {
      it = index[ir];
      index[ir] = index[1];
      if (--ir == 1) {
        index[1] = it;
        return;
      }
    }
    const double q = values[it];
    int i = l, j = l + l;
    while (j <= ir) {
      if (j < ir && values[index[j]] < values[index[j + 1]]) ++j;
      if (q < values[index[j]]) {
        index[i] = index[j];
        i = j;
        j <<= 1;
      } else {
        break;
      }
    }
    index[i] = it;
  }
}

// Sorts positions 1..n of an integer array ascending, by heapsort.
void sce_heapsort(int n, ivec& a) {
  if (n < 2) return;
  int l = (n >> 1) + 1, ir = n;
  for (;;) {
    int v = 0;
    if (l > 1) {
      v = a[--l];
    } else {
      v = a[ir];
      a[ir] = a[1];
      if (--ir == 1) {
        a[1] = v;
        return;
      }
    }
    int i = l, j = l + l;
    while (j <= ir) {
      if (j < ir && a[j] < a[j + 1]) ++j;
      if (v < a[j]) {
        a[i] = a[j];
        i = j;
        j <<= 1;
      } else {
        break;
      }
    }
    a[i] = v;
  }
}

// Sorts the n points of `points` by their values.
void sce_sort_population(int n, int nopt, dmat& points, dvec& values) {
  ivec iwk("iwk");
  iwk.allocate(n);
  sce_sort_index(n, values, iwk);
  dmat wk("wk");
  wk.allocate(n, nopt);
  dvec wv("wk");
  wv.allocate(n);
  for (int i = 1; i <= n; ++i) {
    wv[i] = values[iwk[i]];
    for (int k = 1; k <= nopt; ++k) wk[i][k] = points[iwk[i]][k];
  }
  for (int i = 1; i <= n; ++i) {
    values[i] = wv[i];
    for (int k = 1; k <= nopt; ++k) points[i][k] = wk[i][k];
  }
}

void sce_population_stats(sce_work& w) {
  sce_state& st = w.st;
  const double n = static_cast<double>(w.npt);
  double log_sum = 0.0;
  for (int k = 1; k <= st.nopt; ++k) {
    double hi = -1e20, lo = 1e20, sum = 0.0, sum2 = 0.0;
    for (int i = 1; i <= w.npt; ++i) {
      const double v = w.x[i][k];
      hi = std::max(hi, v);
      lo = std::min(lo, v);
      sum += v;
      sum2 += v * v;
    }
    st.x_max[k] = hi;
    st.x_min[k] = lo;
    st.x_mean[k] = sum / n;
    double var = sum2 / n - st.x_mean[k] * st.x_mean[k];
    if (var <= 1e-20) var = 1e-20;
    w.xnstd[k] = std::sqrt(var) / w.range[k];
    log_sum += std::log(1e-20 + (hi - lo) / w.range[k]);
  }
  w.gnrng = std::exp(log_sum / st.nopt);
  w.converged = w.gnrng <= 0.001;
}

bool inside(const sce_state& st, const double* p) {
  for (int k = 1; k <= st.nopt; ++k)
    if (p[k] < st.lower[k] || p[k] > st.upper[k]) return false;
  return true;
}

void sce_random_point(sce_state& st, double* p) {
  for (int k = 1; k <= st.nopt; ++k) {
    do {
      p[k] = st.lower[k] + sce_uniform(st) * (st.upper[k] - st.lower[k]);
    } while (p[k] < st.lower[k] || p[k] > st.upper[k]);
  }
}

// A point drawn about `best` with the spread of the population.
void gaussian_point(sce_work& w, const double* best, double* p) {
  sce_state& st = w.st;
  do {
    for (int k = 1; k <= st.nopt; ++k) {
      do {
        p[k] = best[k] + sce_gauss(st) * w.xnstd[k] * (st.upper[k] - st.lower[k]);
      } while (p[k] < st.lower[k] || p[k] > st.upper[k]);
    }
  } while (!inside(st, p));
}

double evaluate_and_log(sce_work& w, const double* p) {
  const double f = sce_objective(w.st, p);
  if (f < w.lowest) w.lowest = f;
  sce_log_point(w, p, f);
  return f;
}

// One competitive step: the worst point of the sub-complex is replaced by a
// reflection, a contraction or a random point about the best one.
void sce_evolve_subcomplex(sce_work& w) {
  sce_state& st = w.st;
  const int nps = st.nps;
  const double* sb = w.s[1];
  const double* sw = w.s[nps];
  const double fw = w.sf[nps];
  double* snew = w.snew.data();
  dvec ce("ce");
  ce.allocate(st.nopt);
  for (int k = 1; k <= st.nopt; ++k) {
    double sum = 0.0;
    for (int j = 1; j < nps; ++j) sum += w.s[j][k];
    ce[k] = sum / (nps - 1);
  }
  for (int k = 1; k <= st.nopt; ++k) snew[k] = ce[k] + (ce[k] - sw[k]);
  if (!inside(st, snew)) gaussian_point(w, sb, snew);
  double fnew = evaluate_and_log(w, snew);
  if (fnew > fw) {
    for (int k = 1; k <= st.nopt; ++k) snew[k] = ce[k] - 0.5 * (ce[k] - sw[k]);
    fnew = evaluate_and_log(w, snew);
  }
  if (fnew > fw) {
    gaussian_point(w, sb, snew);
    fnew = evaluate_and_log(w, snew);
  }
  for (int k = 1; k <= st.nopt; ++k) w.s[nps][k] = snew[k];
  w.sf[nps] = fnew;
}

// Positions of a sub-complex: the better points of the complex are the likelier.
void choose_subcomplex(sce_work& w) {
  sce_state& st = w.st;
  const int npg = st.npg, nps = st.nps;
  if (nps == npg) {
    for (int j = 1; j <= nps; ++j) w.lcs[j] = j;
    return;
  }
  const double a = npg + 0.5;
  for (int j = 1; j <= nps; ++j) {
    for (;;) {
      const double u = sce_uniform(st);
      const int l = static_cast<int>(a - std::sqrt(a * a - u * npg * (npg + 1))) + 1;
      bool taken = false;
      for (int i = 1; i < j; ++i) taken = taken || w.lcs[i] == l;
      if (!taken) {
        w.lcs[j] = l;
        break;
      }
    }
  }
  sce_heapsort(nps, w.lcs);
}

void sce_evolve_complex(sce_work& w, int k) {
  sce_state& st = w.st;
  const int ngs = st.ngs, npg = st.npg, nopt = st.nopt;
  for (int p = 1; p <= npg; ++p) {
    const int row = k + (p - 1) * ngs;
    for (int j = 1; j <= nopt; ++j) w.cx[p][j] = w.x[row][j];
    w.cf[p] = w.xf[row];
  }
  for (int loop = 1; loop <= st.nspl; ++loop) {
    choose_subcomplex(w);
    for (int j = 1; j <= st.nps; ++j) {
      for (int q = 1; q <= nopt; ++q) w.s[j][q] = w.cx[w.lcs[j]][q];
      w.sf[j] = w.cf[w.lcs[j]];
    }
    sce_evolve_subcomplex(w);
    for (int j = 1; j <= st.nps; ++j) {
      for (int q = 1; q <= nopt; ++q) w.cx[w.lcs[j]][q] = w.s[j][q];
      w.cf[w.lcs[j]] = w.sf[j];
    }
    sce_sort_population(npg, nopt, w.cx, w.cf);
  }
  for (int p = 1; p <= npg; ++p) {
    const int row = k + (p - 1) * ngs;
    for (int j = 1; j <= nopt; ++j) w.x[row][j] = w.cx[p][j];
    w.xf[row] = w.cf[p];
  }
}

// Drops the last complex: the rows of the others close up in place.
void sce_drop_complex(sce_work& w) {
  sce_state& st = w.st;
  const int ngs = st.ngs;
  for (int p = 1; p <= st.npg; ++p) {
    for (int k = 1; k < ngs; ++k) {
      const int to = (p - 1) * (ngs - 1) + k, from = (p - 1) * ngs + k;
      for (int j = 1; j <= st.nopt; ++j) w.x[to][j] = w.x[from][j];
      w.xf[to] = w.xf[from];
    }
  }
  st.ngs = ngs - 1;
  w.npt = st.npg * st.ngs;
}

void take_best(sce_work& w) {
  for (int k = 1; k <= w.st.nopt; ++k) w.st.bestx[k] = w.x[1][k];
}

void print_params(std::FILE* fp, const sce_state& st, const double* p, const char* head_format) {
  const int head = std::min(st.nopt, 8);
  for (int k = 1; k <= head; ++k) std::fprintf(fp, head_format, p[k]);
  std::fputs("\n", fp);
  if (st.nopt > 8) {
    for (int k = 9; k <= st.nopt; ++k) std::fprintf(fp, "%10.3lf ", p[k]);
    std::fputs("\n", fp);
  }
}

void write_loop(sce_work& w) {
  sce_state& st = w.st;
  std::FILE* fp = st.output_file.fp;
  if (!st.output_open || !fp) return;
  std::fprintf(fp, "%5d %5d   %5d %10.3lf %10.3lf %10.3lf\n", w.nloop, w.icall, st.ngs, w.xf[1], w.xf[w.npt],
               w.gnrng);
  print_params(fp, st, st.bestx.data(), "%10.3lf ");
  if (st.iprint == 1) {
    std::fprintf(fp, " POPULATION AT LOOP %d\n", w.nloop);
    for (int i = 1; i <= w.npt; ++i) {
      std::fprintf(fp, "%10.5lf ", w.xf[i]);
      print_params(fp, st, w.x[i], "%10.5lf ");
    }
  }
  std::fflush(fp);
}

void write_output(const sce_state& st, const char* text) {
  if (st.output_open && st.output_file.fp) std::fputs(text, st.output_file.fp);
}

}  // namespace

void park_miller_step(int& seed) {
  constexpr int a = 16807, q = 127773, r = 2836;
  const int k = seed / q;
  seed = a * (seed - k * q) - r * k;
  if (seed < 0) seed += gen_modulus;
}

double sce_uniform(sce_state& st) {
  if (st.seed <= 0 || st.gen_last == 0) {
    st.seed = std::max(st.seed == INT_MIN ? 1 : -st.seed, 1);
    for (int j = gen_table_size + 7; j >= 0; --j) {
      park_miller_step(st.seed);
      if (j < gen_table_size) st.gen_table[static_cast<std::size_t>(j)] = st.seed;
    }
    st.gen_last = st.gen_table[0];
  }
  park_miller_step(st.seed);
  const auto j = static_cast<std::size_t>(st.gen_last / gen_table_div);
  st.gen_last = st.gen_table[j];
  st.gen_table[j] = st.seed;
  const double y = static_cast<double>(st.gen_last) / gen_modulus;
  return y > gen_max_deviate ? gen_max_deviate : y;
}

double sce_gauss(sce_state& st) {
  if (st.gauss_kept) {
    st.gauss_kept = 0;
    return st.gauss_value;
  }
  double a = 0.0, b = 0.0, r = 0.0;
  do {
    a = 2.0 * sce_uniform(st) - 1.0;
    b = 2.0 * sce_uniform(st) - 1.0;
    r = a * a + b * b;
  } while (r >= 1.0 || r == 0.0);
  const double f = std::sqrt(-2.0 * std::log(r) / r);
  st.gauss_value = f * a;
  st.gauss_kept = 1;
  return f * b;
}

int sceua(sce_state& st) {
  if (!st.setup_ok) {
    std::printf("Error: unable to successufully setup SCE-UA. Unable to run.\n");
    return -1;
  }
  std::printf(" ENTER THE SCEUA SUBROUTINE --- \n");
  write_output(st, "ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n");
  // A fresh generator for every search: the same seed draws the same points.
  st.seed = -std::abs(st.iseed);
  st.gen_last = 0;
  st.gen_table.fill(0);
  st.gauss_kept = 0;
  std::printf(" ***  Evolution Loop Number %d\n", 0);

  sce_work w{st};
  w.npt = st.ngs * st.npg;
  if (st.maxn < w.npt) {
    std::printf(
        "Error: maximum number of function calls is less than the number of points in the initial population\n");
    std::printf("Increase the number of function calls to at least %d\n", w.npt);
    return -1;
  }
  const int nopt = st.nopt;
  const long rows = static_cast<long>(st.ngs) * (st.npg + 1);
  w.x.allocate(rows, nopt);
  w.cx.allocate(rows, nopt);
  w.s.allocate(rows, nopt);
  w.xf.allocate(w.npt);
  w.cf.allocate(st.npg);
  w.sf.allocate(st.nps);
  w.lcs.allocate(st.nps);
  w.xnstd.allocate(nopt);
  w.range.allocate(nopt);
  w.snew.allocate(nopt);
  st.bestx.allocate(nopt);
  st.x_max.allocate(nopt);
  st.x_min.allocate(nopt);
  st.x_mean.allocate(nopt);
  for (int k = 1; k <= nopt; ++k) w.range[k] = st.upper[k] - st.lower[k];

  for (int i = 1; i <= w.npt; ++i) {
    if (i == 1 && st.iniflg == 1) {
      for (int k = 1; k <= nopt; ++k) w.x[1][k] = st.start[k];
    } else {
      sce_random_point(st, w.x[i]);
    }
    w.xf[i] = sce_objective(st, w.x[i]);
  }
  for (int i = 1; i <= w.npt; ++i) w.lowest = std::min(w.lowest, w.xf[i]);
  w.icall = 1;
  sce_log_population(w);
  sce_sort_population(w.npt, nopt, w.x, w.xf);
  take_best(w);
  sce_population_stats(w);

  double criter[21] = {};
  if (w.icall < st.maxn && !w.converged) {
    for (;;) {
      ++w.nloop;
      std::printf(" ***  Evolution Loop Number %d\n", w.nloop);
      for (int k = 1; k <= st.ngs; ++k) sce_evolve_complex(w, k);
      sce_sort_population(w.npt, nopt, w.x, w.xf);
      take_best(w);
      sce_population_stats(w);
      write_loop(w);
      const double best = w.xf[1];
      if (w.icall >= st.maxn) {
        std::printf(" *** OPTIMIZATION SEARCH TERMINATED BECAUSE THE LIMIT ON THE\n");
        std::printf(" MAXIMUM NUMBER OF TRIALS %d EXCEEDED.  SEARCH WAS STOPPED AT\n", st.maxn);
        std::printf(" SUB-COMPLEX %d OF COMPLEX %d IN SHUFFLING LOOP %d ***\n", 0, st.ngs + 1, w.nloop);
        break;
      }
      criter[20] = best;
      if (w.nloop >= st.kstop + 1) {
        const double c = criter[20 - st.kstop];
        if (st.pcento > std::fabs(c - best) / (std::fabs(c + best) * 0.5)) {
          if (st.output_file.fp) {
            std::fprintf(st.output_file.fp, " *** OPTIMIZATION TERMINATED BECAUSE THE CRITERION VALUE HAS NOT\n");
            std::fprintf(st.output_file.fp, " CHANGED %5.2lf PERCENT IN %5d SHUFFLING LOOPS ***\n",
                         st.pcento * 100.0, st.kstop);
          }
          break;
        }
      }
      for (int i = 1; i <= 19; ++i) criter[i] = criter[i + 1];
      if (w.converged) {
        if (st.output_file.fp) {
          std::fprintf(st.output_file.fp, " *** OPTIMIZATION TERMINATED BECAUSE THE POPULATION HAS CONVERGED INTO\n");
          std::fprintf(st.output_file.fp, "    %5.2lf PERCENT OF THE FEASIBLE SPACE ***\n", w.gnrng * 100.0);
        }
        break;
      }
      if (st.ngs > st.mings) sce_drop_complex(w);
    }
  }
  if (st.output_file.fp) {
    std::fputs(" *** PRINT THE FINAL PARAMETER ESTIMATE AND ITS CRITERION VALUE ***\n", st.output_file.fp);
    std::fprintf(st.output_file.fp, "%lf ", w.xf[1]);
    for (int k = 1; k <= nopt; ++k) std::fprintf(st.output_file.fp, "%le ", st.bestx[k]);
    std::fputs("\n", st.output_file.fp);
    std::fflush(st.output_file.fp);
  }
  return w.icall;
}

}  // namespace kavro
