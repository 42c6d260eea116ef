#include "command_line.h"

#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host_os.h"
#include "processors.h"

const char* const kUsage =
    "usage: sumbrel compress [-j N] [-f] [-r] [-c] [-q] [--verify] [--rm] [--skip-existing]\n"
    "                        [--format 1|2] [-o OUT] FILE...\n"
    "       sumbrel restore  [-j N] [-f] [-r] [-c] [-q] [--rm] [--skip-existing] [-o OUT] FILE.sbk...\n"
    "       sumbrel test     [-j N] [-r] [-q] FILE.sbk...\n"
    "       sumbrel info     [-r] FILE...\n"
    "\n"
    "compress    writes FILE.sbk beside each MP3 file (FILE ends in .mp3, in any case)\n"
    "restore     writes each FILE.sbk back as FILE\n"
    "test        restores each file without writing anything, and says whether it is whole\n"
    "            (format 2: whether it gives back the length and checksum it records)\n"
    "info        prints each file's form, format, sizes, saved percent, frame count and\n"
    "            (format 2) the CRC-32C of the MP3 file it records\n"
    "\n"
    "FILE '-' is standard input; the output then goes to standard output unless -o names it.\n"
    "\n"
    "  -j, --jobs N      files worked on at once, each in its own process\n"
    "                    (default: the processors this process may use)\n"
    "  -o, --output OUT  the output name, for a single input\n"
    "  -f, --force       replace existing output files\n"
    "  -r, --recursive   take the folders given with every *.mp3 (compress) or *.sbk file\n"
    "                    in them and below, in any case; a folder given through a link is\n"
    "                    walked, links to folders below it are not followed\n"
    "  -c, --stdout      write the output of the single input to standard output\n"
    "  -q, --quiet       print nothing but failures\n"
    "      --verify      after compressing, restore and compare byte for byte\n"
    "      --format N    the format compress writes: 2 (the default) records the MP3 file's\n"
    "                    length and CRC-32C, which every restore checks; 1 is the plug-in's\n"
    "                    first format, for hosts that know no other\n"
    "      --rm          remove each input once its output is complete (compress verifies\n"
    "                    first and keeps the input if anything fails)\n"
    "      --skip-existing  leave inputs whose output already exists alone; they count as\n"
    "                    skipped, not failed (for running again over a growing collection)\n"
    "  -h, --help        this text\n"
    "  -V, --version     the program's version\n"
    "\n"
    "Outputs take the input's modification time and permissions. Exit code 0 when every\n"
    "file succeeded, 1 when any failed, 2 for a usage error, 130 when interrupted. A batch\n"
    "with failures ends by listing them.\n";

namespace {

bool ParseJobs(const char* text, int& jobs) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 1 || value > 1024) return false;
  jobs = int(value);
  return true;
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, Options& options, std::string& error) {
  enum { kVerify = 1000, kRemove, kSkipExisting, kFormat };
  static const option longOptions[] = {
      {"jobs", required_argument, nullptr, 'j'}, {"output", required_argument, nullptr, 'o'},
      {"force", no_argument, nullptr, 'f'},      {"verify", no_argument, nullptr, kVerify},
      {"recursive", no_argument, nullptr, 'r'},  {"stdout", no_argument, nullptr, 'c'},
      {"quiet", no_argument, nullptr, 'q'},      {"rm", no_argument, nullptr, kRemove},
      {"help", no_argument, nullptr, 'h'},       {"version", no_argument, nullptr, 'V'},
      {"skip-existing", no_argument, nullptr, kSkipExisting},
      {"format", required_argument, nullptr, kFormat},
      {nullptr, 0, nullptr, 0}};
  bool help = false, version = false, outputGiven = false, formatGiven = false;
  opterr = 0;
  optind = 0;  // 0, not 1: also forgets where a cluster of short options stopped
  for (;;) {
    const int c = getopt_long(argc, argv, ":j:o:frcqhV", longOptions, nullptr);
    if (c == -1) break;
    switch (c) {
      case 'j':
        if (!ParseJobs(optarg, options.jobs)) {
          error = std::string("-j needs a number of jobs from 1 to 1024, not '") + optarg + "'";
          return false;
        }
        break;
      case 'o':
        if (*optarg == '\0') {
          error = "-o needs a file name";
          return false;
        }
        options.output = optarg;
        outputGiven = true;
        break;
      case 'f': options.force = true; break;
      case kVerify: options.verify = true; break;
      case 'r': options.recursive = true; break;
      case 'c': options.toStdout = true; break;
      case 'q': options.quiet = true; break;
      case kRemove: options.removeInput = true; break;
      case kSkipExisting: options.skipExisting = true; break;
      case kFormat:
        if (std::strcmp(optarg, "1") != 0 && std::strcmp(optarg, "2") != 0) {
          error = std::string("--format needs 1 or 2, not '") + optarg + "'";
          return false;
        }
        options.format = *optarg - '0';
        formatGiven = true;
        break;
      case 'h': help = true; break;
      case 'V': version = true; break;
      case ':':
        error = std::string("option '") + argv[optind - 1] + "' needs a value";
        return false;
      default:
        error = optopt ? std::string("unknown option '-") + char(optopt) + "'"
                       : std::string("unknown option '") + argv[optind - 1] + "'";
        return false;
    }
  }
  if (help || version) {
    options.action = help ? Action::Help : Action::Version;
    return true;
  }
  if (optind >= argc) {
    error = "no command given";
    return false;
  }
  const std::string command = argv[optind++];
  if (command == "compress") {
    options.action = Action::Compress;
  } else if (command == "restore") {
    options.action = Action::Restore;
  } else if (command == "test") {
    options.action = Action::Test;
  } else if (command == "info") {
    options.action = Action::Info;
  } else {
    error = "unknown command '" + command + "'";
    return false;
  }
  options.files.assign(argv + optind, argv + argc);
  if (options.files.empty()) {
    error = command + ": no files given";
    return false;
  }
  if (outputGiven && (options.action == Action::Info || options.action == Action::Test)) {
    error = command + " writes no files, so -o does not apply";
    return false;
  }
  if (outputGiven && options.files.size() != 1) {
    error = "-o names the output of a single input, but " +
            std::to_string(options.files.size()) + " files were given";
    return false;
  }
  if (options.verify && options.action != Action::Compress) {
    error = "--verify applies to compress only";
    return false;
  }
  if (formatGiven && options.action != Action::Compress) {
    error = "--format applies to compress only (the other commands read the format from each file)";
    return false;
  }
  const bool writes = options.action == Action::Compress || options.action == Action::Restore;
  if (!writes && (options.force || options.toStdout || options.removeInput)) {
    error = command + " writes no files, so -f, -c and --rm do not apply";
    return false;
  }
  if (options.action == Action::Info && options.quiet) {
    error = "info prints what it finds, so -q does not apply";
    return false;
  }
  if (options.skipExisting && !writes) {
    error = "--skip-existing applies to compress and restore only";
    return false;
  }
  if (options.skipExisting && options.force) {
    error = "-f replaces existing outputs and --skip-existing keeps them: choose one";
    return false;
  }
  const bool fromStdin = std::find(options.files.begin(), options.files.end(), "-") != options.files.end();
  if (fromStdin && !outputGiven && writes) options.toStdout = true;
  if (options.toStdout && outputGiven) {
    error = "-c writes to standard output, so -o does not apply";
    return false;
  }
  if (options.toStdout && (options.files.size() != 1 || options.recursive)) {
    error = "standard output takes the output of a single input file";
    return false;
  }
  if (fromStdin && (options.files.size() != 1 || options.recursive)) {
    error = "standard input ('-') is the only input when it is given";
    return false;
  }
  if (options.removeInput && (options.toStdout || fromStdin)) {
    error = "--rm keeps nothing but the output file, so it does not go with -c or '-'";
    return false;
  }
  if (options.removeInput && options.action == Action::Compress) options.verify = true;
  if (outputGiven && options.recursive) {
    error = "-o names the output of a single input, so it does not go with -r";
    return false;
  }
  if (options.jobs == 0) options.jobs = platform::UsableProcessors();
  return true;
}
