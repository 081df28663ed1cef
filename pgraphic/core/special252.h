#pragma once

#include <cstdint>

// Candidate lists of the 252-colour table's colour mapping. A colour's cell is
// ((R + 16) div 32) * 81 + ((G + 16) div 32) * 9 + ((B + 16) div 32); the
// candidates of cell k are Special252Candidates[Special252CandidateStart[k]]
// up to (not including) Special252CandidateStart[k + 1], in ascending index
// order. The first candidate is the answer unless a later one is strictly
// nearer by squared RGB distance.
//
// How the lists were made: a cell whose grid point (each coordinate n * 32,
// 256 taken as 255) is a palette colour lists that entry alone; every other
// cell lists each entry that is the nearest (lowest index on ties) to at least
// one colour of the cell. The core tests rebuild the lists by this rule and
// compare.
namespace pg {

extern const uint16_t Special252CandidateStart[730];
extern const uint8_t Special252Candidates[];

} // namespace pg
