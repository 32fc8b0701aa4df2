// Firmware files of any bytes and any length, programmed against the in-process boot
// loader: no crash, nothing erased or written for a refused file, and an accepted file
// arrives exactly as its transmission copy says.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/com.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/pipeport.h"
#include "link/utils.h"
#include "loader/file.h"
#include "loader/program.h"
#include "sim/bootsim.h"

namespace {

std::string WorkDirectory() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/firmware_fuzzXXXXXX";
    const char* d = ::mkdtemp(tmpl);
    if (!d) std::abort();
    return std::string(d);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string dir = WorkDirectory();
  const std::string path = dir + "/fw.mlf";
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }

  // The boot loader's generation and system type vary with the input's length.
  sim::BootOptions options;
  options.hello = size % 2 ? sim::BootOptions::Hello::Plain : sim::BootOptions::Hello::Extended;
  options.sysType = (size / 2) % 2 ? 0x5534 : 0x5600;
  sim::BootDevice device(options);
  sim::Engine engine(device);
  double now = 0.0;
  size_t destructive = 0;  // erase and write requests seen on the wire
  com::frameLayout = com::BootFrame;
  com::SetTimerSource([&now] { return now; });
  com::SetPortFactory([&](const com::PortItem&, std::string*) -> std::unique_ptr<com::Port> {
    auto p = std::make_unique<com::PipePort>();
    sim::AttachToPipe(engine, *p);
    p->SetStarveHook([&now](double t) { now += t; });
    com::PipePort* raw = p.get();
    p->SetPeer([&engine, raw, &destructive](const uint8_t* bytes, size_t n) {
      if (n >= 3 && (bytes[2] == com::BootErase || bytes[2] == com::BootWriteBlock)) ++destructive;
      raw->Feed(engine.OnBytes(bytes, n));
    });
    return p;
  });
  com::InitPortList({}, false);
  com::OpenComPort();
  loader::ResetSession();
  loader::SetCopyDirectory(dir);
  for (int i = 0; i < 4 && !loader::Ping(); ++i) {
  }

  const int result = loader::SendFirmware(path);
  if (result != loader::kResultDone && destructive != 0) std::abort();  // a refused file touched the ECU
  if (result == loader::kResultDone) {
    // Expected stream: the whole first-generation file, or tag + image of the second.
    std::vector<uint8_t> expected;
    const loader::FirmwareKind kind =
        size >= 8 ? loader::ClassifyFirmwareTag(data) : loader::FirmwareKind::CheckFailed;
    if (loader::IsFirstGeneration(kind)) {
      expected.assign(data, data + size);
    } else if (loader::IsSecondGeneration(kind) && size >= loader::kPreambleSize) {
      const char* tag = !loader::fOldBload ? nullptr : options.sysType == 0x5600 ? "TrvcoBsz" : "TrvBsz55";
      expected.assign(tag ? reinterpret_cast<const uint8_t*>(tag) : data,
                      tag ? reinterpret_cast<const uint8_t*>(tag) + 8 : data + 8);
      expected.insert(expected.end(), data + loader::kPreambleSize, data + size);
    } else {
      std::abort();  // accepted a file that should have been refused
    }
    if (device.Stream() != expected || !device.EndFrameSeen()) std::abort();
  }
  // No transmission copy may be left behind.
  std::remove(path.c_str());
  if (::rmdir(dir.c_str()) != 0) std::abort();
  ::mkdir(dir.c_str(), 0700);

  com::CloseComPort();
  com::SetPortFactory({});
  com::SetTimerSource({});
  return 0;
}
