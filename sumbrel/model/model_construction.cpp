// Construction of the model and the state every coding job starts from.
#include <cstring>
#include <new>

#include "bitstream/huffman_tables.h"
#include "model/mp3_model.h"

MP3Model::MP3Model() {
  // MP3 has no constructor: the record, the reader's and writer's state all start at 0.
  std::memset(static_cast<void*>(static_cast<MP3*>(this)), 0, sizeof(MP3));
  BuildCodeTables();
  coder.readByte = FileReadByte;
  coder.writeByte = FileWriteByte;
  // Every context table initialises itself: adaptive bits at 16384 / 1, maps at their
  // initial nodes, run models and histories at 0.
}

MP3Model::~MP3Model() { ReleaseSubModels(); }

void MP3Model::ReleaseSubModels() {
  for (auto& subModel : subModels) subModel.reset();
  for (auto& spare : spareSubModels) spare.reset();
}

std::unique_ptr<SpectralSubModel> MP3Model::NewSubModel(int c) {
  for (auto& spare : spareSubModels) {
    if (!spare) continue;
    // One copy of a block in its starting state, rather than its thousands of small records
    // built one by one; only the class differs between sub-models.
    static const auto* const fresh = new SpectralSubModel(0);
    std::unique_ptr<SpectralSubModel> subModel = std::move(spare);
    *subModel = *fresh;
    subModel->modelClass = c;
    return subModel;
  }
  return std::make_unique<SpectralSubModel>(c);
}

void MP3Model::StartStream(int repack, int target, int model) {
  modelNumber = model;
  mixingContexts = model == 2 ? std::make_unique<MixingContexts>() : nullptr;
  repackFrames = repack;
  targetBitRate = target;
  elapsedMs = 0;
  byteBudget = spectralEndBytes = frameBytesAverage = budgetSlack = 0;
  headerModel.StartStream();
  ancillaryTotal = 0;
  part23_total = prevPart23Total = -1;
  spectralModel.StartStream();
  // The sub-models (0.85 MiB each) are made when a granule of their class first needs them:
  // a short or frameless file never pays for all eight, and what a sub-model holds before its
  // first granule does not depend on when it was made, so the coded bytes are the same.
}

namespace {
// FNV-1a over 64-bit words, a byte at a time for a tail.
void HashBytes(uint64_t& hash, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    hash = (hash ^ word) * 0x100000001B3ull;
  }
  for (; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001B3ull;
}
}  // namespace

uint64_t MP3Model::ContextHash() const {
  uint64_t hash = 0xCBF29CE484222325ull;
  HashBytes(hash, &headerModel, sizeof headerModel);
  HashBytes(hash, &scaleFactorModel, sizeof scaleFactorModel);
  HashBytes(hash, &spectralModel, sizeof spectralModel);
  HashBytes(hash, &lengthModel, sizeof lengthModel);
  HashBytes(hash, &layoutModel, sizeof layoutModel);
  if (mixingContexts) HashBytes(hash, mixingContexts.get(), sizeof *mixingContexts);
  for (const auto& subModel : subModels) {
    const uint64_t present = subModel != nullptr;
    HashBytes(hash, &present, sizeof present);
    if (subModel) HashBytes(hash, subModel.get(), sizeof *subModel);
  }
  return hash;
}
