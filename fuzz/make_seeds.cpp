// Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/) from the real
// encoders: good frames of both layouts, valid data files of both kinds, a settings
// record, correct transfer images, firmware files of both generations, and data files
// of the older families. The
// fuzzers then start from the paths that accept their input.
//
// Usage: make_seeds DIRECTORY   (CI regenerates into a scratch directory and compares
// with the committed corpora, so they never go stale.)
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ecudata/image.h"
#include "ecudata/init.h"
#include "link/commands.h"
#include "link/frame.h"
#include "old_data.h"
#include "sim/appsim.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool ok = true;

void Write(const std::string& dir, const std::string& name, const Bytes& bytes) {
  const std::string path = dir + "/" + name;
  if (!test_support::WriteAll(path, bytes)) {
    std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
    ok = false;
  }
}

std::string Directory(const std::string& root, const char* target) {
  const std::string dir = root + "/" + target;
  ::mkdir(root.c_str(), 0755);
  ::mkdir(dir.c_str(), 0755);
  return dir;
}

// rx_fuzz input: flags (bit 0 boot layout, bit 2 polled read, bit 3 frame built by the
// target), command, maxLength, then the bytes on the line.
Bytes RxInput(uint8_t flags, uint8_t command, uint8_t maxLength, const Bytes& line) {
  Bytes input{flags, command, maxLength};
  input.insert(input.end(), line.begin(), line.end());
  return input;
}

Bytes Frame(com::FrameLayout layout, uint8_t command, const Bytes& payload) {
  uint8_t frame[com::kFrameBufferSize];
  const size_t n =
      com::EncodeFrame(layout, command, payload.data(), static_cast<uint8_t>(payload.size()), frame);
  return Bytes(frame, frame + n);
}

Bytes WithMode(uint8_t mode, const Bytes& rest) {
  Bytes input{mode};
  input.insert(input.end(), rest.begin(), rest.end());
  return input;
}

Bytes Image(int type, const Bytes& block, const std::string& name) {
  Bytes image(ecu::ImageSize(type));
  ecu::BlockToImage(type, block.data(), name, image.data());
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIRECTORY\n");
    return 2;
  }
  const std::string root = argv[1];
  const sim::AppDevice ecu;

  // Replies of both layouts, single and polled reads.
  const std::string rx = Directory(root, "rx_fuzz");
  const Bytes text(ecu.firmwareText.begin(), ecu.firmwareText.end());
  Write(rx, "app-firmware-name",
        RxInput(0, com::GetFirmwareName, 255, Frame(com::ApplicationFrame, 2, text)));
  Write(rx, "app-identity",
        RxInput(0, com::Identify, 16, Frame(com::ApplicationFrame, 4, ecu.IdentityRecord())));
  Write(rx, "app-chunk-ack-polled",
        RxInput(4, com::WriteChunk, 4, Frame(com::ApplicationFrame, 6, {0, 0, 5, 0x20})));
  Write(rx, "app-empty-reply", RxInput(0, com::BeginWrite, 255, Frame(com::ApplicationFrame, 5, {})));
  Write(rx, "app-two-replies", [&] {
    Bytes line = Frame(com::ApplicationFrame, 31, {1, 2, 3, 4, 9});
    const Bytes second = Frame(com::ApplicationFrame, 31, {1, 2, 3, 4, 8});
    line.insert(line.end(), second.begin(), second.end());
    return RxInput(0, com::ReadValues, 255, line);
  }());
  Write(rx, "boot-system-type", RxInput(1, com::BootInfo, 2, Frame(com::BootFrame, 2, {0x56, 0x00})));
  Write(rx, "boot-ack-polled", RxInput(5, com::BootWriteBlock, 0, Frame(com::BootFrame, 6, {})));
  Write(rx, "built-frame-app", RxInput(8, 7, 255, test_support::Pattern(40)));
  Write(rx, "built-frame-boot", RxInput(9, 3, 255, text));

  // Data files, the settings record and transfer images (mode byte, then the data).
  const std::string files = Directory(root, "files_fuzz");
  const Bytes par = sim::DefaultParBlock(), map = sim::DefaultMapBlock(1);
  Write(files, "configuration-file", WithMode(0, par));
  Write(files, "mapping-file", WithMode(1, map));
  Write(files, "mapping-file-set2", WithMode(1, sim::DefaultMapBlock(2)));
  ecu::cfg = ecu::Config{};
  ecu::cfg.parFilePath = "/home/user/kestra/road.ecd";
  ecu::cfg.mapFilePath = "/home/user/kestra/road.emd";
  ecu::cfg.tuneFilePath = "/home/user/kestra/road.mtp";
  Bytes record(ecu::kCfgSize);
  ecu::EncodeConfig(record.data());
  Write(files, "settings-record", WithMode(2, record));
  Write(files, "parameter-image", WithMode(3, Image(ecu::kParType, par, "SimConfig")));
  Write(files, "map-image", WithMode(3 | 4, Image(ecu::kMapType, map, "SimMapping1")));
  Write(files, "parameter-image-built", WithMode(3 | 8, par));

  // Firmware files: each generation on the boot loader that accepts it (the target
  // picks the boot loader from the file's length: odd = plain greeting, and
  // (length / 2) odd = system 0x5534).
  const std::string firmware = Directory(root, "firmware_fuzz");
  Write(firmware, "first-gen-5600", test_support::FirstGenFile("TrvcoBsz", test_support::Pattern(761)));
  Write(firmware, "first-gen-5534", test_support::FirstGenFile("TrvBsz55", test_support::Pattern(763)));
  Write(firmware, "second-gen-5600", test_support::SecondGenFile("TrvcoCrv", test_support::Pattern(508)));
  Write(firmware, "second-gen-5534", test_support::SecondGenFile("TrvCrv55", test_support::Pattern(506)));

  // Older data files of both families (mode byte: bit 0 mapping, bit 1 Talaris, bit 2
  // through the file's size check).
  const std::string import = Directory(root, "import_fuzz");
  Write(import, "v12-configuration", WithMode(0, old_data::V12Configuration(4)));
  Write(import, "v12-mapping", WithMode(1, old_data::V12Mapping(2)));
  Write(import, "talaris-configuration", WithMode(2, old_data::TalarisConfiguration()));
  Write(import, "talaris-mapping", WithMode(3, old_data::TalarisMapping()));
  Write(import, "v12-mapping-file", WithMode(1 | 4, old_data::V12Mapping(11)));
  Write(import, "talaris-configuration-file", WithMode(2 | 4, old_data::TalarisConfiguration(0, 940)));
  return ok ? 0 : 1;
}
