#include <cstring>

#include "OodleDLL.h"
#include "OodleDetect.h"

namespace {

// The last offset j in (0, Last] where A[j] equals B[j], or 0. The bytes past
// the decoded data differ everywhere, and there can be megabytes of them, so
// words in which every byte differs are skipped whole.
int32_t LastAgreement(const uint8_t* A, const uint8_t* B, int32_t Last) {
  constexpr uint64_t Ones = 0x0101010101010101ull, Highs = 0x8080808080808080ull;
  int32_t j = Last;
  while (j >= 8) {
    uint64_t WordA, WordB;
    std::memcpy(&WordA, A + j - 7, 8);
    std::memcpy(&WordB, B + j - 7, 8);
    const uint64_t Diff = WordA ^ WordB;
    if (((Diff - Ones) & ~Diff & Highs) != 0) break;  // some byte agrees: find it below
    j -= 8;
  }
  while (j > 0 && A[j] != B[j]) j--;
  return j;
}

// Takes Length trial-decode bytes from Budget; false when they are not there.
// A refused request leaves its charge in place: the probe that made it ends,
// and so will every later one, since the balance only falls.
bool Spend(std::atomic<int64_t>* Budget, int32_t Length) {
  return Budget == nullptr || Budget->fetch_sub(Length, std::memory_order_relaxed) >= Length;
}

}  // namespace

// The library only says whether a stream decodes to exactly the length asked
// for, so the length is searched: decode with a too-long length into two
// buffers pre-filled differently; where the two stop agreeing is roughly where
// the decoded data ends, and the exact length lies just around it.
int32_t GetOodleUS(const uint8_t* Input, int32_t InSize, uint8_t* Output, int32_t OutSize,
                   std::atomic<int64_t>* Budget) {
  constexpr int32_t Step = BlkSize / TCount;
  if (InSize <= 0 || OutSize <= 0) return 0;
  uint8_t* const A = Output;
  uint8_t* const B = Output + OutSize;

  int32_t Best = 0;
  int32_t Tried = 0;  // the length tried straight after the first attempt, if any
  for (int32_t i = 0; i < TCount; i++) {
    const int32_t Try = OutSize - i * Step;
    if (Try <= 0) break;
    if (!Spend(Budget, Try) || !Spend(Budget, Try)) return 0;
    std::memset(A, 0xE5, static_cast<size_t>(Try));
    std::memset(B, 0xC7, static_cast<size_t>(Try));
    const int32_t RA = OodleDLL::OodleDecompress(Input, InSize, A, Try);
    const int32_t RB = OodleDLL::OodleDecompress(Input, InSize, B, Try);
    if (RA > 0 && RA == RB && A[0] == B[0]) return RA;
    const int32_t j = LastAgreement(A, B, Try - 1);
    if (Best > j) break;
    Best = j;
    // A too-long attempt leaves the decoded bytes and nothing past them, so
    // for a stream that decodes to its end the two buffers agree up to exactly
    // its length. The codec accepts only the exact length, so one decode there
    // gives what the search below would find after dozens of whole-stream
    // decodes at the lengths above it, all of which fail. (A codec that took a
    // shorter length here would cost the stream its place, never its bytes:
    // the level search cannot rebuild it from contents cut short.)
    if (i == 0 && j + 1 < OutSize && Best - 96 + SCount >= InSize) {
      Tried = j + 1;
      if (!Spend(Budget, Tried)) return 0;
      if (OodleDLL::OodleDecompress(Input, InSize, A, Tried) > 0) return Tried;
    }
  }
  // Too little decoded data to be a real stream.
  if (Best - 96 + SCount < InSize) return 0;

  // Lengths of OutSize and more are skipped: the estimate is an upper bound and
  // OutSize itself was the first attempt above. Giving up on them instead would
  // lose every stream that ends within 95 bytes before its estimate.
  const int32_t Base = Best - 96;
  for (int32_t m = SCount - 1; m >= 0; m--) {
    const int32_t Length = Base + m;
    if (Length <= 0 || Length >= OutSize || Length == Tried) continue;
    if (!Spend(Budget, Length)) return 0;
    if (OodleDLL::OodleDecompress(Input, InSize, A, Length) > 0) return Length;
  }
  return 0;
}
