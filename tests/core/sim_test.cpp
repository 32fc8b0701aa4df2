// The simulated application firmware, exchanged with through the real framing over
// an in-memory pipe: what the transfer, connection and live-data code rely on.
#include <ostream>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ecudata/image.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/pipeport.h"
#include "sim/appsim.h"
#include "sim/pty.h"

namespace {

using Bytes = std::vector<uint8_t>;

class AppSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    com::SetPortFactory([this](const com::PortItem&, std::string*) {
      auto p = std::make_unique<com::PipePort>();
      sim::AttachToPipe(engine, *p);
      return p;
    });
    com::CloseComPort();
    com::InitPortList({}, false);
    com::OpenComPort();
    ASSERT_EQ(com::isComOpen, 1);
  }
  void TearDown() override {
    com::CloseComPort();
    com::SetPortFactory({});
  }

  // One request and one single read; returns RxResponse's result.
  int32_t Exchange(uint8_t command, const Bytes& request, Bytes* reply) {
    if (com::TxCommand(command, request.data(), static_cast<uint8_t>(request.size())) != 1) return -2;
    uint8_t buf[255];
    uint8_t n = 0;
    int32_t rc = com::RxResponse(command, buf, 255, &n);
    if (reply) reply->assign(buf, buf + (rc == 0 ? n : 0));
    return rc;
  }

  static Bytes ReadChunkRequest(uint32_t offset, uint16_t area, uint8_t count) {
    Bytes r(7);
    com::Put32BE(r.data(), offset);
    com::Put16BE(r.data() + 4, area);
    r[6] = count;
    return r;
  }

  // Reads a whole area in chunks of at most 255 bytes; empty on any failure.
  Bytes ReadArea(uint16_t area, uint32_t size) {
    Bytes all;
    while (all.size() < size) {
      uint8_t n = static_cast<uint8_t>(std::min<size_t>(255, size - all.size()));
      Bytes chunk;
      if (Exchange(com::ReadChunk, ReadChunkRequest(static_cast<uint32_t>(all.size()), area, n), &chunk) !=
              0 ||
          chunk.size() != n)
        return {};
      all.insert(all.end(), chunk.begin(), chunk.end());
    }
    return all;
  }

  // Uploads an image; returns the last acknowledged count (or -1 on a failed exchange).
  long Upload(uint16_t area, const Bytes& image) {
    Bytes begin(6);
    com::Put32BE(begin.data(), static_cast<uint32_t>(image.size()));
    com::Put16BE(begin.data() + 4, area);
    if (Exchange(com::BeginWrite, begin, nullptr) != 0) return -1;
    long held = 0;
    for (size_t pos = 0; pos < image.size();) {
      size_t n = std::min<size_t>(255, image.size() - pos);
      Bytes ack;
      if (Exchange(com::WriteChunk, Bytes(image.begin() + pos, image.begin() + pos + n), &ack) != 0 ||
          ack.size() != 4)
        return -1;
      held = com::Get32BE(ack.data());
      pos = static_cast<size_t>(held);
    }
    return held;
  }

  sim::AppDevice device;
  sim::Engine engine{device};
};

struct IdentityCase {
  const char* name;
  bool isProtected, flag6, flag5;
  std::array<uint8_t, 4> hardware;
  uint16_t release;
  uint8_t flags;
};

void PrintTo(const IdentityCase& c, std::ostream* os) {
  *os << c.name;
}

class IdentityTest : public AppSimTest, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(IdentityTest, RecordLayout) {
  const IdentityCase& c = GetParam();
  device.identity.isProtected = c.isProtected;
  device.identity.flag6 = c.flag6;
  device.identity.flag5 = c.flag5;
  device.identity.hardware = c.hardware;
  device.identity.release = c.release;
  Bytes rec;
  ASSERT_EQ(Exchange(com::Identify, Bytes(30, 0), &rec), 0);
  ASSERT_EQ(rec.size(), 16u);
  EXPECT_EQ(rec[0], c.flags);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec.data() + 1)), "Q740");  // NUL-terminated
  EXPECT_EQ(rec[5], 0);
  EXPECT_EQ(com::Get16BE(rec.data() + 6), c.release);
  EXPECT_EQ(Bytes(rec.begin() + 8, rec.begin() + 12), Bytes(c.hardware.begin(), c.hardware.end()));
  EXPECT_EQ(Bytes(rec.begin() + 12, rec.end()), Bytes(4, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Sim, IdentityTest,
    ::testing::Values(IdentityCase{"Plain", false, false, false, {2, 0, 0, 0}, 0x0103, 0x00},
                      IdentityCase{"Protected", true, false, false, {1, 0, 0, 1}, 0x0103, 0x80},
                      IdentityCase{"TuneBits", false, true, true, {0, 1, 0, 0}, 0x0103, 0x60},
                      IdentityCase{"AllFlagsOtherRelease", true, true, true, {9, 8, 7, 6}, 0x0104, 0xE0}),
    [](const ::testing::TestParamInfo<IdentityCase>& info) { return std::string(info.param.name); });

TEST_F(AppSimTest, TextsAndUnknownCommands) {
  device.firmwareText = "Q740 FW 1.3";
  Bytes text;
  ASSERT_EQ(Exchange(com::GetFirmwareName, {}, &text), 0);
  EXPECT_EQ(std::string(text.begin(), text.end()), "Q740 FW 1.3");

  // Selector 0 names the configuration, 1 and 2 the mappings, 8 the active mapping.
  device.parName = "Road";
  device.mapName[1] = "Track";
  const std::pair<uint8_t, std::string> names[] = {
      {0, "Road"}, {1, "SimMapping1"}, {2, "Track"}, {8, "SimMapping1"}};
  for (const auto& [selector, name] : names) {
    ASSERT_EQ(Exchange(com::GetDataName, {selector}, &text), 0) << int(selector);
    EXPECT_EQ(std::string(text.begin(), text.end()), name);
  }
  // Unknown selectors and unknown commands get no reply at all.
  EXPECT_EQ(Exchange(com::GetDataName, {3}, nullptr), 1);
  EXPECT_EQ(Exchange(0x63, {}, nullptr), 1);
  EXPECT_EQ(device.received[com::GetDataName], 5);
  // A handler answers a command of its own.
  device.handlers[0x63] = [](const uint8_t* payload, uint8_t n) {
    sim::Device::Reply r;
    r.payload.assign(payload, payload + n);
    r.payload.push_back(0xAA);
    return r;
  };
  ASSERT_EQ(Exchange(0x63, {7}, &text), 0);
  EXPECT_EQ(text, (Bytes{7, 0xAA}));
  EXPECT_EQ(device.received[0x63], 2);
}

TEST_F(AppSimTest, DefaultBlocksArePlausible) {
  const std::pair<const Bytes*, int> blocks[] = {{&device.parBlock, ecu::kParType},
                                                 {&device.mapping[0], ecu::kMapType},
                                                 {&device.mapping[1], ecu::kMapType}};
  for (const auto& [block, type] : blocks) {
    ASSERT_EQ(block->size(), ecu::BlockSize(type));
    EXPECT_STREQ(reinterpret_cast<const char*>(block->data()), "Kestra v1.3");
    EXPECT_STREQ(reinterpret_cast<const char*>(block->data() + 32),
                 type == ecu::kParType ? "Q740_PAR_DATA_v1.00" : "Q740_MAP_DATA_v1.00");
    EXPECT_EQ(com::Get32LE(block->data() + ecu::BikeOffset(type)), 0x010A07u);
    EXPECT_EQ(com::Get16LE(block->data() + ecu::MarkerOffset(type)), ecu::imageMarker);
  }
  EXPECT_EQ(device.parBlock[1180], 2);  // two cylinders
  // The injection maps hold values, and the two map sets differ.
  EXPECT_GT(com::Get16LE(device.mapping[0].data() + 464), 0);
  EXPECT_NE(device.mapping[0], device.mapping[1]);
}

struct AreaCase {
  uint16_t area;
  int type;
  const char* name;
};

TEST_F(AppSimTest, AreaReadsGiveValidImages) {
  device.activeMapping = 2;
  const AreaCase cases[] = {{1, ecu::kParType, "SimConfig"},
                            {2, ecu::kMapType, "SimMapping1"},
                            {3, ecu::kMapType, "SimMapping2"},
                            {13, ecu::kMapType, "SimMapping2"}};
  for (const AreaCase& c : cases) {
    SCOPED_TRACE(c.area);
    Bytes image = ReadArea(c.area, ecu::ImageSize(c.type));
    ASSERT_EQ(image.size(), ecu::ImageSize(c.type));
    Bytes block(ecu::BlockSize(c.type));
    std::string name;
    ASSERT_TRUE(ecu::ImageToBlock(c.type, image.data(), block.data(), &name));
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(block, *device.BlockForArea(c.area));
  }
}

TEST_F(AppSimTest, MapGroupsAreBigEndianSlices) {
  device.activeMapping = 2;
  const struct {
    uint16_t area;
    uint32_t offset, size;
    int set;
  } groups[] = {{9, 464, 2664, 0}, {10, 3128, 1384, 0}, {11, 464, 2664, 1}, {12, 3128, 1384, 1}};
  for (const auto& g : groups) {
    SCOPED_TRACE(g.area);
    Bytes bytes = ReadArea(g.area, g.size);
    ASSERT_EQ(bytes.size(), g.size);
    for (uint32_t i = 0; i < g.size; i += 2)
      ASSERT_EQ(com::Get16BE(bytes.data() + i), com::Get16LE(device.mapping[g.set].data() + g.offset + i))
          << i;
    // A read past the end of the group gets no reply.
    EXPECT_EQ(Exchange(com::ReadChunk, ReadChunkRequest(g.size - 10, g.area, 11), nullptr), 1);
  }
  EXPECT_EQ(Exchange(com::ReadChunk, ReadChunkRequest(0, 4, 10), nullptr), 1);  // unknown area
}

TEST_F(AppSimTest, UploadStoresGoodImageAndRefusesBadOne) {
  Bytes block = sim::DefaultMapBlock(1);
  com::Put16LE(block.data() + 464, 4321);
  Bytes image(ecu::zzzDimMapBuf);
  ecu::BlockToImage(ecu::kMapType, block.data(), "Uploaded", image.data());

  // A bad checksum: acknowledged to the end, then refused; the block stays.
  Bytes bad = image;
  bad[4000] ^= 0x01;
  const Bytes before = device.mapping[1];
  EXPECT_EQ(Upload(3, bad), static_cast<long>(image.size()));
  EXPECT_EQ(device.uploadsRefused, 1);
  EXPECT_EQ(device.mapping[1], before);

  EXPECT_EQ(Upload(3, image), static_cast<long>(image.size()));
  EXPECT_EQ(device.uploadsAccepted, 1);
  EXPECT_EQ(device.mapping[1], block);
  EXPECT_EQ(device.mapName[1], "Uploaded");
  EXPECT_NE(device.mapping[0], block);  // the other map set is untouched

  // The parameter image goes in six chunks.
  Bytes par = sim::DefaultParBlock();
  par[1180] = 1;
  Bytes parImage(ecu::zzzDimParBuf);
  ecu::BlockToImage(ecu::kParType, par.data(), "Cfg", parImage.data());
  const int chunksBefore = device.received[com::WriteChunk];
  EXPECT_EQ(Upload(1, parImage), 1312);
  EXPECT_EQ(device.received[com::WriteChunk] - chunksBefore, 6);
  EXPECT_EQ(device.parBlock, par);
}

TEST_F(AppSimTest, BeginWriteNeedsAWritableAreaOfTheRightSize) {
  auto begin = [](uint32_t size, uint16_t area) {
    Bytes b(6);
    com::Put32BE(b.data(), size);
    com::Put16BE(b.data() + 4, area);
    return b;
  };
  EXPECT_EQ(Exchange(com::BeginWrite, begin(1312, 2), nullptr), 1);    // map area, parameter size
  EXPECT_EQ(Exchange(com::BeginWrite, begin(12380, 13), nullptr), 1);  // read-only area
  EXPECT_EQ(Exchange(com::WriteChunk, Bytes(10, 1), nullptr), 1);      // nothing announced
  EXPECT_EQ(Exchange(com::BeginWrite, begin(1312, 1), nullptr), 0);
  Bytes ack;
  ASSERT_EQ(Exchange(com::WriteChunk, Bytes(200, 1), &ack), 0);
  EXPECT_EQ(ack, (Bytes{0, 0, 0, 200}));
}

TEST_F(AppSimTest, AddressedValuesEcho) {
  const Bytes address{0x12, 0x34, 0x56, 0x78};
  Bytes write = address;
  write.insert(write.end(), {1, 2, 3, 4, 5});
  Bytes reply;
  ASSERT_EQ(Exchange(com::WriteValues, write, &reply), 0);
  EXPECT_EQ(reply, address);
  EXPECT_EQ(device.values[0x12345678], (Bytes{1, 2, 3, 4, 5}));
  ASSERT_EQ(Exchange(com::ReadValues, address, &reply), 0);
  EXPECT_EQ(reply, write);
  // An address holding nothing answers its echo alone.
  ASSERT_EQ(Exchange(com::ReadValues, {0, 0, 0, 1}, &reply), 0);
  EXPECT_EQ(reply, (Bytes{0, 0, 0, 1}));
}

// The fault options, request by request: a dropped link answers nothing ("not yet"),
// a corrupt checksum and a reply one byte short give a framing error, and only the
// request named is affected.
TEST_F(AppSimTest, FaultOptionsHitTheRequestsNamed) {
  struct Case {
    const char* what;
    sim::Faults faults;
    int32_t results[4];
  } const cases[] = {
      {"none", {}, {0, 0, 0, 0}},
      {"drop after 2", {2, -1, -1, 0.0}, {0, 0, 1, 1}},
      {"drop after 0", {0, -1, -1, 0.0}, {1, 1, 1, 1}},
      {"corrupt checksum of 2", {-1, 2, -1, 0.0}, {0, -1, 0, 0}},
      {"short reply to 3", {-1, -1, 3, 0.0}, {0, 0, -1, 0}},
  };
  for (const Case& c : cases) {
    sim::AppDevice fresh;
    sim::Engine faulty(fresh, c.faults);
    com::SetPortFactory([&faulty](const com::PortItem&, std::string*) {
      auto p = std::make_unique<com::PipePort>();
      sim::AttachToPipe(faulty, *p);
      return p;
    });
    com::CloseComPort();
    com::OpenComPort();
    ASSERT_EQ(com::isComOpen, 1) << c.what;
    for (int i = 0; i < 4; ++i) {
      // Alternating commands: a reply of 24 text bytes and the 16-byte identity record.
      const uint8_t command = i % 2 == 0 ? com::GetFirmwareName : com::Identify;
      const Bytes request = command == com::Identify ? Bytes(30, 0) : Bytes{};
      Bytes reply;
      EXPECT_EQ(Exchange(command, request, &reply), c.results[i]) << c.what << ", request " << i + 1;
      if (c.results[i] == 0) {
        EXPECT_EQ(reply, command == com::Identify
                             ? fresh.IdentityRecord()
                             : Bytes(fresh.firmwareText.begin(), fresh.firmwareText.end()))
            << c.what;
      }
    }
    com::CloseComPort();
  }
}

TEST(AppSimFiles, LoadChecksTheSize) {
  sim::AppDevice device;
  const std::string path = ::testing::TempDir() + "/sim_test_block.bin";
  const Bytes before = device.parBlock;
  std::string error;
  EXPECT_FALSE(device.LoadConfigFile(path + ".missing", &error));
  EXPECT_FALSE(error.empty());
  { std::ofstream(path, std::ios::binary).write("short", 5); }
  EXPECT_FALSE(device.LoadConfigFile(path, &error));
  EXPECT_EQ(device.parBlock, before);
  EXPECT_FALSE(device.LoadMappingFile(path, 1, &error));

  Bytes block(ecu::kMapSize, 0x5A);
  { std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(block.data()), block.size()); }
  EXPECT_FALSE(device.LoadMappingFile(path, 3, &error));
  EXPECT_TRUE(device.LoadMappingFile(path, 2, &error));
  EXPECT_EQ(device.mapping[1], block);
  std::remove(path.c_str());
}

// The line model: a reply is delivered when its last byte would have arrived on an
// 8N2 line, after the request's own wire time, and replies queue behind each other.
TEST(LineModelTest, RepliesKeepTheWireTime) {
  sim::AppDevice device;
  sim::Engine engine(device);
  sim::LineModel line(312500);
  const double bt = 11.0 / 312500;
  std::deque<sim::ScheduledReply> out;
  uint8_t frame[8];
  size_t len = com::EncodeFrame(com::ApplicationFrame, com::GetFirmwareName, nullptr, 0, frame);
  sim::FeedLine(engine, line, 1.0, frame, len, out);
  ASSERT_EQ(out.size(), 1u);
  const double replyLen = static_cast<double>(out[0].bytes.size());
  EXPECT_NEAR(out[0].at, 1.0 + (4 + replyLen) * bt, 1e-9);

  // Two requests written together: the second reply follows the first on the line.
  out.clear();
  uint8_t two[16];
  len = com::EncodeFrame(com::ApplicationFrame, com::GetFirmwareName, nullptr, 0, two);
  len += com::EncodeFrame(com::ApplicationFrame, com::GetFirmwareName, nullptr, 0, two + len);
  sim::FeedLine(engine, line, 2.0, two, len, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_NEAR(out[0].at, 2.0 + (4 + replyLen) * bt, 1e-9);
  EXPECT_NEAR(out[1].at, out[0].at + replyLen * bt, 1e-9);

  // Without a rate, replies are due at once (plus the reply delay).
  sim::LineModel free;
  engine.MutableFaults().replyDelay = 0.25;
  out.clear();
  sim::FeedLine(engine, free, 3.0, frame, 4, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_DOUBLE_EQ(out[0].at, 3.25);
}

}  // namespace

// The frame-gap rule on its own clock: a pause of more than 0.1 s inside a request
// abandons the partial frame, a shorter one does not.
TEST(FrameGapTest, APauseInsideAFrameAbandonsIt) {
  sim::AppDevice device;
  sim::Engine engine(device);
  sim::LineModel line;  // no pacing
  double now = 50.0;
  sim::FrameGapRule rule([&now] { return now; });
  std::deque<sim::ScheduledReply> out;
  auto arrive = [&](const Bytes& bytes) {
    const double at = rule.OnArrival(engine);
    EXPECT_EQ(at, now);
    sim::FeedLine(engine, line, at, bytes.data(), bytes.size(), out);
  };
  uint8_t frame[8];
  const size_t len = com::EncodeFrame(com::ApplicationFrame, com::GetFirmwareName, nullptr, 0, frame);
  const Bytes request(frame, frame + len);
  const Bytes partial{0x55, 0x40, 0x02, 0x01};  // announces 64 payload bytes, then the sender goes away
  const Bytes text(device.firmwareText.begin(), device.firmwareText.end());
  auto replyText = [&] { return Bytes(out.front().bytes.begin() + 3, out.front().bytes.end() - 1); };

  // A request split by a pause a little shorter than the gap is still one request.
  arrive(Bytes(request.begin(), request.begin() + 2));
  now += 0.099;
  arrive(Bytes(request.begin() + 2, request.end()));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(replyText(), text);

  // A partial frame followed, after a short pause, by a request: the request is taken
  // as the rest of the partial frame and not answered.
  out.clear();
  now += 1.0;
  arrive(partial);
  now += 0.099;
  arrive(request);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(engine.Receiving());

  // After a pause longer than the gap the partial frame is forgotten and the next
  // request answered.
  now += 0.101;
  arrive(request);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(replyText(), text);
  EXPECT_FALSE(engine.Receiving());

  // A long pause between whole requests changes nothing.
  out.clear();
  now += 30.0;
  arrive(request);
  EXPECT_EQ(out.size(), 1u);
}
