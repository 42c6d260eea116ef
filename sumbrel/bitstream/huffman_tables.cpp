#include "bitstream/huffman_tables.h"

#include <algorithm>

#include "bitstream/huffman_fast.h"
#include "bitstream/layer3_data.h"

const HuffmanShape huffmanShape[34] = {
    {0, 0, 0},   {2, 2, 0},   {3, 3, 0},   {3, 3, 0},   {0, 0, 0},   {4, 4, 0},   {4, 4, 0},
    {6, 6, 0},   {6, 6, 0},   {6, 6, 0},   {8, 8, 0},   {8, 8, 0},   {8, 8, 0},   {16, 16, 0},
    {0, 0, 0},   {16, 16, 0}, {16, 16, 1}, {16, 16, 2}, {16, 16, 3}, {16, 16, 4}, {16, 16, 6},
    {16, 16, 8}, {16, 16, 10}, {16, 16, 13}, {16, 16, 4}, {16, 16, 5}, {16, 16, 6}, {16, 16, 7},
    {16, 16, 8}, {16, 16, 9}, {16, 16, 11}, {16, 16, 13}, {1, 16, 0},  {1, 16, 0}};

uint32_t* huffCodes[34];
uint8_t* huffLengths[34];
uint32_t* huffDecodeList[34];
uint16_t count1Encode[512];

namespace {

// The slot that owns the arrays a table number uses (17-23 share 16, 25-31 share 24).
int OwnerSlot(int table) {
  if (table >= 17 && table <= 23) return 16;
  if (table >= 25 && table <= 31) return 24;
  return table;
}

bool IsOwner(int table) { return OwnerSlot(table) == table; }

void BuildTable(const layer3::HuffmanSource& source) {
  const int t = source.number;
  const int count = source.count;
  uint32_t* codes = new uint32_t[count]();
  uint8_t* lengths = new uint8_t[count]();
  uint32_t* list = new uint32_t[count + 1];
  for (int i = 0; i < count; ++i) {
    const layer3::HuffmanCode& c = source.codes[i];
    const int index = c.x * source.ylen + c.y;
    codes[index] = c.bits;
    lengths[index] = c.length;
    list[i] = (((1u << c.length) + c.bits) << 8) | (c.x << 4) | c.y;
  }
  std::sort(list, list + count);
  list[count] = 0;
  huffCodes[t] = codes;
  huffLengths[t] = lengths;
  huffDecodeList[t] = list;
}

int Count1Class(int value) { return value == 0 ? 0 : value == 1 ? 1 : 3; }

void BuildCount1Encode() {
  std::fill(count1Encode, count1Encode + 512, uint16_t(0));
  for (int table = 0; table < 2; ++table) {
    const uint32_t* codes = huffCodes[32 + table];
    const uint8_t* lengths = huffLengths[32 + table];
    for (int v = -1; v <= 1; ++v)
      for (int w = -1; w <= 1; ++w)
        for (int x = -1; x <= 1; ++x)
          for (int y = -1; y <= 1; ++y) {
            const int s = 8 * (v != 0) + 4 * (w != 0) + 2 * (x != 0) + (y != 0);
            uint32_t code = codes[s];
            uint32_t length = lengths[s];
            for (int value : {v, w, x, y}) {
              if (value == 0) continue;
              code = (code << 1) | (value < 0);
              ++length;
            }
            const int index = 64 * Count1Class(v) + 16 * Count1Class(w) +
                              4 * Count1Class(x) + Count1Class(y);
            count1Encode[256 * table + index] = uint16_t(code | (length << 10));
          }
  }
}

}  // namespace

namespace {
// Set once every table is complete; a build that threw half-way leaves it clear.
bool tablesBuilt = false;
}  // namespace

void BuildCodeTables() {
  // The tables are fixed: a caller that keeps them between jobs (a fuzz harness, which runs
  // thousands of jobs) need not pay for building them again.
  if (tablesBuilt) return;
  ReleaseCodeTables();
  for (int i = 0; i < layer3::huffmanSourceCount; ++i) BuildTable(layer3::huffmanSources[i]);
  for (int t = 0; t < 34; ++t) {
    const int owner = OwnerSlot(t);
    if (owner == t) continue;
    huffCodes[t] = huffCodes[owner];
    huffLengths[t] = huffLengths[owner];
    huffDecodeList[t] = huffDecodeList[owner];
  }
  BuildCount1Encode();
  BuildFastTables();
  tablesBuilt = true;
}

void ReleaseCodeTables() {
  tablesBuilt = false;
  ReleaseFastTables();
  for (int t = 0; t < 34; ++t) {
    if (IsOwner(t)) {
      delete[] huffCodes[t];
      delete[] huffLengths[t];
      delete[] huffDecodeList[t];
    }
  }
  for (int t = 0; t < 34; ++t) {
    huffCodes[t] = nullptr;
    huffLengths[t] = nullptr;
    huffDecodeList[t] = nullptr;
  }
}
