// What the user asked for on the command line of `sumbrel`.
#pragma once
#include <string>
#include <vector>

enum class Action { Compress, Restore, Test, Info, Help, Version };

struct Options {
  Action action = Action::Help;
  std::vector<std::string> files;
  std::string output;  // -o: only with a single input
  int jobs = 0;        // -j: 0 means one per processor this process may use
  bool force = false;
  bool verify = false;
  bool recursive = false;    // -r: folders given are walked
  bool toStdout = false;     // -c: the one output goes to standard output
  bool quiet = false;        // -q: only failures are printed
  bool removeInput = false;  // --rm: each input goes once its output is complete
  bool skipExisting = false; // --skip-existing: inputs whose output exists are left alone
  int format = 2;            // --format: what compress writes
};

// Fills `options` from argv. On a usage error returns false with the reason in `error`.
bool ParseCommandLine(int argc, char** argv, Options& options, std::string& error);

extern const char* const kUsage;
