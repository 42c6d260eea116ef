/* A small replacement for the Oodle codec library.
 *
 * Streams are cut into blocks of 262,144 raw bytes, each compressed on its own
 * into an LZ4 block behind an Oodle-style header:
 *
 *   flags (0x8C first block, 0x0C following), type 0x0A,
 *   24-bit big-endian length = payload + 2,
 *   24-bit big-endian chunk header = payload length (top 5 bits zero),
 *   payload.
 *
 * The decoder is strict: it succeeds only when the blocks decode to exactly the
 * requested raw length and use up exactly the compressed bytes given. It never
 * reads outside the compressed buffer, never writes outside RawBuf[0, RawLen),
 * and writes nothing there but decoded bytes, so a caller can see how far a
 * wrong-length attempt got by filling the buffer beforehand. */
#include <lz4.h>
#include <lz4hc.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#define EXPORT __declspec(dllexport)
#else
#define EXPORT __attribute__((visibility("default")))
#endif

enum {
  BlockRaw = 262144,
  HeaderSize = 8,
  FirstFlags = 0x8C,
  NextFlags = 0x0C,
  BlockType = 0x0A,
  ChunkMask = 0x7FFFF,
  OnlyCodec = 9
};

/* Level 1 is plain LZ4; levels 2 to 9 are LZ4HC settings of growing effort.
 * A build may set other efforts, or drop a level, as another release of a codec
 * might, to see how its users cope with streams that come out different. */
#ifndef STANDIN_HC_LEVELS
#define STANDIN_HC_LEVELS 0, 0, 2, 3, 4, 6, 8, 9, 10, 12
#endif
static const int HCLevelOf[10] = {STANDIN_HC_LEVELS};

static void PutBE24(uint8_t *p, uint32_t v) {
  p[0] = (uint8_t)(v >> 16);
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)v;
}

static uint32_t GetBE24(const uint8_t *p) {
  return ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
}

/* No capacity is passed in, so the caller must provide room for the worst case:
 * every block may grow by LZ4_compressBound's margin plus its 8 header bytes. */
EXPORT intptr_t OodleLZ_Compress(int32_t A1_Codec, const void *A2_Buf, intptr_t A3_Len,
                                 void *A4_Dst, int32_t A5_Method, const void *A6_Opt,
                                 const void *A7_Dict, void *A8) {
  (void)A6_Opt;
  (void)A7_Dict;
  (void)A8;
  if (A1_Codec != OnlyCodec || A5_Method < 1 || A5_Method > 9 || A3_Len < 0 ||
      (A3_Len > 0 && (A2_Buf == NULL || A4_Dst == NULL)))
    return 0;
#ifdef STANDIN_DROPPED_LEVEL
  /* As a release that no longer offers a level would answer. */
  if (A5_Method == STANDIN_DROPPED_LEVEL) return 0;
#endif

  const int hc = HCLevelOf[A5_Method];
  void *state = malloc(hc ? (size_t)LZ4_sizeofStateHC() : (size_t)LZ4_sizeofState());
  if (state == NULL) return 0;

  const char *src = (const char *)A2_Buf;
  uint8_t *dst = (uint8_t *)A4_Dst;
  intptr_t written = 0;
  for (intptr_t done = 0; done < A3_Len; done += BlockRaw) {
    const int raw = (int)(A3_Len - done < BlockRaw ? A3_Len - done : BlockRaw);
    uint8_t *block = dst + written;
    char *payload = (char *)block + HeaderSize;
    const int bound = LZ4_compressBound(raw);
    const int size = hc ? LZ4_compress_HC_extStateHC(state, src + done, payload, raw, bound, hc)
                        : LZ4_compress_fast_extState(state, src + done, payload, raw, bound, 1);
    if (size <= 0) {
      free(state);
      return 0;
    }
    block[0] = done == 0 ? FirstFlags : NextFlags;
    block[1] = BlockType;
    PutBE24(block + 2, (uint32_t)size + 2);
    PutBE24(block + 5, (uint32_t)size);
    written += HeaderSize + size;
  }
  free(state);
  return written;
}

EXPORT intptr_t OodleLZ_Decompress(const void *CompBuf, intptr_t CompBufSize, void *RawBuf,
                                   intptr_t RawLen, int32_t OodleLZ_FuzzSafe,
                                   int32_t OodleLZ_CheckCRC, int32_t OodleLZ_Verbosity,
                                   void *DecBufBase, intptr_t DecBufSize, void *FpCallback,
                                   void *CallbackUserData, void *DecoderMemory,
                                   intptr_t DecoderMemorySize, int32_t ThreadPhase) {
  (void)OodleLZ_FuzzSafe;
  (void)OodleLZ_CheckCRC;
  (void)OodleLZ_Verbosity;
  (void)DecBufBase;
  (void)DecBufSize;
  (void)FpCallback;
  (void)CallbackUserData;
  (void)DecoderMemory;
  (void)DecoderMemorySize;
  (void)ThreadPhase;
  if (CompBuf == NULL || RawBuf == NULL || CompBufSize <= 0 || RawLen <= 0) return 0;

  /* LZ4 may write ahead of the decoded data inside its output capacity, so
   * blocks are decoded aside and only their decoded bytes are copied out. */
  char *scratch = (char *)malloc(BlockRaw);
  if (scratch == NULL) return 0;
  const uint8_t *in = (const uint8_t *)CompBuf;
  char *out = (char *)RawBuf;
  intptr_t used = 0;
  int ok = 1;
  for (intptr_t done = 0; ok && done < RawLen; done += BlockRaw) {
    const int expected = (int)(RawLen - done < BlockRaw ? RawLen - done : BlockRaw);
    const uint8_t *block = in + used;
    ok = CompBufSize - used >= HeaderSize &&
         block[0] == (done == 0 ? FirstFlags : NextFlags) && block[1] == BlockType;
    if (!ok) break;
    const uint32_t field = GetBE24(block + 2);
    const uint32_t chunk = GetBE24(block + 5);
    ok = chunk <= ChunkMask && field == chunk + 2 && (intptr_t)chunk <= CompBufSize - used - HeaderSize;
    if (!ok) break;
    const int got = LZ4_decompress_safe((const char *)block + HeaderSize, scratch, (int)chunk, BlockRaw);
    if (got > 0) memcpy(out + done, scratch, (size_t)(got < expected ? got : expected));
    ok = got == expected;
    used += HeaderSize + (intptr_t)chunk;
  }
  free(scratch);
  if (!ok) return 0;
  return used == CompBufSize ? RawLen : 0;
}
