// Deflate (RFC 1951) of one buffer, as a cabinet's MSZIP blocks hold it: a
// complete raw stream, its last block marked final. ynbpack's own, so that
// every host writes the same bytes: LZ77 over the buffer with hash chains and
// one step of lazy matching, then one block with its own Huffman codes, or
// the bytes stored when that is smaller. Self-contained: no Win32, no
// exceptions.
#pragma once

#include <cstddef>
#include <vector>

namespace ynbpack {

// The stream of data (at most 65,535 bytes; a cabinet block has 32 KiB) into
// out, replacing what it held.
void Deflate(const unsigned char* data, std::size_t size, std::vector<unsigned char>& out);

} // namespace ynbpack
