#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct z_stream_s;

// Decodes the data blocks of one MSZIP folder in order, with zlib. Each block is "CK" followed
// by a raw DEFLATE stream that ends in a final block and may refer back into the last 32 KiB the
// folder produced before it. The block is untrusted: its output must come to exactly the size
// its header states, and nothing may follow the final block but the padding bits of its last
// byte. Memory is fixed once constructed: zlib's state and window, and 64 KiB of our own.
class CMszipDecoder {
 public:
  static constexpr size_t kMaxBlockOutput = 32768;

  CMszipDecoder();
  ~CMszipDecoder();
  CMszipDecoder(const CMszipDecoder&) = delete;
  CMszipDecoder& operator=(const CMszipDecoder&) = delete;

  // False when zlib could not set itself up (no memory); nothing decodes then.
  bool IsReady() const { return ready_; }

  // A folder starts with no history.
  void StartFolder();

  // Decodes one block (with its "CK") to exactly outSize bytes (1..kMaxBlockOutput). False on a
  // missing signature, a malformed stream, one reaching back before the folder's first byte,
  // output of another size, no final block, or input left after it; the folder cannot go on.
  bool DecodeBlock(const uint8_t* in, size_t inSize, size_t outSize);

  // The last decoded block's bytes, valid until the next call.
  const uint8_t* Output() const { return window_.data() + outputAt_; }

 private:
  std::unique_ptr<z_stream_s> stream_;  // on the heap: zlib's state points back at it
  bool ready_ = false;
  std::vector<uint8_t> window_;  // up to 32 KiB of history, then room for one block's output
  size_t history_ = 0;           // bytes of history at the window's start
  size_t outputAt_ = 0;
  size_t outputSize_ = 0;
};
