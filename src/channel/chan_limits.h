// Bounds of the values of the channel files (channel input, stream-cell and
// hotstart files), shared by their readers.
#pragma once

namespace kavro {

// What the values of the channel files may be: counts bounded so that no
// array is sized beyond memory or an int index, lengths and elevations
// inside what any channel on a grid can have.
namespace chan_limit {
inline constexpr int links = 1000000;                // LINKS
inline constexpr int nodes = 1000000;                // MAXNODES
inline constexpr long long node_slots = 10000000;    // (LINKS + 1) x (MAXNODES + 1)
inline constexpr int pairs = 100000;                 // NPAIRS of a breakpoint section
inline constexpr int interp = 30000;                 // NUM_INTERP height steps of a table
inline constexpr int rate_points = 100000;           // NUMRATE points of a lake rating curve
inline constexpr int structs = 100000;               // NUMSTRUCTS of a link
inline constexpr int cell_nodes = 1000;              // NUMNODES of a stream cell
inline constexpr double length = 1e5;                // m: node spacing, widths, depths
inline constexpr double elevation = 1e5;             // m: |bed, section, structure and lake levels|
inline constexpr double manning_n = 10.0;            // s/m^(1/3): no channel is rougher
}  // namespace chan_limit

}  // namespace kavro
