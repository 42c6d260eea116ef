// bench-formats-costs --group NAME FILE... [--group NAME FILE...]: where the coded bits of
// each format go, for bench-formats, which runs it on its groups of clips. It links a copy of
// the model built with SUMBREL_DECISION_COSTS, in which the coder adds -log2(p) of every bit it
// encodes to the class of decision the model last named; that copy cannot share a program with
// bench-formats' timed one (the same symbols), hence a program of its own.
//
// Per group, each format encodes every file once, in memory as bench-model does (the literal
// bytes beside the coded bits, so the driver's escape bits and literal bytes are not counted).
// Per class of decision and format: "share", its part of all coded bits; "bits/dec", its bits
// per decision (low when the model predicts that decision well); and "2/1 bits", format 2's
// bits in that class over format 1's, which tells where format 2 gains or loses. The "all" row
// adds the decisions per MP3 byte.
#include <cstdio>
#include <string>
#include <vector>

#include "bitstream/huffman_tables.h"
#include "coder/decision_costs.h"
#include "model/mp3_model.h"
#include "model_bench.h"

namespace {

using namespace model_bench;
namespace costs = decision_costs;

struct Group {
  std::string name;
  std::vector<std::string> files;
};

// The costs of coding every file of `group` with one format; false when a file cannot be read.
bool Count(const Group& group, int format, costs::Totals& totals, int64_t& mp3Bytes, int64_t& codedBytes) {
  costs::totals = {};
  mp3Bytes = codedBytes = 0;
  for (const std::string& path : group.files) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) {
      std::fprintf(stderr, "bench-formats-costs: cannot open %s\n", path.c_str());
      return false;
    }
    costs::current = costs::kOther;  // nothing carries over from the file before
    Steps steps;
    int32_t length = 0;
    const MemoryStream coded =
        EncodeFile(in, steps, length, [format](MP3Model& model) { model.StartStream(0, 0, format); });
    std::fclose(in);
    mp3Bytes += length;
    codedBytes += int64_t(coded.bytes.size());
  }
  totals = costs::totals;
  return true;
}

void PrintGroup(const Group& group, const costs::Totals (&totals)[2], const int64_t (&codedBytes)[2],
                int64_t mp3Bytes) {
  double allBits[2] = {}, allDecisions[2] = {};
  for (int f = 0; f < 2; ++f)
    for (int c = 0; c < costs::kClasses; ++c) allBits[f] += totals[f].bits[c], allDecisions[f] += double(totals[f].decisions[c]);
  // The costs summed and the bytes the coder wrote agree to a few bytes, or the accounting is off.
  std::printf("bits per class of decision, %s (%.2f MB of MP3; coded bytes by the costs / by the coder: "
              "format 1 %.0f / %lld, format 2 %.0f / %lld)\n",
              group.name.c_str(), double(mp3Bytes) / 1e6, allBits[0] / 8, static_cast<long long>(codedBytes[0]),
              allBits[1] / 8, static_cast<long long>(codedBytes[1]));
  std::printf("%-18s  %16s  %16s\n", "", "format 1", "format 2");
  std::printf("%-18s  %7s %8s  %7s %8s  %8s\n", "class", "share", "bits/dec", "share", "bits/dec", "2/1 bits");
  const auto share = [](double part, double whole) { return whole > 0 ? 100.0 * part / whole : 0.0; };
  const auto per = [](double bits, double count) { return count > 0 ? bits / count : 0.0; };
  for (int c = 0; c < costs::kClasses; ++c) {
    const costs::Totals &one = totals[0], &two = totals[1];
    if (one.decisions[c] == 0 && two.decisions[c] == 0) continue;
    char ratio[16] = "-";
    if (one.bits[c] > 0) std::snprintf(ratio, sizeof ratio, "%.3f", two.bits[c] / one.bits[c]);
    std::printf("%-18s  %6.2f%% %8.4f  %6.2f%% %8.4f  %8s\n", costs::kNames[c], share(one.bits[c], allBits[0]),
                per(one.bits[c], double(one.decisions[c])), share(two.bits[c], allBits[1]),
                per(two.bits[c], double(two.decisions[c])), ratio);
  }
  std::printf("%-18s  %6.2f%% %8.4f  %6.2f%% %8.4f  %8.3f   (%.2f and %.2f decisions per MP3 byte)\n\n", "all", 100.0,
              per(allBits[0], allDecisions[0]), 100.0, per(allBits[1], allDecisions[1]),
              allBits[0] > 0 ? allBits[1] / allBits[0] : 0.0, per(allDecisions[0], double(mp3Bytes)),
              per(allDecisions[1], double(mp3Bytes)));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Group> groups;
  bool wrongUse = argc < 2;
  for (int i = 1; i < argc && !wrongUse; ++i) {
    const std::string arg = argv[i];
    if (arg == "--group") {
      wrongUse = i + 1 == argc;
      if (!wrongUse) groups.push_back({argv[++i], {}});
    } else {
      wrongUse = groups.empty();  // a file before any group
      if (!wrongUse) groups.back().files.push_back(arg);
    }
  }
  if (wrongUse) {
    std::fprintf(stderr, "usage: bench-formats-costs --group NAME FILE... [--group NAME FILE...]\n");
    return 2;
  }
  bool ok = true;
  for (const Group& group : groups) {
    costs::Totals totals[2];
    int64_t mp3Bytes = 0, codedBytes[2] = {};
    for (int f = 0; f < 2 && ok; ++f) ok = Count(group, f + 1, totals[f], mp3Bytes, codedBytes[f]);
    if (!ok) break;
    PrintGroup(group, totals, codedBytes, mp3Bytes);
    std::fflush(stdout);
  }
  ReleaseCodeTables();
  return ok ? 0 : 1;
}
