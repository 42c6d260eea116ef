// A file's job as one string and back: how a job reaches a process that is started as a new
// run of this program, where no process can be forked (Windows). Both directions walk one list
// of the job's fields, and the Linux tests hold the round trip to every field.
#pragma once
#include <string>

#include "job_planner.h"

std::string EncodeJob(const FileJob& job);
// False when `bytes` is not exactly one encoded job.
bool DecodeJob(const std::string& bytes, FileJob& job);
