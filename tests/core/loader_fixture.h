// Shared pieces of the loader tests: firmware files built in a temporary directory,
// and a boot-loader session against the in-process simulator with a test clock.
#pragma once
#include <dirent.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/bytes.h"
#include "link/com.h"
#include "link/frame.h"
#include "link/pipeport.h"
#include "link/utils.h"
#include "loader/file.h"
#include "loader/init.h"
#include "loader/program.h"
#include "loader/view.h"
#include "sim/bootsim.h"
#include "test_support.h"

namespace loader_testing {

using Bytes = std::vector<uint8_t>;

using test_support::FirstGenFile;
using test_support::Pattern;
using test_support::ReadAll;
using test_support::SecondGenFile;
using test_support::TagBytes;

class TempDir {
 public:
  TempDir() {
    std::string tmpl = std::string(::testing::TempDir()) + "/loaderXXXXXX";
    path_ = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
  }
  ~TempDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }
  const std::string& Path() const { return path_; }
  std::string Write(const std::string& name, const Bytes& bytes) const {
    std::string p = path_ + "/" + name;
    FILE* f = std::fopen(p.c_str(), "wb");
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return p;
  }
  // Names of the files in a sub-directory.
  std::vector<std::string> List(const std::string& sub) const {
    std::vector<std::string> names;
    if (DIR* d = ::opendir((path_ + "/" + sub).c_str())) {
      while (dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
      ::closedir(d);
    }
    return names;
  }

 private:
  std::string path_;
};

// One request frame seen on the wire.
struct Frame {
  uint8_t command;
  Bytes payload;
};

inline std::vector<Frame> ParseBootFrames(const Bytes& wire) {
  std::vector<Frame> frames;
  size_t pos = 0;
  while (pos + 4 <= wire.size()) {
    const uint8_t n = wire[pos + 3];
    if (pos + 4 + n > wire.size()) break;
    frames.push_back(Frame{wire[pos + 2], Bytes(wire.begin() + pos + 4, wire.begin() + pos + 4 + n)});
    pos += 4u + n;
  }
  return frames;
}

// A view that also keeps the history of what was shown.
class RecordingView : public loader::HeadlessView {
 public:
  void SetGaugeValue(double kb) override {
    HeadlessView::SetGaugeValue(kb);
    gaugeValues.push_back(kb);
  }
  void SetGaugeLabel(const std::string& l) override {
    HeadlessView::SetGaugeLabel(l);
    gaugeLabels.push_back(l);
  }
  void SetPortColour(uint32_t rgb) override {
    HeadlessView::SetPortColour(rgb);
    colours.push_back(rgb);
  }
  void DimControls(bool d) override {
    HeadlessView::DimControls(d);
    dims.push_back(d);
  }
  std::vector<double> gaugeValues;
  std::vector<std::string> gaugeLabels;
  std::vector<uint32_t> colours;
  std::vector<bool> dims;
};

// A pipe that also logs every request written to it (one entry per write).
class LoggingPipe : public com::PipePort {
 public:
  explicit LoggingPipe(std::vector<Bytes>& log) : log_(log) {}
  int Write(const uint8_t* data, size_t n) override {
    log_.emplace_back(data, data + n);
    return PipePort::Write(data, n);
  }

 private:
  std::vector<Bytes>& log_;
};

// A boot-loader session against the in-process simulator. Reads that find nothing
// advance the test clock by the port time-out, so waits for acknowledgements that
// never come end at once.
class BootSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    com::frameLayout = com::BootFrame;
    com::CloseComPort();
    com::comPort = -1;
    com::InitPortList({}, false);
    com::SetTimerSource([this] { return now; });
    com::SetPortFactory([this](const com::PortItem&, std::string* error) -> std::unique_ptr<com::Port> {
      ++opens;
      if (!present) {
        if (error) *error = "no adapter";
        return nullptr;
      }
      auto p = std::make_unique<LoggingPipe>(requests);
      pipe = p.get();
      sim::AttachToPipe(engine, *p);
      p->SetStarveHook([this](double timeout) { now += timeout; });
      return p;
    });
    loader::ResetSession();
    loader::SetView(&view);
    loader::SetCopyDirectory(dir.Path() + "/copies");
    ASSERT_EQ(::mkdir((dir.Path() + "/copies").c_str(), 0700), 0);
    loader::SetSettingsDirectory(dir.Path());
    loader::cfg = loader::Cfg{};
  }
  void TearDown() override {
    com::CloseComPort();
    com::SetPortFactory({});
    com::SetTimerSource({});
    com::frameLayout = com::ApplicationFrame;
    loader::SetView(nullptr);
    loader::SetCopyDirectory("");
    loader::SetSettingsDirectory("");
    loader::ResetSession();
  }
  // Opens the port and identifies the boot loader as the state machine would.
  void Connect() {
    com::OpenComPort();
    ASSERT_EQ(com::isComOpen, 1);
    bool found = false;
    for (int attempt = 0; attempt < 4 && !found; ++attempt) found = loader::Ping();
    ASSERT_TRUE(found);
    ASSERT_TRUE(loader::CheckBloadInfo());
  }
  std::vector<Frame> Sent() const { return ParseBootFrames(pipe->Written()); }
  size_t CountSent(uint8_t command) const {
    size_t n = 0;
    for (const auto& f : Sent()) n += f.command == command;
    return n;
  }

  TempDir dir;
  sim::BootDevice device;
  sim::Engine engine{device};
  com::PipePort* pipe = nullptr;  // the port of the current connection (dangling once closed)
  std::vector<Bytes> requests;    // every request written, over all connections
  bool present = true;
  int opens = 0;
  double now = 100.0;
  RecordingView view;
};

}  // namespace loader_testing
