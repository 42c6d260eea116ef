// Mode d: reads a container from standard input and writes the encoder's input
// back to standard output; mode t rebuilds it the same way and writes nothing.
#pragma once

#include <stdexcept>

#include "Stream.h"

// The rebuilt input differs from what the container's checksums promise. It is
// raised only after all of the output has been written.
struct EVerifyError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Each returns true when the container carried checksums and everything they
// cover matched, false for a container of the plain layout, which cannot be
// verified. Throws on a truncated or inconsistent container, a missing codec
// library, a failed read or write, or a failed check; every task has ended by
// then.
bool Decode();
bool Test();
// The same over any pair of streams, for callers that hold the container in
// memory; the bytes written to Out are complete when it returns or throws
// EVerifyError.
bool Decode(TStream& In, TStream& Out);

// The reader and writer procedures of a stream group, run by Task3 and Task2.
void ReadInput();
void WriteOutput();
