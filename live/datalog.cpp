#include "live/datalog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "link/utils.h"

namespace live {

std::string CsvHeader() {
  std::string line = "time_s";
  for (const LiveField& f : LiveFields()) line += "," + f.ColumnName();
  for (const LiveLed& l : LiveLeds()) line += std::string(",") + l.column;
  return line + "\n";
}

std::vector<std::string> ColumnNames() {
  std::vector<std::string> names;
  for (const LiveField& f : LiveFields()) names.push_back(f.ColumnName());
  for (const LiveLed& l : LiveLeds()) names.emplace_back(l.column);
  return names;
}

void RowValues(const LiveData& record, std::vector<float>* values) {
  values->clear();
  for (const LiveField& f : LiveFields()) values->push_back(static_cast<float>(ShownValue(record, f)));
  for (const LiveLed& l : LiveLeds()) values->push_back(StatusBit(record, l.byte, l.bit) ? 1.0f : 0.0f);
}

std::string CsvRow(double seconds, const LiveData& record) {
  std::string line = com::FixedText(std::round(seconds * 1000.0) / 1000.0, 3);
  line.reserve(640);
  for (const LiveField& f : LiveFields()) {
    line += ',';
    line += ShownText(record, f);
  }
  for (const LiveLed& l : LiveLeds()) {
    line += ',';
    line += StatusBit(record, l.byte, l.bit) ? '1' : '0';
  }
  line += '\n';
  return line;
}

bool Datalog::Open(const std::string& path, std::string* error) {
  Close();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  fd_ = fd;
  owned_ = true;
  path_ = path;
  if (!WriteLine(CsvHeader(), error)) {
    Close();
    return false;
  }
  return true;
}

bool Datalog::Attach(int fd, std::string* error) {
  Close();
  fd_ = fd;
  owned_ = false;
  path_.clear();
  if (!WriteLine(CsvHeader(), error)) {
    Close();
    return false;
  }
  return true;
}

void Datalog::Close() {
  if (fd_ >= 0 && owned_) ::close(fd_);
  fd_ = -1;
  owned_ = false;
  count_ = 0;
  bytes_ = 0;
  first_ = last_ = 0;
}

bool Datalog::WriteLine(const std::string& line, std::string* error) {
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A line cut short (a full disk) is taken back, so the file stays a valid CSV.
      if (done > 0 && owned_ && ::ftruncate(fd_, static_cast<off_t>(bytes_)) == 0)
        ::lseek(fd_, static_cast<off_t>(bytes_), SEEK_SET);
      if (error) *error = (path_.empty() ? std::string("the log") : path_) + ": " + std::strerror(errno);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  bytes_ += line.size();
  return true;
}

bool Datalog::Write(const LiveData& record, double now, std::string* error) {
  if (fd_ < 0) {
    if (error) *error = "the log is not open";
    return false;
  }
  if (count_ == 0) first_ = now;
  if (!WriteLine(CsvRow(now - first_, record), error)) return false;
  last_ = now;
  ++count_;
  return true;
}

double Datalog::Rate() const {
  if (count_ < 2 || last_ <= first_) return 0;
  return static_cast<double>(count_ - 1) / (last_ - first_);
}

}  // namespace live
