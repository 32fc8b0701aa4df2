// A log that grows while it is shown (the live page's trends): rows appended at the end,
// the oldest dropped in whole chunks once the log holds more than it keeps, so that the
// plots always see contiguous arrays.
#pragma once
#include <string>
#include <vector>

#include "logs/logcsv.h"

namespace logs {

class RollingLog {
 public:
  // The channels' names; `keepSeconds` of records are kept (a little more between drops).
  RollingLog(std::vector<std::string> names, double keepSeconds);

  // Appends one record; `values` holds one value per channel (missing ones are gaps).
  // Time never goes back: an earlier time is taken as the last one.
  void Append(double time, const std::vector<float>& values);
  void Clear();
  const Log& Data() const { return log_; }
  double KeepSeconds() const { return keep_; }

 private:
  Log log_;
  double keep_;
};

}  // namespace logs
