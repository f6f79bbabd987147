// Preprocessor helpers for expanding the project card list.
#pragma once

// KAVRO_FOR_EACH(m, x, a, b, ...) expands to m(x, a) m(x, b) ... for one to
// five arguments after x.
#define KAVRO_FE_1(m, x, a) m(x, a)
#define KAVRO_FE_2(m, x, a, ...) m(x, a) KAVRO_FE_1(m, x, __VA_ARGS__)
#define KAVRO_FE_3(m, x, a, ...) m(x, a) KAVRO_FE_2(m, x, __VA_ARGS__)
#define KAVRO_FE_4(m, x, a, ...) m(x, a) KAVRO_FE_3(m, x, __VA_ARGS__)
#define KAVRO_FE_5(m, x, a, ...) m(x, a) KAVRO_FE_4(m, x, __VA_ARGS__)
#define KAVRO_FE_PICK(_1, _2, _3, _4, _5, name, ...) name
#define KAVRO_FOR_EACH(m, x, ...)                                                                \
  KAVRO_FE_PICK(__VA_ARGS__, KAVRO_FE_5, KAVRO_FE_4, KAVRO_FE_3, KAVRO_FE_2, KAVRO_FE_1, unused) \
  (m, x, __VA_ARGS__)
