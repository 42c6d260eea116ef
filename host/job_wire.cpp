#include "job_wire.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

// Every field is its length in decimal, ':' and its text; numbers are written as text.
class Writer {
 public:
  void Field(const std::string& text) { out += std::to_string(text.size()) + ":" + text; }
  void Field(int64_t value) { Field(std::to_string(value)); }
  void Field(bool value) { Field(int64_t(value)); }
  void Field(int value) { Field(int64_t(value)); }
  void Field(uint32_t value) { Field(int64_t(value)); }
  void Field(PackedForm form) { Field(int64_t(form)); }
  std::string out;
};

class Reader {
 public:
  explicit Reader(const std::string& in) : in_(in) {}
  void Field(std::string& text) {
    size_t length = 0, at = at_;
    for (; ok && at < in_.size() && in_[at] >= '0' && in_[at] <= '9' && at - at_ < 18; ++at)
      length = length * 10 + size_t(in_[at] - '0');
    ok = ok && at > at_ && at < in_.size() && in_[at] == ':' && length <= in_.size() - at - 1;
    if (!ok) return;
    text = in_.substr(at + 1, length);
    at_ = at + 1 + length;
  }
  void Field(int64_t& value) {
    std::string text;
    Field(text);
    char* end = nullptr;
    if (ok) value = std::strtoll(text.c_str(), &end, 10);
    ok = ok && !text.empty() && *end == '\0';
  }
  void Field(bool& value) {
    int64_t number = 0;
    Field(number);
    value = number != 0;
  }
  void Field(int& value) { Narrow(value); }
  void Field(uint32_t& value) { Narrow(value); }
  void Field(PackedForm& form) {
    int64_t number = 0;
    Field(number);
    form = PackedForm(number);
  }
  // A number that does not fit its field is no job that a writer made.
  template <typename Number>
  void Narrow(Number& value) {
    int64_t number = 0;
    Field(number);
    ok = ok && number >= int64_t(std::numeric_limits<Number>::min()) &&
         number <= int64_t(std::numeric_limits<Number>::max());
    value = Number(number);
  }
  bool Done() const { return ok && at_ == in_.size(); }
  bool ok = true;

 private:
  const std::string& in_;
  size_t at_ = 0;
};

// The one list of what a job carries, in the order of the bytes.
template <typename Job, typename Visitor>
void Fields(Job& job, Visitor& visit) {
  visit.Field(job.input);
  visit.Field(job.output);
  visit.Field(job.inputName);
  visit.Field(job.outputName);
  visit.Field(job.workFolder);
  visit.Field(job.linkFolder);
  visit.Field(job.restore);
  visit.Field(job.test);
  visit.Field(job.force);
  visit.Field(job.verify);
  visit.Field(job.removeInput);
  visit.Field(job.keepAttributes);
  visit.Field(job.format);
  visit.Field(job.header.form);
  visit.Field(job.header.format);
  visit.Field(job.header.fileSize);
  visit.Field(job.header.originalSize);
  visit.Field(job.header.frames);
  visit.Field(job.header.complete);
  visit.Field(job.header.model);
  visit.Field(job.header.checksum);
  visit.Field(job.workBytes);
}

}  // namespace

std::string EncodeJob(const FileJob& job) {
  Writer writer;
  Fields(job, writer);
  return writer.out;
}

bool DecodeJob(const std::string& bytes, FileJob& job) {
  Reader reader(bytes);
  Fields(job, reader);
  return reader.Done();
}
