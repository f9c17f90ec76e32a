#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// A bounded decoder for raw DEFLATE streams (RFC 1951, no zlib or gzip wrapper), written for
// untrusted input: every read and write is checked, memory use is fixed (about 60 KiB of stack
// for the Huffman tables), and there is no recursion.
//
// `window` holds `historySize` bytes of earlier output (MSZIP carries up to 32 KiB of the previous
// block of a folder), followed by room for `outCapacity` bytes; the stream's output is appended
// at window + historySize and may refer back into the history. The decoder never reads past
// in + inSize nor writes outside window[historySize, historySize + outCapacity).
//
// Returns the number of bytes produced, or nullopt on any malformed stream: reserved block type,
// stored length not matching its complement, bad code lengths, an oversubscribed or incomplete
// Huffman code (a single code of length one and an empty distance code are allowed, as common
// encoders write them), a symbol with no code, a distance reaching before the window, output over
// `outCapacity`, or input ending before the final block does. Input left over after the final
// block, beyond the padding bits of its last byte, is refused as well.
std::optional<size_t> InflateRaw(const uint8_t* in, size_t inSize, uint8_t* window,
                                 size_t historySize, size_t outCapacity);
