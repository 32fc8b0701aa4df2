// Whole-block uploads and downloads, map-group reads and addressed values, against
// the simulated firmware and against a scripted ECU that misbehaves on purpose.
#include <ostream>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ecudata/ecudata.h"
#include "ecudata/image.h"
#include "ecudata/transfer.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/pipeport.h"
#include "link/utils.h"
#include "scripted_ui.h"
#include "test_support.h"
#include "sim/appsim.h"
#include "sim/simcore.h"

namespace {

using testing_ui::ScriptedUi;
using Bytes = std::vector<uint8_t>;

using test_support::FillPattern;

// An ECU whose answers the test scripts: it keeps the uploaded image at its own count,
// may acknowledge another count, and serves downloads from `image`, one chunk of
// which may come back one byte short.
class ScriptedEcu : public sim::Device {
 public:
  com::FrameLayout Layout() const override { return com::ApplicationFrame; }
  Reply Handle(uint8_t command, const uint8_t* p, uint8_t n) override {
    Reply r;
    switch (command) {
      case com::BeginWrite:
        beginPayloads.emplace_back(p, p + n);
        r.send = answerBegin;
        held = 0;
        uploaded.assign(com::Get32BE(p), 0);
        return r;
      case com::WriteChunk: {
        chunkStarts.push_back(held);
        chunkSizes.push_back(n);
        for (uint8_t i = 0; i < n && held + i < uploaded.size(); ++i) uploaded[held + i] = p[i];
        uint32_t count = held + n;
        if (ack) count = ack(static_cast<int>(chunkSizes.size()) - 1, count);
        held = std::min<uint32_t>(count, static_cast<uint32_t>(uploaded.size()));
        r.payload.resize(4);
        com::Put32BE(r.payload.data(), count);
        return r;
      }
      case com::ReadChunk: {
        const uint32_t pos = com::Get32BE(p);
        readAreas.push_back(com::Get16BE(p + 4));
        const uint8_t len = p[6];
        const int index = static_cast<int>(readAreas.size()) - 1;
        if (pos + len > image.size()) {
          r.send = false;
          return r;
        }
        r.payload.assign(image.begin() + pos, image.begin() + pos + len);
        if (index == shortChunk) r.payload.pop_back();
        return r;
      }
      default:
        r.send = false;
        return r;
    }
  }

  bool answerBegin = true;
  std::function<uint32_t(int chunk, uint32_t natural)> ack;
  std::vector<Bytes> beginPayloads;
  std::vector<uint32_t> chunkStarts, chunkSizes;
  Bytes uploaded;
  uint32_t held = 0;

  Bytes image;
  int shortChunk = -1;
  std::vector<uint16_t> readAreas;
};

class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    com::SetPortFactory([this](const com::PortItem&, std::string*) {
      auto p = std::make_unique<com::PipePort>();
      pipe = p.get();
      return p;
    });
    com::CloseComPort();
    com::InitPortList({}, false);
    com::OpenComPort();
    ASSERT_EQ(com::isComOpen, 1);
    FillPattern(ecu::ecuParData, ecu::kParSize, 1);
    FillPattern(ecu::ecuMapData, ecu::kMapSize, 2);
    ecu::SetBikeWord(1, 0x010003);
    ecu::SetBikeWord(2, 0x010003);
    ui.ShowConfigName("ParName", 1);
    ui.ShowConfigName("MapName", 2);
  }
  void TearDown() override {
    com::CloseComPort();
    com::SetPortFactory({});
    com::SetTimerSource({});
  }
  void Attach(sim::Device& device) {
    engine = std::make_unique<sim::Engine>(device);
    sim::AttachToPipe(*engine, *pipe);
  }
  // The image the ECU serves for a block of this type (as BlockToImage makes it).
  static Bytes ImageOf(int type, const uint8_t* block, const std::string& name) {
    Bytes image(ecu::ImageSize(type));
    ecu::BlockToImage(type, block, name, image.data());
    return image;
  }

  ScriptedUi ui;
  com::PipePort* pipe = nullptr;
  std::unique_ptr<sim::Engine> engine;
};

TEST_F(TransferTest, UploadOfConfigurationInSixChunks) {
  ScriptedEcu ecu;
  Attach(ecu);
  ASSERT_EQ(ecu::SendEcu(1, com::kCursorWait), 1);
  ASSERT_EQ(ecu.beginPayloads.size(), 1u);
  EXPECT_EQ(ecu.beginPayloads[0], (Bytes{0x00, 0x00, 0x05, 0x20, 0x00, 0x01}));  // 1312, area 1
  EXPECT_EQ(ecu.chunkSizes, (std::vector<uint32_t>{255, 255, 255, 255, 255, 37}));
  EXPECT_EQ(ecu.chunkStarts, (std::vector<uint32_t>{0, 255, 510, 765, 1020, 1275}));
  EXPECT_EQ(ecu.uploaded, ImageOf(1, ecu::ecuParData, "ParName"));
  const std::vector<std::pair<uint32_t, uint32_t>> progress = {
      {0, 1312}, {255, 1312}, {510, 1312}, {765, 1312}, {1020, 1312}, {1275, 1312}, {1312, 1312}};
  EXPECT_EQ(ui.progress, progress);
  EXPECT_EQ(ui.cursors, (std::vector<int>{com::kCursorWait}));
  EXPECT_TRUE(ui.popups.empty());
}

TEST_F(TransferTest, UploadResumesAtTheEcuCount) {
  ScriptedEcu ecu;
  ecu.ack = [](int chunk, uint32_t natural) { return chunk == 0 ? 200u : natural; };
  Attach(ecu);
  ASSERT_EQ(ecu::SendEcu(1, 0), 1);
  ASSERT_GE(ecu.chunkStarts.size(), 2u);
  EXPECT_EQ(ecu.chunkStarts[1], 200u);
  EXPECT_EQ(ecu.chunkSizes[1], 255u);
  EXPECT_EQ(ecu.uploaded, ImageOf(1, ecu::ecuParData, "ParName"));  // the resumed bytes are the right ones
}

TEST_F(TransferTest, UploadFailsOnAnAcknowledgementBeyondTheChunk) {
  ScriptedEcu ecu;
  ecu.ack = [](int chunk, uint32_t natural) { return chunk == 1 ? natural + 1 : natural; };
  Attach(ecu);
  EXPECT_EQ(ecu::SendEcu(2, 0), 0);
  EXPECT_EQ(ecu.chunkSizes.size(), 2u);  // nothing sent after the bad count
  EXPECT_EQ(com::Get16BE(ecu.beginPayloads[0].data() + 4), 2);
  EXPECT_EQ(com::Get32BE(ecu.beginPayloads[0].data()), 12380u);
}

TEST_F(TransferTest, UploadGivesUpOnAnEcuThatNeverGetsFurther) {
  // Acknowledging nothing at all: eight stalls. Swinging back to the start after every
  // second chunk: each swing is a stall and the chunk after it only regains lost
  // ground, so the eighth swing ends it. Swinging back from 20 chunks every time it
  // gets there: a deep rewind may catch up, but not for ever.
  struct Case {
    const char* what;
    std::function<uint32_t(int, uint32_t)> ack;
    size_t chunksSent;
  };
  const Case cases[] = {
      {"nothing acknowledged", [](int, uint32_t) { return 0u; }, 8},
      {"back to 0 every second chunk", [](int chunk, uint32_t natural) { return chunk % 2 ? 0u : natural; },
       16},
      {"back to 0 from chunk 20 every time",
       [](int, uint32_t natural) { return natural > 20 * 255 ? 0u : natural; }, 20 + 1 + 7 * 21},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedEcu ecu;
    ecu.ack = c.ack;
    Attach(ecu);
    EXPECT_EQ(ecu::SendEcu(3, 0), 0);
    EXPECT_EQ(ecu.chunkSizes.size(), c.chunksSent);
  }
}

TEST_F(TransferTest, UploadCompletesAfterADeepRewind) {
  // The ECU falls back to 0 once, after 10 or after 40 chunks of the 49-chunk map image,
  // or to the middle of the image twice; the upload still ends with every byte in place.
  struct Case {
    const char* what;
    std::vector<int> rewindAfter;  // chunk indices whose acknowledgement rewinds
    uint32_t to;
  };
  const Case cases[] = {
      {"to 0 after 10 chunks", {9}, 0},
      {"to 0 after 40 chunks", {39}, 0},
      {"to 0 after the last chunk", {48}, 0},
      {"to 2550 twice", {30, 45}, 2550},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedEcu ecu;
    ecu.ack = [&c](int chunk, uint32_t natural) {
      for (int at : c.rewindAfter) {
        if (chunk == at) return c.to;
      }
      return natural;
    };
    Attach(ecu);
    ASSERT_EQ(ecu::SendEcu(2, 0), 1);
    EXPECT_EQ(ecu.uploaded, ImageOf(2, ecu::ecuMapData, "MapName"));
    EXPECT_EQ(ecu.held, 12380u);
  }
}

TEST_F(TransferTest, UploadFailsWhenBeginWriteIsNotAnsweredWithinTenSeconds) {
  double now = 100.0;
  com::SetTimerSource([&now] { return now += 0.25; });
  ScriptedEcu ecu;
  ecu.answerBegin = false;
  Attach(ecu);
  EXPECT_EQ(ecu::SendEcu(1, 0), 0);
  EXPECT_TRUE(ecu.chunkSizes.empty());
  EXPECT_GT(now, 110.0);
  EXPECT_LT(now, 111.0);
}

TEST_F(TransferTest, UploadAsksToAlignTheBikeAndCarriesOn) {
  ecu::SetBikeWord(2, 0x060407);
  ui.buttons.push_back(1);  // mapping sent, the configuration's bike chosen
  ScriptedEcu ecu;
  Attach(ecu);
  ASSERT_EQ(ecu::SendEcu(2, 7), 1);
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].title, "Align type bike");
  EXPECT_EQ(ecu::GetBikeWord(2), 0x010003u);
  Bytes image = ecu.uploaded;
  Bytes block(ecu::kMapSize);
  ASSERT_TRUE(ecu::ImageToBlock(2, image.data(), block.data(), nullptr));
  EXPECT_EQ(com::Get32LE(block.data() + ecu::kMapBikeOffset), 0x010003u);  // the aligned word went out
  EXPECT_EQ(ui.cursors, (std::vector<int>{7}));
}

TEST_F(TransferTest, RoundTripWithTheSimulatedFirmware) {
  sim::AppDevice device;
  Attach(device);
  // The image carries the marker in place of whatever the working block holds there.
  com::Put16LE(ecu::ecuParData + ecu::kParMarkerOffset, 0x1111);
  ASSERT_EQ(ecu::SendEcu(1, 0), 1);
  ASSERT_EQ(ecu::SendEcu(3, 0), 1);
  EXPECT_EQ(device.uploadsAccepted, 2);
  com::Put16LE(ecu::ecuParData + ecu::kParMarkerOffset, ecu::imageMarker);
  com::Put16LE(ecu::ecuMapData + ecu::kMapMarkerOffset, ecu::imageMarker);
  EXPECT_EQ(device.parBlock, Bytes(ecu::ecuParData, ecu::ecuParData + ecu::kParSize));
  EXPECT_EQ(device.parName, "ParName");
  EXPECT_EQ(device.mapName[1], "MapName");

  const Bytes sentMap(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  FillPattern(ecu::ecuMapData, ecu::kMapSize, 99);
  ui.progress.clear();
  ASSERT_EQ(ecu::RequestEcu(3, 5), 1);
  EXPECT_EQ(Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize), sentMap);
  EXPECT_EQ(ui.GetConfigName(2), "MapName");
  EXPECT_EQ(ui.progress.size(), 49u + 1u);  // 48 chunks of 255 and one of 140, then complete
  EXPECT_EQ(ui.progress.back(), (std::pair<uint32_t, uint32_t>{12380, 12380}));
  EXPECT_EQ(ui.cursors.back(), 5);

  ASSERT_EQ(ecu::RequestEcu(2, 0), 1);
  EXPECT_EQ(ui.GetConfigName(2), device.mapName[0]);
  EXPECT_EQ(Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize), device.mapping[0]);
  ASSERT_EQ(ecu::RequestEcu(13, 0), 1);
  ASSERT_EQ(ecu::RequestEcu(1, 0), 1);
  EXPECT_EQ(ui.GetConfigName(1), "ParName");
  EXPECT_EQ(ecu::RequestEcu(4, 0), 0);
  EXPECT_EQ(ecu::SendEcu(13, 0), 0);
}

struct DownloadFault {
  const char* name;
  int type;
  int shortChunk;          // -1 none
  uint32_t corruptOffset;  // image offset to damage, 0 none
};

void PrintTo(const DownloadFault& c, std::ostream* os) {
  *os << c.name;
}

class DownloadFaultTest : public TransferTest, public ::testing::WithParamInterface<DownloadFault> {};

TEST_P(DownloadFaultTest, FailsAndLeavesBlockAndName) {
  const DownloadFault& c = GetParam();
  ScriptedEcu ecu;
  const int block = c.type == 1 ? 1 : 2;  // types 2, 3 and 13 all move the map block
  std::vector<uint8_t> other(ecu::BlockSize(block));
  FillPattern(other.data(), static_cast<uint32_t>(other.size()), 50);
  ecu.image = ImageOf(block, other.data(), "FromEcu");
  if (c.corruptOffset) ecu.image[c.corruptOffset] ^= 0x01;
  ecu.shortChunk = c.shortChunk;
  Attach(ecu);
  const Bytes parBefore(ecu::ecuParData, ecu::ecuParData + ecu::kParSize);
  const Bytes mapBefore(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  EXPECT_EQ(ecu::RequestEcu(c.type, 0), 0);
  EXPECT_EQ(Bytes(ecu::ecuParData, ecu::ecuParData + ecu::kParSize), parBefore);
  EXPECT_EQ(Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize), mapBefore);
  EXPECT_EQ(ui.GetConfigName(1), "ParName");
  EXPECT_EQ(ui.GetConfigName(2), "MapName");
  if (c.shortChunk >= 0) {
    EXPECT_EQ(ecu.readAreas.size(), static_cast<size_t>(c.shortChunk + 1));
  }
  EXPECT_TRUE(ui.popups.empty());
}

INSTANTIATE_TEST_SUITE_P(Downloads, DownloadFaultTest,
                         ::testing::Values(DownloadFault{"ParFirstChunkShort", 1, 0, 0},
                                           DownloadFault{"ParLastChunkShort", 1, 5, 0},
                                           DownloadFault{"MapMiddleChunkShort", 2, 20, 0},
                                           DownloadFault{"MapLastChunkShort", 3, 48, 0},
                                           DownloadFault{"ParChecksumWrong", 1, -1, 2},
                                           DownloadFault{"ParMarkerWrong", 1, -1, 36 + 1272},
                                           DownloadFault{"MapLengthWrong", 13, -1, 1},
                                           DownloadFault{"MapDataBitFlipped", 2, -1, 36 + 4000}),
                         [](const ::testing::TestParamInfo<DownloadFault>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(TransferTest, DownloadAreasAndBikeWarning) {
  ScriptedEcu ecu;
  std::vector<uint8_t> other(ecu::kParSize);
  FillPattern(other.data(), ecu::kParSize, 60);
  com::Put32LE(other.data() + ecu::kParBikeOffset, 0x060407);
  ecu.image = ImageOf(1, other.data(), "FromEcu");
  Attach(ecu);
  ASSERT_EQ(ecu::RequestEcu(1, 3), 1);
  EXPECT_EQ(ecu.readAreas, std::vector<uint16_t>(6, 1));
  EXPECT_EQ(ui.GetConfigName(1), "FromEcu");
  com::Put16LE(other.data() + ecu::kParMarkerOffset, ecu::imageMarker);
  EXPECT_EQ(Bytes(ecu::ecuParData, ecu::ecuParData + ecu::kParSize), other);
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].title, "Check type bike");
  EXPECT_EQ(ui.popups[0].text,
            "Warning:\nbike select in configuration: Superbike 1098 (2007)\nbike select in mapping: Monster "
            "400 (2003)");
}

TEST_F(TransferTest, MapGroupsAreReadAndConvertedToPcOrder) {
  // Areas 9 and 10 serve map set 1, areas 11 and 12 the set the engine runs on: set 2
  // here, whose groups all differ from set 1's, so a wrong area code reads wrong bytes.
  sim::AppDevice device;
  device.activeMapping = 2;
  for (uint32_t i = 464; i < 3128 + 1384; i += 2)
    com::Put16LE(device.mapping[1].data() + i, uint16_t(i * 3 + 1));
  device.logRequests = true;
  Attach(device);
  struct Case {
    int id;
    uint16_t area;
    uint32_t offset, bytes;
    int set;
  } cases[] = {{1, 9, 464, 2664, 0}, {2, 10, 3128, 1384, 0}, {6, 11, 464, 2664, 1}, {7, 12, 3128, 1384, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const Bytes group(device.mapping[c.set].begin() + c.offset,
                      device.mapping[c.set].begin() + c.offset + c.bytes);
    const Bytes otherSet(device.mapping[1 - c.set].begin() + c.offset,
                         device.mapping[1 - c.set].begin() + c.offset + c.bytes);
    ASSERT_NE(group, otherSet);
    device.requestLog.clear();
    std::vector<uint16_t> buffer(c.bytes / 2 + 1, 0xEEEE);
    ASSERT_EQ(ecu::RequestEcuMap(c.id, buffer.data()), 1);
    for (uint32_t i = 0; i < c.bytes / 2; ++i) ASSERT_EQ(buffer[i], com::Get16LE(group.data() + 2 * i)) << i;
    EXPECT_EQ(buffer.back(), 0xEEEE);  // nothing written past the group
    ASSERT_EQ(device.requestLog.size(), (c.bytes + 254) / 255);
    for (const auto& request : device.requestLog) {
      EXPECT_EQ(request.command, com::ReadChunk);
      ASSERT_EQ(request.payload.size(), 7u);
      EXPECT_EQ(com::Get16BE(request.payload.data() + 4), c.area);
    }
  }
  EXPECT_EQ(device.malformed, 0);
  pipe->ClearWritten();
  uint16_t buffer[4] = {1, 2, 3, 4};
  for (int id : {0, 3, 4, 5, 8, -1}) EXPECT_EQ(ecu::RequestEcuMap(id, buffer), 0) << id;
  EXPECT_TRUE(pipe->Written().empty());
}

TEST_F(TransferTest, MapGroupReadFailureLeavesTheBuffer) {
  ScriptedEcu ecu;
  ecu.image.assign(2664, 0x11);
  ecu.shortChunk = 3;
  Attach(ecu);
  std::vector<uint16_t> buffer(1332, 0x4242);
  EXPECT_EQ(ecu::RequestEcuMap(1, buffer.data()), 0);
  EXPECT_EQ(buffer, std::vector<uint16_t>(1332, 0x4242));
  EXPECT_EQ(ecu.readAreas, std::vector<uint16_t>(4, 9));
}

TEST_F(TransferTest, AddressedValues) {
  sim::AppDevice device;
  Attach(device);
  const uint8_t out[3] = {7, 8, 9};
  ASSERT_EQ(ecu::DoSendValues(0x12, 0x34, 0x56, 0x78, out, 3), 1);
  uint8_t in[3] = {};
  ASSERT_EQ(ecu::DoGetValues(0x12, 0x34, 0x56, 0x78, in, 3), 1);
  EXPECT_EQ(Bytes(in, in + 3), Bytes(out, out + 3));
  // A reply of another length than asked fails and copies nothing.
  uint8_t four[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(ecu::DoGetValues(0x12, 0x34, 0x56, 0x78, four, 4), 0);
  EXPECT_EQ(Bytes(four, four + 4), Bytes(4, 0xAA));

  static uint8_t big[255];
  ASSERT_EQ(ecu::DoSendValues(0, 0, 0, 1, big, 251), 1);  // 251 + 4 = 255 fits
  pipe->ClearWritten();
  EXPECT_EQ(ecu::DoGetValues(0, 0, 0, 1, big, 252), 0);
  EXPECT_EQ(ecu::DoSendValues(0, 0, 0, 1, big, 252), 0);
  EXPECT_TRUE(pipe->Written().empty());

  com::CloseComPort();
  EXPECT_EQ(ecu::DoGetValues(0, 0, 0, 1, big, 1), 0);
  EXPECT_EQ(ecu::DoSendValues(0, 0, 0, 1, big, 1), 0);
}

// Replies that do not echo the address fail.
class EchoEcu : public sim::Device {
 public:
  com::FrameLayout Layout() const override { return com::ApplicationFrame; }
  Reply Handle(uint8_t, const uint8_t* p, uint8_t n) override {
    Reply r;
    r.payload.assign(p, p + n);
    r.payload[0] ^= 1;  // wrong first address byte
    if (n == 4) r.payload.resize(6, 0);
    return r;
  }
};

TEST_F(TransferTest, AddressedValuesNeedTheEcho) {
  EchoEcu ecu;
  Attach(ecu);
  uint8_t data[2] = {1, 2};
  EXPECT_EQ(ecu::DoGetValues(1, 2, 3, 4, data, 2), 0);
  EXPECT_EQ(data[0], 1);
  EXPECT_EQ(ecu::DoSendValues(1, 2, 3, 4, data, 0), 0);
}

}  // namespace
