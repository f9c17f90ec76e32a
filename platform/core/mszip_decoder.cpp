#include "platform/core/mszip_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kHistory = 32768;  // the farthest a DEFLATE match reaches back

}  // namespace

CMszipDecoder::CMszipDecoder()
    : stream_(std::make_unique<z_stream>()), window_(kHistory + kMaxBlockOutput) {
  ready_ = inflateInit2(stream_.get(), -MAX_WBITS) == Z_OK;  // raw DEFLATE, 32 KiB window
}

CMszipDecoder::~CMszipDecoder() {
  if (ready_) inflateEnd(stream_.get());
}

void CMszipDecoder::StartFolder() {
  history_ = 0;
  outputAt_ = 0;
  outputSize_ = 0;
}

bool CMszipDecoder::DecodeBlock(const uint8_t* in, size_t inSize, size_t outSize) {
  if (!ready_ || outSize == 0 || outSize > kMaxBlockOutput) return false;
  // The previous block's output joins the history, of which a match can reach the last 32 KiB.
  const size_t filled = outputAt_ + outputSize_;
  const size_t kept = std::min(filled, kHistory);
  if (kept < filled) std::memmove(window_.data(), window_.data() + filled - kept, kept);
  history_ = kept;
  outputAt_ = history_;
  outputSize_ = 0;

  if (inSize < 2 || in[0] != 'C' || in[1] != 'K') return false;
  // Each block is a stream of its own: zlib starts afresh but is given the history to refer to.
  z_stream& s = *stream_;
  if (inflateReset(&s) != Z_OK) return false;
  if (history_ > 0 && inflateSetDictionary(&s, window_.data(), static_cast<uInt>(history_)) != Z_OK)
    return false;
  s.next_in = const_cast<Bytef*>(in + 2);
  s.avail_in = static_cast<uInt>(inSize - 2);
  s.next_out = window_.data() + outputAt_;
  s.avail_out = static_cast<uInt>(outSize);
  // Z_STREAM_END only once the final block has ended; with the exact room for what the header
  // states, any other size shows as room left over or as no end within the room.
  const int result = inflate(&s, Z_FINISH);
  if (result != Z_STREAM_END || s.avail_out != 0 || s.avail_in != 0) {
    StartFolder();
    return false;
  }
  outputSize_ = outSize;
  return true;
}
