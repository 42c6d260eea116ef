// How orvane behaves on wrong arguments, damaged containers, a missing codec
// library and failing output: never a hang, never a failure reported as success.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <tuple>

#include "Threading.h"
#include "driver_samples.h"
#include "e2e_layout.h"
#include "e2e_run.h"

namespace {

std::string Le32(int32_t V) {
  std::string Out(4, '\0');
  for (int i = 0; i < 4; ++i) Out[i] = static_cast<char>(static_cast<uint32_t>(V) >> (8 * i));
  return Out;
}

std::string Le64(int64_t V) { return Le32(static_cast<int32_t>(V)) + Le32(static_cast<int32_t>(V >> 32)); }

// A group record of one stream whose contents are Contents.
std::string OneStreamGroup(const std::string& Contents, int Level, int32_t Length, int64_t Total) {
  return Le32(1) + std::string(1, static_cast<char>(Level)) + Le32(Length) + Le64(Total) + Contents +
         Le32(0) + Le32(0);
}

void ExpectFailure(const testsupport::CommandResult& R, const std::string& What) {
  EXPECT_EQ(R.exit_code, 1) << What;
  EXPECT_NE(R.err, "") << What;
  EXPECT_EQ(R.err.find('\n'), R.err.size() - 1) << What << ": " << R.err;
}

// A wrong call writes nothing and exits 2, so that `orvane -d <a.orv >a && rm
// a.orv` keeps the data; binary data never goes to a terminal, nor is a
// container awaited from one.
TEST(OrvaneFailure, WrongUseExitsTwo) {
  const std::string Input = samples::RandomBytes(1000, 1);
  for (const std::string Args : {"", "E", "encode", "decode", "D", "-d", "e -9", "e d", "d x", "x", "-e"}) {
    const auto R = e2e::Orvane(Args, Input);
    EXPECT_EQ(R.exit_code, 2) << Args;
    EXPECT_EQ(R.out, "") << Args;
    EXPECT_EQ(R.err.rfind("usage: orvane e", 0), 0u) << Args << ": " << R.err;
  }
  const auto Help = e2e::Orvane("--help", "");
  EXPECT_EQ(Help.exit_code, 0);
  EXPECT_NE(Help.out.find("orvane t <container"), std::string::npos) << Help.out;
  const std::string Orvane = testsupport::ShellQuote(ORVANE_BIN);
  for (const std::string& Call : {Orvane + " e </dev/null", Orvane + " d >/dev/null", Orvane + " t"}) {
    // script(1) gives the program a terminal on both standard handles.
    const auto R = testsupport::RunCommand(
        "script -qec " + testsupport::ShellQuote("timeout 60 " + Call) + " /dev/null; echo \" $?\"", "/", "");
    EXPECT_NE(R.out.find("terminal"), std::string::npos) << Call << ": " << R.out;
    EXPECT_EQ(R.out.substr(R.out.size() - 3), " 2\n") << Call << ": " << R.out;
  }
  // The sample writer too: a size it cannot take is refused at once.
  const std::string Sample = "timeout 60 " + testsupport::ShellQuote(ORVANE_SAMPLE_BIN) + " ";
  for (const std::string Args : {"", "-5", "1e6", "10 x", "1 2 3", "4294967297"}) {
    const auto R = testsupport::RunCommand(Sample + Args, "/", "");
    EXPECT_EQ(R.exit_code, 2) << Args;
    EXPECT_EQ(R.out, "") << Args;
    EXPECT_EQ(R.err.rfind("usage: orvane-sample", 0), 0u) << Args << ": " << R.err;
  }
  EXPECT_EQ(testsupport::RunCommand(Sample + "--help", "/", "").exit_code, 0);
}

// The block and group sizes shape the container, so the shipped program takes
// them from nowhere but its own defaults.
TEST(OrvaneFailure, SizesAreNotReadFromTheEnvironment) {
  const std::string Input = samples::RandomBytes(10000, 3);
  const auto R = testsupport::RunCommand(
      "ORVANE_CHUNK_SIZE=4096 ORVANE_DECODE_SIZE=4096 timeout 300 " + testsupport::ShellQuote(ORVANE_BIN) + " e",
      "/", Input);
  EXPECT_EQ(R.exit_code, 0);
  EXPECT_TRUE(R.out == e2e::Encode(Input));
  EXPECT_EQ(samples::ParseContainer(R.out).size(), 2u);  // one raw record and the end
}

// Every offset at which a record or a field of a record starts.
std::vector<size_t> FieldBoundaries(const std::vector<samples::Record>& Records) {
  std::vector<size_t> Out;
  size_t At = 0;
  auto Mark = [&](size_t Length) {
    Out.push_back(At);
    At += Length;
  };
  for (const auto& R : Records) {
    Mark(4);
    if (R.kind == samples::Record::End && R.checked) {
      Mark(8);
      Mark(4);
      Mark(8);
      for (size_t i = 0; i < R.streamCrcs.size(); ++i) Mark(4);
      Mark(4);
    } else if (R.kind == samples::Record::Raw) {
      Mark(4);
      if (!R.raw.empty()) Mark(R.raw.size());
    } else if (R.kind == samples::Record::Group) {
      for (size_t i = 0; i < R.levels.size(); ++i) Mark(5);
      Mark(8);
      if (R.total) Mark(static_cast<size_t>(R.total));
      for (const auto& Run : R.runs) {
        Mark(4);
        if (!Run.empty()) Mark(Run.size());
      }
    }
  }
  return Out;
}

// A container of two groups and raw records, and the input it stands for.
struct Sample {
  e2e::Layout layout;
  std::string container;
  std::vector<samples::Record> records;
  Sample() {
    layout.Raw(samples::RandomBytes(300000, 2));
    for (int i = 0; i < 4; ++i)
      layout.Stream(samples::TextBytes(200000, 3 + i), 2 + i).Raw(samples::RandomBytes(3000, 9 + i));
    container = e2e::Encode(layout.input, {131072, 450000});
    records = samples::ParseContainer(container);
  }
};

TEST(OrvaneFailure, TruncatedContainersFailWithoutHanging) {
  const Sample S;
  ASSERT_GE(e2e::CountGroups(S.records), 2);
  std::vector<size_t> Cuts = FieldBoundaries(S.records);
  std::mt19937 Rng(7);
  for (int i = 0; i < 24; ++i) Cuts.push_back(Rng() % S.container.size());
  for (size_t Cut : Cuts) {
    for (const char* Prefix : {"", "taskset -c 0"}) {
      const auto R = e2e::Orvane("d", S.container.substr(0, Cut), {}, Prefix);
      ExpectFailure(R, "cut at " + std::to_string(Cut) + " " + Prefix);
      // What was written before the failure is a prefix of the input.
      EXPECT_EQ(S.layout.input.compare(0, R.out.size(), R.out), 0);
    }
  }
}

// One flipped bit anywhere, in a field, the contents, a raw run or the trailer,
// fails both d and t. A flip in the contents reaches the end of decoding, which
// then names the damage and the stream it changed.
TEST(OrvaneFailure, EveryFlippedBitFails) {
  const Sample S;
  std::vector<size_t> Flips = FieldBoundaries(S.records);
  std::mt19937 Rng(11);
  for (int i = 0; i < 40; ++i) Flips.push_back(Rng() % S.container.size());
  // A byte of the first raw record, and one of the first group's contents.
  const size_t RawByte = 1000;
  size_t At = 0, InputAt = 0, G = 0;
  for (; S.records[G].kind == samples::Record::Raw; ++G) {
    At += 8 + S.records[G].raw.size();
    InputAt += S.records[G].raw.size();
  }
  const size_t ContentsByte = At + 4 + 5 * S.records[G].levels.size() + 8 + 1000;
  Flips.push_back(RawByte);
  Flips.push_back(ContentsByte);
  for (size_t i = 0; i < Flips.size(); ++i) {
    std::string Damaged = S.container;
    Damaged[Flips[i]] = static_cast<char>(Damaged[Flips[i]] ^ (1 << (i % 8)));
    const char* Mode = i % 2 ? "t" : "d";
    const char* Prefix = i % 3 ? "" : "taskset -c 0";
    const auto R = e2e::Orvane(Mode, Damaged, {}, Prefix);
    ExpectFailure(R, std::string(Mode) + " with bit " + std::to_string(i % 8) + " of byte " + std::to_string(Flips[i]) +
                         " flipped " + Prefix);
    const std::string Cause = "orvane: damaged container: its checksum does not match, and ";
    if (Flips[i] == RawByte) {
      EXPECT_EQ(R.err, Cause + "the rebuilt input differs from the original\n");
    }
    if (Flips[i] == ContentsByte) {
      EXPECT_EQ(R.err, Cause + "the stream at input offset " + std::to_string(InputAt + S.records[G].runs[0].size()) +
                           " (level 2) does not match its recorded CRC-32\n");
    }
  }
}

// A codec library that compresses one level differently and has dropped
// another, as another release may: decoding fails after writing everything,
// naming the first stream that came back different and the likely cause.
TEST(OrvaneFailure, AnotherCodecReleaseIsNamed) {
  e2e::Layout L;
  L.Raw("head").Stream(samples::TextBytes(100000, 70), 4).Raw(samples::RandomBytes(5000, 71));
  L.Stream(samples::TextBytes(300000, 72), 6).Raw("tail").Stream(samples::TextBytes(50000, 73), 9);
  e2e::Layout Dropped;
  Dropped.Raw("x").Stream(samples::TextBytes(20000, 74), 9);
  testsupport::TempDir Dir;
  std::filesystem::copy_file(ORVANE_BIN, Dir / "orvane");
  std::filesystem::copy_file(OTHER_RELEASE_CODEC, Dir / "oo2core_7_linux64.so");
  const std::string Other = Dir / "orvane";
  const std::string Cause = ": the codec library is likely another release than the one that made the container\n";
  const std::vector<std::tuple<e2e::Layout, size_t, std::string>> Cases = {
      {L, 4 + L.streams[0].size() + 5000, "(level 6) came back different"},
      {Dropped, 1, "(level 9) could not be rebuilt"}};
  for (const auto& [Layout, Offset, What] : Cases) {
    const std::string Container = e2e::Encode(Layout.input);
    ASSERT_EQ(samples::ParseContainer(Container).back().streamCrcs.size(), Layout.streams.size());
    for (const char* Mode : {"d", "t"}) {
      for (const char* Prefix : {"", "taskset -c 0"}) {
        const auto R = e2e::Orvane(Mode, Container, {}, Prefix, Other);
        ExpectFailure(R, std::string(Mode) + " " + Prefix);
        EXPECT_EQ(R.err, "orvane: the stream at input offset " + std::to_string(Offset) + " " + What + Cause);
        // d has written everything; up to that stream it is the input.
        if (*Mode == 'd')
          EXPECT_EQ(R.out.compare(0, Offset, Layout.input, 0, Offset), 0);
        else
          EXPECT_EQ(R.out, "");
      }
    }
  }
}

// A damaged count promises billions of streams in a handful of bytes: decoding
// must fail on the missing entries, not first take room for all of them. The
// address-space limit turns such a reservation into a different failure
// (the sanitizer reserves too much address space of its own to run under it).
TEST(OrvaneFailure, HugeStreamCountInATinyContainer) {
  std::string Limit = "ulimit -v 1000000; ";
#if defined(__SANITIZE_ADDRESS__)
  Limit.clear();
#endif
  for (const std::string& Container : {Le32(0x7FFFFFFF), Le32(0x7FFFFFFF) + "\x04" + Le32(100)}) {
    for (const char* Prefix : {"", "taskset -c 0 "}) {
      const auto R = testsupport::RunCommand(
          Limit + "timeout 300 " + Prefix + testsupport::ShellQuote(ORVANE_BIN) + " d", "/", Container);
      ExpectFailure(R, "huge count");
      EXPECT_NE(R.err.find("truncated"), std::string::npos) << R.err;
    }
  }
}

// Contents that cannot be held are reported as such, with the group's offset.
TEST(OrvaneFailure, GroupTooLargeForMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address-space limit is unusable under the sanitizer";
#endif
  const std::string Container = Le32(0) + Le32(2) + "ab" + OneStreamGroup("", 4, INT32_MAX, INT32_MAX);
  const auto R = testsupport::RunCommand("ulimit -v 1000000; timeout 300 " + testsupport::ShellQuote(ORVANE_BIN) + " d",
                                         "/", Container);
  ExpectFailure(R, "2 GiB group");
  EXPECT_NE(R.err.find("cannot allocate 2147483647 bytes"), std::string::npos) << R.err;
  EXPECT_NE(R.err.find("offset 10"), std::string::npos) << R.err;
}

TEST(OrvaneFailure, InconsistentContainersFail) {
  const std::string Contents = samples::TextBytes(5000, 20);
  const std::string End = Le32(-1);
  const std::vector<std::pair<std::string, std::string>> Cases = {
      {"negative raw length", Le32(0) + Le32(-5) + End},
      {"total above the sum", OneStreamGroup(Contents, 4, 5000, 5001) + "x" + End},
      {"total below the sum", OneStreamGroup(Contents.substr(0, 4999), 4, 5000, 4999) + End},
      {"negative stream length", OneStreamGroup("", 4, -1, -1) + End},
      {"level 0", OneStreamGroup(Contents, 0, 5000, 5000) + End},
      {"level 10", OneStreamGroup(Contents, 10, 5000, 5000) + End},
      {"negative run length", OneStreamGroup(Contents, 4, 5000, 5000).substr(0, 5018 - 8) + Le32(-2) + End},
      // Contents that do not shrink: rebuilding would write more than they take.
      {"stream longer than contents", OneStreamGroup("x", 1, 1, 1) + End},
      {"empty stream", OneStreamGroup("", 1, 0, 0) + End},
  };
  for (const auto& [What, Container] : Cases) {
    for (const char* Prefix : {"", "taskset -c 0"}) {
      const auto R = e2e::Orvane("d", Container, {}, Prefix);
      ExpectFailure(R, What + " " + Prefix);
      EXPECT_NE(R.err.find(" offset "), std::string::npos) << R.err;
    }
  }
  // The offsets are those of the damaged fields.
  EXPECT_NE(e2e::Orvane("d", Cases[0].second).err.find("offset 4"), std::string::npos);
  EXPECT_NE(e2e::Orvane("d", Cases[1].second).err.find("offset 9"), std::string::npos);
  EXPECT_NE(e2e::Orvane("d", Cases[4].second).err.find("offset 4"), std::string::npos);
  // The same framing with sound values decodes.
  const auto Good = e2e::Orvane("d", OneStreamGroup(Contents, 4, 5000, 5000) + End);
  EXPECT_EQ(Good.exit_code, 0) << Good.err;
  EXPECT_EQ(Good.out, samples::PackStream(Contents, 4));
}

// The end record is the container's last four bytes: whatever follows it is
// damage (a count turned negative, joined containers, a foreign file), never a
// shorter input to be given back as success.
TEST(OrvaneFailure, BytesAfterTheEndRecordFail) {
  e2e::Layout L;
  L.Raw("head").Stream(samples::TextBytes(20000, 50), 3).Raw("tail");
  const std::string A = e2e::Encode(L.input);
  const std::string B = e2e::Encode("other input");
  std::string Negative = A;
  Negative[3] = '\x80';  // the first count, damaged to a negative value
  const std::vector<std::pair<std::string, std::string>> Cases = {
      {"joined containers", A + B}, {"one byte more", A + "x"}, {"negative count", Negative},
      {"foreign bytes", "\x01\x02\x03\xFFmore"}};
  for (const auto& [What, Container] : Cases) {
    for (const char* Prefix : {"", "taskset -c 0"}) {
      const auto R = e2e::Orvane("d", Container, {}, Prefix);
      ExpectFailure(R, What);
      EXPECT_NE(R.err.find("end record"), std::string::npos) << R.err;
    }
  }
  const size_t EndRecord = A.size() - 28 - 4 * L.streams.size();
  EXPECT_NE(e2e::Orvane("d", A + B).err.find("offset " + std::to_string(EndRecord)), std::string::npos);
  EXPECT_EQ(e2e::Decode(A), L.input);
}

// A task that cannot be created while others already run (an address-space
// or thread limit) must end decoding with a message, not leave the running
// tasks waiting for it. Creations fail from the Nth on: the reader's, the
// writer's, a worker's.
TEST(OrvaneFailure, ThreadsThatCannotBeCreated) {
  e2e::Layout L;
  L.Raw("x").Stream(samples::TextBytes(300000, 60), 4).Raw("y").Stream(samples::TextBytes(9000, 61), 4);
  const std::string Container = e2e::Encode(L.input);
  const std::string Preload = "ASAN_OPTIONS=$ASAN_OPTIONS:verify_asan_link_order=0 LD_PRELOAD=" +
                              testsupport::ShellQuote(THREAD_FAILURE_SHIM) + " ORVANE_TEST_THREADS_FAIL_FROM=";
  const bool Workers = GetCPUCount() > 1;
  for (int From = 1; From <= 4; ++From) {
    for (const char* Cpus : {"", "taskset -c 0 "}) {
      const auto R = testsupport::RunCommand(Preload + std::to_string(From) + " timeout 60 " + Cpus +
                                                 testsupport::ShellQuote(ORVANE_BIN) + " d",
                                             "/", Container);
      // Without workers of their own, two creations are all decoding needs.
      if (From >= 3 && (*Cpus != '\0' || !Workers)) {
        EXPECT_EQ(R.exit_code, 0) << R.err;
        continue;
      }
      ExpectFailure(R, "failing from thread " + std::to_string(From) + " " + Cpus);
      EXPECT_NE(R.err.find("thread"), std::string::npos) << R.err;
    }
  }
}

TEST(OrvaneFailure, MissingCodecLibrary) {
  testsupport::TempDir Dir;
  std::filesystem::copy_file(ORVANE_BIN, Dir / "orvane");
  const std::string Lonely = Dir / "orvane";
  e2e::Layout L;
  L.Raw("abc").Stream(samples::TextBytes(20000, 30), 4).Raw("def");
  // Without the codec nothing is recognised: raw records only, still exact.
  const auto Encoded = e2e::Orvane("e", L.input, {}, "", Lonely);
  EXPECT_EQ(Encoded.exit_code, 0);
  EXPECT_EQ(Encoded.err.rfind("orvane: warning: no codec library", 0), 0u) << Encoded.err;
  EXPECT_EQ(Encoded.err.find('\n'), Encoded.err.size() - 1) << Encoded.err;
  const auto Records = samples::ParseContainer(Encoded.out);
  EXPECT_EQ(e2e::CountGroups(Records), 0);
  const auto Decoded = e2e::Orvane("d", Encoded.out, {}, "", Lonely);
  EXPECT_EQ(Decoded.exit_code, 0);
  EXPECT_TRUE(Decoded.out == L.input);
  // A container with stream groups cannot be decoded without it.
  ExpectFailure(e2e::Orvane("d", e2e::Encode(L.input), {}, "", Lonely), "no codec");
}

TEST(OrvaneFailure, FailedWritesAreReported) {
  e2e::Layout L;
  L.Raw(samples::RandomBytes(3000, 40)).Stream(samples::TextBytes(200000, 41), 4).Raw("x");
  const std::string Container = e2e::Encode(L.input);
  for (const char* Prefix : {"", "taskset -c 0"}) {
    ExpectFailure(e2e::Orvane("e >/dev/full", L.input, {}, Prefix), "encode");
    ExpectFailure(e2e::Orvane("d >/dev/full", Container, {}, Prefix), "decode");
  }
  // A reader that goes away: an error or the pipe signal, never success or a hang.
  const std::string Big = e2e::Encode(samples::RandomBytes(4 << 20, 42));
  for (const char* Mode : {"e", "d"}) {
    const auto R = testsupport::RunCommand(
        "bash -c " + testsupport::ShellQuote("timeout 300 " + testsupport::ShellQuote(ORVANE_BIN) + " " +
                                             Mode + " | head -c 10 >/dev/null; echo ${PIPESTATUS[0]}"),
        "/", Big);
    EXPECT_TRUE(R.out == "1\n" || R.out == "141\n") << Mode << ": " << R.out;
  }
}

}  // namespace
