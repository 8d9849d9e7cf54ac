#include "codec/LzEncoder.h"

namespace codec {

int LzEncoder::Encode(ByteOutput& output, ByteInput& input, int method, std::uint32_t* packedSize,
                      std::uint16_t* crc, ProgressCallback progress, void* context) {
  if (!valid()) return 2;
  MethodParams params;
  if (!GetMethodParams(method, &params)) return 1;

  StartBlocks(&output, params);
  MatchFinder& f = finder_;
  f.Start(params.window, &input);

  bool cancelled = false;
  // Advances one byte, reporting progress when the window slid.
  auto advance = [&] {
    if (f.Advance() && progress && progress(context, packedCount(), f.bytesRead()) != 0)
      cancelled = true;
  };

  if (progress && progress(context, 0, 0) != 0) cancelled = true;
  f.Insert();

  bool emitted = true;
  while (f.remaining() > 0 && emitted && !cancelled) {
    const std::uint32_t lastLength = f.matchLength();
    const std::uint32_t lastOffset = f.position() - f.matchPosition() - 1;
    // The next position must beat this match by at least one byte to be taken instead.
    f.setMatchLength(lastLength - 1);
    advance();
    f.SearchAndInsert();
    f.ClipMatchLength();

    if (f.matchLength() > lastLength || lastLength < MinMatch) {
      emitted = EmitLiteral(f.byteAt(f.position() - 1), f.bytesRead());
    } else {
      emitted = EmitMatch(lastLength, lastOffset, f.bytesRead());
      if (f.AdvanceInserting(lastLength - 2) && progress &&
          progress(context, packedCount(), f.bytesRead()) != 0)
        cancelled = true;
      advance();
      f.setMatchLength(2);
      f.SearchAndInsert();
      f.ClipMatchLength();
    }
  }

  if (progress) progress(context, packedCount(), f.bytesRead());
  if (cancelled) return 2;

  // An empty input is never worth a member of its own: even its block header would be larger.
  // Input cut short by a read error must not pass for the whole file.
  bool done = emitted && ok() && f.bytesRead() != 0 && !input.failed() && FinishBlocks();
  if (!done) {
    if (progress) progress(context, NotCompressedProgress, f.bytesRead());
    return 1;
  }
  if (packedSize) *packedSize = packedCount();
  if (crc) *crc = f.crc();
  return 0;
}

int LzEncoder::Encode(platform::FileHandle output, platform::FileHandle input, int method,
                      std::uint32_t* packedSize, std::uint16_t* crc, ProgressCallback progress,
                      void* context) {
  FileOutput out(output);
  FileInput in(input);
  return Encode(out, in, method, packedSize, crc, progress, context);
}

}  // namespace codec
