// The record layer on its own, over memory streams.
#include <gtest/gtest.h>

#include "Container.h"
#include "MemoryStreams.h"

namespace {

std::string Contents(TMemoryStream& S) {
  return std::string(reinterpret_cast<const char*>(S.Memory()), static_cast<size_t>(S.Size()));
}

TEST(OrvaneContainerRecords, WrittenFieldsReadBack) {
  TMemoryStream Out;
  TContainerWriter W(Out);
  const uint8_t Raw[3] = {1, 2, 3};
  W.RawRecord(Raw, 3);
  W.GroupCount(2);
  W.GroupEntry(9, 0x01020304);
  W.GroupEntry(200, 7);  // only the low 8 bits of a level are kept
  W.GroupTotal(0x0102030405060708LL);
  W.Run(Raw, 0);
  W.EndRecord();
  EXPECT_EQ(Contents(Out), std::string("\0\0\0\0\3\0\0\0\1\2\3"
                                       "\2\0\0\0\x09\4\3\2\1\xC8\7\0\0\0"
                                       "\x08\x07\x06\x05\x04\x03\x02\x01"
                                       "\0\0\0\0\xFF\xFF\xFF\xFF",
                                       11 + 14 + 8 + 8));

  Out.SetPosition(0);
  TContainerReader R(Out);
  EXPECT_EQ(R.Count(), 0);
  EXPECT_EQ(R.Length(), 3);
  uint8_t Back[3];
  R.Bytes(Back, 3);
  EXPECT_EQ(std::string(Back, Back + 3), std::string(Raw, Raw + 3));
  EXPECT_EQ(R.Count(), 2);
  EXPECT_EQ(R.Level(), 9);
  EXPECT_EQ(R.Length(), 0x01020304);
  EXPECT_EQ(R.Level(), -56);  // read back sign-extended
  EXPECT_EQ(R.Length(), 7);
  EXPECT_EQ(R.Total(), 0x0102030405060708LL);
  EXPECT_EQ(R.Length(), 0);
  EXPECT_EQ(R.Count(), -1);
  EXPECT_THROW(R.Count(), EContainerError);
}

TEST(OrvaneContainerRecords, ShortAndNegativeFieldsThrow) {
  TMemoryStream In;
  const std::string Bytes("\xFE\xFF\xFF\xFF\x01\x02", 6);
  In.WriteBuffer(Bytes.data(), 6);
  In.SetPosition(0);
  TContainerReader R(In);
  EXPECT_THROW(R.Length(), EContainerError);  // -2
  EXPECT_THROW(R.Total(), EContainerError);   // two bytes left
  TMemoryStream Sink;
  In.SetPosition(4);
  EXPECT_THROW(R.Copy(Sink, 3), EContainerError);
}

}  // namespace
