// Mode d: reads a container from standard input and writes the encoder's input
// back to standard output.
#pragma once

#include "Stream.h"

// Throws on a truncated or inconsistent container, a missing codec library or a
// failed read or write; every task has ended by then.
void Decode();
// The same over any pair of streams, for callers that hold the container in
// memory; the bytes written to Out are complete when it returns.
void Decode(TStream& In, TStream& Out);

// The reader and writer procedures of a stream group, run by Task3 and Task2.
void ReadInput();
void WriteOutput();
