// The checks made for each file before any work starts, and what a job needs to know.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "host_os.h"
#include "packed_header.h"

struct FileJob {
  std::string input;
  std::string output;
  std::string inputName;   // for messages: the input as the user named it
  std::string outputName;  // for messages: the output as the user will find it
  bool restore = false;
  bool test = false;           // the library's check: restores through every check, writes nothing
  bool force = false;
  bool verify = false;
  bool removeInput = false;    // --rm
  bool keepAttributes = true;  // the output takes the input's time and permissions
  int format = 2;              // compressing: the format written
  std::string workFolder;      // this job's own folder beside the output, for its temporary files
  std::string linkFolder;      // where links with names the library takes are made
  PackedHeader header;    // restoring: the header of the input
  int64_t workBytes = 0;  // MP3 bytes a job goes through, counting the verifying pass

  bool operator==(const FileJob&) const = default;
};

// Looks at names, inputs and outputs before anything is written, so that a bad file gets its
// message at once and two files never race for one output. Plan returns "" when the job can
// run, else the reason; with skipExisting, an input whose output exists already gets the
// reason kSkipped, which is no failure.
struct JobPlanner {
  bool restore, test, force, verify, removeInput;
  std::string explicitOutput;
  std::set<HostOs::FileIdentity> inputs;  // every input of this command
  std::set<std::string> outputs;             // outputs planned so far
  bool skipExisting = false;
  int format = 2;  // what compress writes

  static const std::string kSkipped;
  std::string Plan(const std::string& input, FileJob& job);
};
