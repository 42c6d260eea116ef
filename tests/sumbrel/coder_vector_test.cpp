// Bytes that an independent implementation of the coder's arithmetic wrote for a fixed run of
// decisions. A round trip cannot catch a change that encoder and decoder share; this can.
#include <gtest/gtest.h>

#include "coder/coder.h"
#include "coder_memory_stream.h"

TEST(CoderVector, TreeAdaptiveAndEvenBitsGiveTheKnownBytes) {
  Coder coder;
  MemoryStream stream;
  stream.AttachEncoder(coder);
  AdaptiveBit tree[256];
  for (int value : {0, 255, 17, 200, 128, 128, 128}) CodeTree8(tree, coder, value, -1, 256, rate28_128, 16);
  AdaptiveBit single;
  for (int bit : {1, 1, 0, 1, 1, 1, 1, 0}) CodeBit(coder, single, bit, rate20_100, 163);
  for (int bit : {1, 0, 1}) CodeEvenBit(coder, bit);
  Flush(coder);

  const std::vector<uint8_t> expected = {0x00, 0x00, 0xFF, 0x9B, 0x47, 0x0E,
                                         0xA8, 0xA7, 0x12, 0x6C, 0x13, 0x60};
  EXPECT_EQ(stream.bytes, expected);
  EXPECT_EQ(tree[1].p, 9253);
  EXPECT_EQ(tree[1].state, 8);
  EXPECT_EQ(single.p, 9453);
  EXPECT_EQ(single.state, 9);

  Coder decoder;
  stream.AttachDecoder(decoder);
  AdaptiveBit tree2[256];
  std::vector<int> values;
  for (int i = 0; i < 7; ++i) {
    int value = 0;
    CodeTree8(tree2, decoder, value, -1, 256, rate28_128, 16);
    values.push_back(value);
  }
  EXPECT_EQ(values, (std::vector<int>{0, 255, 17, 200, 128, 128, 128}));
}
