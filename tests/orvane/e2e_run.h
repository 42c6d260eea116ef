// Runs build/bin/orvane as a user would, each run bounded by a timeout so that
// a hang fails the test instead of stalling the suite.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "command.h"

namespace e2e {

constexpr int TimedOut = 124;  // exit code of timeout(1)

// Block and group sizes of the encoder, 0 for the program's defaults. Encoding
// with other sizes runs the encoder through a test tool that takes them as
// arguments: the shipped program has no way to change them.
struct Sizes {
  int64_t chunk = 0;
  int64_t group = 0;
};

inline testsupport::CommandResult Orvane(const std::string& Arguments, const std::string& Input,
                                         Sizes S = {}, const std::string& Prefix = "",
                                         const std::string& Binary = ORVANE_BIN) {
  const bool Sized = S.chunk != 0 || S.group != 0;
  EXPECT_TRUE(!Sized || Arguments == "e") << "sizes apply to encoding only";
  const std::string Call = Sized ? testsupport::ShellQuote(ORVANE_SIZED_BIN) + " " + std::to_string(S.chunk) +
                                       " " + std::to_string(S.group)
                                 : testsupport::ShellQuote(Binary) + " " + Arguments;
  return testsupport::RunCommand("timeout 300 " + Prefix + " " + Call, "/", Input);
}

// Encode, expecting success without a word on standard error.
inline std::string Encode(const std::string& Input, Sizes S = {}, const std::string& Prefix = "") {
  const auto R = Orvane("e", Input, S, Prefix);
  EXPECT_EQ(R.exit_code, 0);
  EXPECT_EQ(R.err, "");
  return R.out;
}

inline std::string Decode(const std::string& Container, const std::string& Prefix = "") {
  const auto R = Orvane("d", Container, {}, Prefix);
  EXPECT_EQ(R.exit_code, 0) << R.err;
  EXPECT_EQ(R.err, "");
  return R.out;
}

}  // namespace e2e
