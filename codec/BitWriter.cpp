#include "codec/BitWriter.h"

namespace codec {

void BitWriter::Start(ByteOutput* output) {
  output_ = output;
  pending_ = 0;
  pendingBits_ = 0;
  fill_ = 0;
  packed_ = 0;
  limit_ = 0;
  ok_ = true;
}

void BitWriter::Finish() {
  PutBits(7, 0);
  EmitWholeBytes();
  Flush();
}

void BitWriter::Flush() {
  // Once `ok` has failed the stream is discarded anyway; do not keep writing to a file that
  // refused bytes.
  if (fill_ != 0 && ok_ && !output_->Write(buffer_, fill_)) ok_ = false;
  fill_ = 0;
}

}  // namespace codec
