// Colouring a graph so that no two neighbours share a colour, with as few colours as DSatur
// finds: the uncoloured vertex with the most distinctly coloured neighbours goes next (the one
// with the most neighbours on a tie) and takes the lowest colour its neighbours leave free.
#ifndef KVGIMPORT_COLOURING_H
#define KVGIMPORT_COLOURING_H

#include <cstdint>
#include <vector>

namespace kvgimport {

// `neighbours[v]` lists the vertices next to v (each edge in both lists; repeats allowed).
// Returns each vertex's colour, from 0.
std::vector<uint32_t> colourGraph(const std::vector<std::vector<uint32_t>> &neighbours);

}  // namespace kvgimport

#endif  // KVGIMPORT_COLOURING_H
