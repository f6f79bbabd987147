// The kinds of a channel link, as the bits of its `ltype`: 1 subsurface,
// 2 erodible, 4 trapezoid, 8 breakpoint, 16 a third section kind (tested,
// never set), 32 lake, 64 structure, 128 captured by a channel lake,
// 256 overbank, 512 backwater. Every test of a link's kind goes through
// these names.
#pragma once

namespace kavro {

inline constexpr int erodible_bit = 2;
inline constexpr int trapezoid_bit = 4;
inline constexpr int breakpoint_bit = 8;
inline constexpr int section_bits = 4 | 8 | 16;  // a link with a cross section of its own
inline constexpr int lake_bit = 32;
inline constexpr int structure_bit = 64;
inline constexpr int captured_bit = 128;
inline constexpr int overbank_bit = 256;
inline constexpr int backwater_bit = 512;

// A section link whose nodes a channel lake has taken over.
inline bool is_captured_section(int ltype) { return (ltype & section_bits) && (ltype & captured_bit); }

// A lake link, or a section link a lake has captured: its water is the lake's.
inline bool is_lake_like(int ltype) { return (ltype & lake_bit) || is_captured_section(ltype); }

// A link that carries channel water of its own: neither lake-like nor a
// structure.
inline bool is_ordinary_link(int ltype) { return !(ltype & structure_bit) && !is_lake_like(ltype); }

}  // namespace kavro
