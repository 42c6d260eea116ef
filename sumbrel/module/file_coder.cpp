#include "module/file_coder.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "coder/coder.h"
#include "crc32.h"
#include "module/file_format.h"

namespace {

void WriteCodedByte(void* stream, int byte) {
  auto* output = static_cast<FileCoder::CodedOutput*>(stream);
  const uint8_t value = uint8_t(byte);
  output->crc = Crc32C(&value, 1, output->crc);
  FileWriteByte(output->file, value);
}

}  // namespace

using file_format::ReadWord;
using file_format::WriteWord;

void FileCoder::Allocate() {
  if (model) {
    // Kept from an earlier job: built afresh in place; the sub-models it had made become
    // spares that its granules take as they need them.
    std::unique_ptr<SpectralSubModel> kept[2 * MP3Model::kClasses];
    for (int c = 0; c < MP3Model::kClasses; ++c) {
      kept[2 * c] = std::move(model->subModels[c]);
      kept[2 * c + 1] = std::move(model->spareSubModels[c]);
    }
    // A constructor that throws leaves no object, so the memory must not stay owned.
    MP3Model* memory = model.release();
    std::destroy_at(memory);
    try {
      std::construct_at(memory);
    } catch (...) {
      ::operator delete(memory);
      throw;
    }
    model.reset(memory);
    int spares = 0;
    for (auto& subModel : kept)
      if (subModel && spares < MP3Model::kClasses) model->spareSubModels[spares++] = std::move(subModel);
  } else {
    model = std::make_unique<MP3Model>();
  }
  escapeBit = std::make_unique<AdaptiveBit>();
  literalTree = std::make_unique<AdaptiveBit[]>(kLiteralTreeNodes);
  frames = 0;
  damaged = false;
  checksumHolds = true;
  restoredBytes = 0;
}

void FileCoder::Release() {
  if (!keepModelMemory) model.reset();
  escapeBit.reset();
  literalTree.reset();
}

int FileCoder::CodeEscape(int bit) {
  return CodeBit(model->coder, *escapeBit, bit, rate28_128, LimitOfShift(11));
}

int FileCoder::CodeLiteral(int symbol) {
  return CodeTree9(literalTree.get(), model->coder, symbol, -1, 257, rate250_1400, 163);
}

int FileCoder::StartEncode(FILE* input, FILE* output, int repackFrames, int targetBitRate, int format_,
                           uint32_t checksum) {
  Allocate();
  source = input;
  sink = packed = output;
  storedFrames = 0;
  format = format_;
  model->Input(input);
  if (format == 2) {
    // The frame count and the coded part's checksum are patched in at the end.
    uint8_t header[file_format::kModel2HeaderBytes] = {};
    file_format::PutWord(header, MODEL2_MAGIC);
    file_format::PutWord(header + file_format::kModel2NumberOffset, file_format::kModelNumber);
    file_format::PutWord(header + file_format::kModel2LengthOffset, uint32_t(model->stream_end));
    file_format::PutWord(header + file_format::kModel2ChecksumOffset, checksum);
    if (std::fwrite(header, 1, sizeof header, output) != sizeof header) return 1;
    model->StartStream(0, 0, int(file_format::kModelNumber));
  } else {
    const uint32_t options = uint32_t(repackFrames & 1) | uint32_t(targetBitRate) << 1;
    if (!WriteWord(output, MODEL_MAGIC) || !WriteWord(output, uint32_t(model->stream_end)) ||
        !WriteWord(output, uint32_t(storedFrames)) || !WriteWord(output, options))
      return 1;
    model->StartStream(repackFrames, targetBitRate);
  }
  StartEncoding(model->coder, output);
  if (format == 2) {
    // Format 2's coded bytes reach the file through their checksum.
    codedOutput = {output, 0};
    model->coder.stream = &codedOutput;
    model->coder.writeByte = WriteCodedByte;
  }
  return 0;
}

int FileCoder::StartDecode(FILE* input, FILE* output) {
  Allocate();
  source = packed = input;
  sink = output;
  uint8_t bytes[file_format::kLongestHeader];
  if (std::fread(bytes, 1, 4, input) != 4) return 1;
  const uint32_t magic = file_format::WordAt(bytes);
  const long headerBytes = magic == MODEL2_MAGIC ? file_format::kModel2HeaderBytes : file_format::kHeaderBytes;
  if (std::fread(bytes + 4, 1, size_t(headerBytes - 4), input) != size_t(headerBytes - 4)) return 1;
  const file_format::Header header = file_format::ParseHeader(bytes, size_t(headerBytes));
  // A negative length would lift the writer's limit on the output, which is what keeps a
  // damaged stream from writing without end; no encoder writes one, nor a model-coded file
  // longer than the model's 32-bit count. A later model than this library's cannot be read.
  if (header.form != file_format::Form::Model || header.length < 0 || header.length > INT32_MAX ||
      (header.format == 2 && header.model != file_format::kModelNumber))
    return 1;
  format = header.format;
  recordedChecksum = header.checksum;
  if (format == 2) {
    // The coded part is checked before it is decoded: damage that would decode to the same
    // bytes is damage all the same.
    uint32_t crc;
    int64_t rest;
    if (!file_format::ChecksumOfRest(input, crc, rest) || crc != header.codedChecksum) return 1;
    if (std::fseek(input, file_format::kModel2HeaderBytes, SEEK_SET) != 0) return 1;
  }
  model->stream_end = int32_t(header.length);
  storedFrames = int32_t(header.frames);
  if (format == 2)
    model->StartStream(0, 0, int(header.model));
  else {
    const uint32_t options = file_format::WordAt(bytes + file_format::kOptionsOffset);
    model->StartStream(int(options & 1), int(options >> 1));
  }
  model->Output(output);
  StartDecoding(model->coder, input);
  return 0;
}

int FileCoder::EncodeStep() {
  int status = model->ReadFrame();
  for (;;) {
    if (CodeEscape(status != 0) == 0) {
      model->Process();
      ++frames;
      return 1;
    }
    model->ReadFlush();
    model->FlushModel();
    if (status == 1) return 0;
    for (; status < 0; status = model->ReadFrame()) CodeLiteral(status + 256);
    CodeLiteral(kEndOfLiterals);
  }
}

int FileCoder::DecodeStep() {
  for (;;) {
    if (std::feof(source)) {
      damaged = true;
      return 0;
    }
    if (CodeEscape(0) == 0) {
      // A frame once the output holds the recorded length could only be written past it:
      // the stream is damaged, and decoding on would cost time for nothing.
      if (uint32_t(frames) >= uint32_t(storedFrames) || model->out_remaining == 0) {
        damaged = true;
        return 0;
      }
      model->Process();
      model->WriteFrame();
      ++frames;
      return 1;
    }
    model->FlushModel();
    model->WriteFlush();
    if (model->out_remaining <= 0) {
      // The coder reads exactly the bytes the encoder wrote, so a read past the end of the
      // file, even in the last renormalisations, means the file was cut short. Its last bytes
      // often carry too little to change a decoded value, so the output alone cannot tell.
      if (std::feof(source) || std::ferror(source)) damaged = true;
      return 0;
    }
    // Write errors surface when the output is flushed at the end.
    for (int symbol; (symbol = CodeLiteral(0)) != kEndOfLiterals;) {
      if (std::feof(source)) break;
      model->WriteLiteral(symbol);
    }
  }
}

int FileCoder::FinishEncode() {
  Flush(model->coder);
  if (format == 2) {
    if (!file_format::CopyRest(source, sink, 0, &codedOutput.crc)) return 1;
    if (std::fseek(packed, file_format::kModel2FrameCountOffset, SEEK_SET) != 0) return 1;
    if (!WriteWord(packed, uint32_t(frames))) return 1;
    if (std::fseek(packed, file_format::kModel2CodedChecksumOffset, SEEK_SET) != 0) return 1;
    if (!WriteWord(packed, codedOutput.crc)) return 1;
  } else {
    if (!file_format::CopyRest(source, sink, 0)) return 1;
    if (std::fseek(packed, file_format::kFrameCountOffset, SEEK_SET) != 0) return 1;
    if (!WriteWord(packed, uint32_t(frames))) return 1;
  }
  // Bytes still in the stream's buffer could yet fail to reach the file.
  if (std::fflush(packed) != 0 || std::ferror(packed)) return 1;
  Release();
  return 0;
}

int FileCoder::FinishDecode() {
  uint32_t crc = model->out_crc;
  // The unread bytes follow what the frames and literals wrote, outside the writer's limit.
  int64_t written = int64_t(model->stream_end) - std::max(model->out_remaining, 0);
  if (!file_format::CopyRest(source, sink, 0, &crc, &written)) return 1;
  if (sink && (std::fflush(sink) != 0 || std::ferror(sink))) return 1;
  restoredChecksum = crc;
  restoredBytes = written;
  checksumHolds = format != 2 || (restoredChecksum == recordedChecksum && restoredBytes == model->stream_end &&
                                  frames == storedFrames);
  Release();
  return 0;
}
