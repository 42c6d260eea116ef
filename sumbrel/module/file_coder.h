// FileCoder: one coding job between an MP3 file and its model-coded form. It owns the model
// (with the frame reader, writer and coder inside) and the two contexts of its own decisions,
// and advances the coded stream one step at a time, so that the caller can report progress
// and honour a cancel request between steps.
//
// A step is one frame, coded by the model, or one break in the frames (stray bytes or the end
// of the file), coded here: an escape bit, the gap after the last frame, and the stray bytes
// as literal symbols closed by the symbol 256.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>

#include "coder/adaptive_bit.h"
#include "model/mp3_model.h"

class FileCoder {
 public:
  static constexpr int kLiteralTreeNodes = 512;
  static constexpr int kEndOfLiterals = 256;

  // Each returns 0 on success. `input` and `output` stay owned by the caller. Format 1 takes
  // the two options; format 2 takes none but records the MP3 file's CRC-32C, `checksum`.
  int StartEncode(FILE* input, FILE* output, int repackFrames, int targetBitRate, int format = 1,
                  uint32_t checksum = 0);
  // Either format, by the magic word. A null `output` writes nothing: the stream is decoded
  // and checked all the same.
  int StartDecode(FILE* input, FILE* output);
  // 1 after a frame (call again), 0 once the end of the stream has been coded.
  int EncodeStep();
  int DecodeStep();
  int FinishEncode();
  int FinishDecode();

  // Frees the model, its sub-models and the driver contexts; harmless when already done.
  void Release();

  // For a caller that runs many jobs in a row on one FileCoder (the fuzz harnesses): Release
  // then keeps the model and its sub-models allocated, and the next Start builds them afresh
  // in the same memory. That spares a job the page faults of up to 10 MiB of new memory; the
  // coded bytes are the same. A job of the module never sets it.
  bool keepModelMemory = false;

  // True when decoding read past the end of the compressed file (at any point, the last
  // renormalisations included: a cut file), or met more frames than
  // the header records or a frame after the output reached the recorded length. A stream the
  // encoder made does none of these, so the file is damaged; the stream is ended there rather
  // than decoded on from nothing, which could otherwise write without bound (frames decoded
  // from noise can cost next to no bits).
  bool Damaged() const { return damaged; }

  // After FinishDecode of a format-2 file: the restored bytes' length and CRC-32C match what
  // its header records. A format-1 file records no checksum, so this is always true for it.
  bool ChecksumHolds() const { return checksumHolds; }

  int format = 1;
  int64_t restoredBytes = 0;        // after FinishDecode
  uint32_t restoredChecksum = 0;    // after FinishDecode: CRC-32C of the restored bytes
  uint32_t recordedChecksum = 0;    // format 2
  std::unique_ptr<MP3Model> model;
  std::unique_ptr<AdaptiveBit> escapeBit;
  std::unique_ptr<AdaptiveBit[]> literalTree;
  FILE* source = nullptr;
  FILE* sink = nullptr;
  FILE* packed = nullptr;
  int32_t frames = 0;
  int32_t storedFrames = 0;

  // Format 2's coded bytes pass through here on their way to the file, for their checksum.
  struct CodedOutput {
    FILE* file;
    uint32_t crc;
  };

 private:
  void Allocate();
  int CodeEscape(int bit);
  int CodeLiteral(int symbol);

  bool damaged = false;
  bool checksumHolds = true;
  CodedOutput codedOutput{};
};
