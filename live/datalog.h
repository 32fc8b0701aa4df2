// The datalog: live records as CSV, one line per record, each line written whole
// with one write and nothing buffered, so that a log cut off at any moment is a
// valid CSV. Columns: time_s (seconds since the first record, millisecond
// resolution), every shown field of the live record in offset order, then one 0/1
// column per status LED.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "live/liverecord.h"

namespace live {

std::string CsvHeader();
std::string CsvRow(double seconds, const LiveData& record);
// The columns of a row without the time, and a record's values in them (the shown
// values, the LEDs as 0 or 1): what the live trends plot.
std::vector<std::string> ColumnNames();
void RowValues(const LiveData& record, std::vector<float>* values);

class Datalog {
 public:
  Datalog() = default;
  Datalog(const Datalog&) = delete;
  Datalog& operator=(const Datalog&) = delete;
  ~Datalog() { Close(); }

  // Creates (or truncates) `path` and writes the header; false with a message.
  bool Open(const std::string& path, std::string* error);
  // Writes to an open descriptor (standard output) that the log does not own.
  bool Attach(int fd, std::string* error);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Appends a record taken at `now` (seconds on any steady clock); false with a
  // message when the line cannot be written.
  bool Write(const LiveData& record, double now, std::string* error);

  uint64_t Count() const { return count_; }
  // Records per second from the first to the last record (0 before the second).
  double Rate() const;
  const std::string& Path() const { return path_; }

 private:
  bool WriteLine(const std::string& line, std::string* error);
  int fd_ = -1;
  bool owned_ = false;
  std::string path_;
  uint64_t count_ = 0;
  uint64_t bytes_ = 0;  // length of the whole lines written
  double first_ = 0, last_ = 0;
};

}  // namespace live
