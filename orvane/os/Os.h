// The operating system services orvane uses, behind one interface. Each
// service is implemented once per system (*Posix.cpp, *Windows.cpp) and the
// build links one set, so the drivers stay free of system calls. The services
// other programs need too (the processor count, the program's folder) come
// from the shared platform library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Os {

// --- loading the codec library -------------------------------------------

// The part of the library's file name that depends on the system:
// "oo2core_7_" + LibraryArch + the system's library extension.
extern const char* const LibraryArch;

// True when Path names an existing file (not a folder).
bool FileExists(const std::string& Path);

// --- processors and threads ----------------------------------------------

void SleepMs(int32_t Milliseconds);

struct TThread;
// Runs Main(Arg) on a new thread with a stack of StackSize bytes. Returns null
// and sets Error to the system's error number when no thread can be had.
TThread* StartThread(void (*Main)(void*), void* Arg, size_t StackSize, int& Error);
// Waits for the thread to end and releases it.
void JoinThread(TThread* Thread);

// --- standard input and output -------------------------------------------

constexpr int StandardInput = 0;
constexpr int StandardOutput = 1;

// Makes the standard handles carry bytes unchanged (no line-end or
// end-of-file translation). Must run before the first read or write.
void UseBinaryStandardHandles();
// True when the descriptor is an interactive terminal (a console on Windows),
// where binary data must not go and from where no container can come.
bool IsTerminal(int Handle);
// Asks for a larger pipe buffer where the system allows it; a descriptor that
// is not a pipe, or a system without the call, is left alone.
void WidenPipe(int Handle, int32_t Size);
// Plain transfers on a descriptor: the count moved, or -1 with errno set.
// Interrupted calls are retried inside.
int32_t ReadHandle(int Handle, void* Buffer, int32_t Count);
int32_t WriteHandle(int Handle, const void* Buffer, int32_t Count);
// 64-bit positions: -1 on failure. Origin is SEEK_SET, SEEK_CUR or SEEK_END.
int64_t SeekHandle(int Handle, int64_t Offset, int Origin);
// 0, or -1 with errno set.
int TruncateHandle(int Handle, int64_t Size);

}  // namespace Os
