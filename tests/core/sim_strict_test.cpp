// The simulated firmware is strict about what it is sent: a request whose payload is
// not what its command carries gets no answer, as on the ECU. And the program's own
// requests, recorded by the simulator, are exactly the payloads the commands carry.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ecudata/ecudata.h"
#include "ecudata/image.h"
#include "ecudata/transfer.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/pipeport.h"
#include "scripted_ui.h"
#include "shell/connection.h"
#include "sim/appsim.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

class StrictSimTest : public ::testing::Test {
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
    device.logRequests = true;
  }
  void TearDown() override {
    com::CloseComPort();
    com::SetPortFactory({});
  }
  int32_t Exchange(uint8_t command, const Bytes& request) {
    if (com::TxCommand(command, request.data(), static_cast<uint8_t>(request.size())) != 1) return -2;
    uint8_t buf[255];
    uint8_t n = 0;
    return com::RxResponse(command, buf, 255, &n);
  }
  static Bytes BeginWrite(uint32_t size, uint16_t area) {
    Bytes b(6);
    com::Put32BE(b.data(), size);
    com::Put16BE(b.data() + 4, area);
    return b;
  }
  static Bytes ReadChunk(uint32_t offset, uint16_t area, uint8_t count) {
    Bytes r(7);
    com::Put32BE(r.data(), offset);
    com::Put16BE(r.data() + 4, area);
    r[6] = count;
    return r;
  }

  testing_ui::ScriptedUi ui;
  sim::AppDevice device;
  sim::Engine engine{device};
};

struct MalformedCase {
  const char* name;
  uint8_t command;
  Bytes payload;
};

void PrintTo(const MalformedCase& c, std::ostream* os) {
  *os << c.name;
}

class MalformedRequest : public StrictSimTest, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedRequest, GetsNoAnswer) {
  const MalformedCase& c = GetParam();
  EXPECT_EQ(Exchange(c.command, c.payload), 1);  // nothing on the line: "not yet"
  EXPECT_EQ(device.malformed, 1);
  EXPECT_FALSE(device.upload.active);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, MalformedRequest,
    ::testing::Values(
        MalformedCase{"FirmwareNameWithAPayload", com::GetFirmwareName, {0}},
        MalformedCase{"IdentifyWithoutKeys", com::Identify, {}},
        MalformedCase{"IdentifyWith29Keys", com::Identify, Bytes(29, 0)},
        MalformedCase{"IdentifyWith31Keys", com::Identify, Bytes(31, 0)},
        MalformedCase{"DataNameWithoutSelector", com::GetDataName, {}},
        MalformedCase{"DataNameWithTwoBytes", com::GetDataName, {1, 1}},
        MalformedCase{"DataNameUnknownSelector", com::GetDataName, {3}},
        MalformedCase{"BeginWriteOfFiveBytes", com::BeginWrite, {0, 0, 5, 0x20, 0}},
        MalformedCase{"BeginWriteParameterSizeForMapping", com::BeginWrite, {0, 0, 0x05, 0x20, 0, 2}},
        MalformedCase{"BeginWriteMapSizeForConfiguration", com::BeginWrite, {0, 0, 0x30, 0x5C, 0, 1}},
        MalformedCase{"BeginWriteReadOnlyArea13", com::BeginWrite, {0, 0, 0x30, 0x5C, 0, 13}},
        MalformedCase{"BeginWriteLittleEndianSize", com::BeginWrite, {0x20, 0x05, 0, 0, 0, 1}},
        MalformedCase{"ChunkWithoutBeginWrite", com::WriteChunk, Bytes(10, 1)},
        MalformedCase{"ReadChunkOfSixBytes", com::ReadChunk, {0, 0, 0, 0, 0, 1}},
        MalformedCase{"ReadChunkOfNoBytes", com::ReadChunk, {0, 0, 0, 0, 0, 1, 0}},
        MalformedCase{"ReadChunkUnknownArea", com::ReadChunk, {0, 0, 0, 0, 0, 4, 10}},
        MalformedCase{"ReadChunkAreaLittleEndian", com::ReadChunk, {0, 0, 0, 0, 1, 0, 10}},
        MalformedCase{"ReadChunkPastTheImage", com::ReadChunk, {0, 0, 0x05, 0x14, 0, 1, 13}},
        MalformedCase{"ReadValuesOfThreeBytes", com::ReadValues, {1, 2, 3}},
        MalformedCase{"ReadValuesOfFiveBytes", com::ReadValues, {1, 2, 3, 4, 5}},
        MalformedCase{"WriteValuesOfThreeBytes", com::WriteValues, {1, 2, 3}}),
    test_support::CaseName());

TEST_F(StrictSimTest, ChunksStayWithinTheAnnouncedImage) {
  ASSERT_EQ(Exchange(com::BeginWrite, BeginWrite(1312, 1)), 0);
  EXPECT_EQ(Exchange(com::WriteChunk, {}), 1);  // an empty chunk
  for (int i = 0; i < 5; ++i) ASSERT_EQ(Exchange(com::WriteChunk, Bytes(255, 0)), 0);
  EXPECT_EQ(Exchange(com::WriteChunk, Bytes(38, 0)), 1);  // one byte more than is left
  EXPECT_EQ(device.malformed, 2);
  EXPECT_TRUE(device.upload.active);
  EXPECT_EQ(device.upload.data.size(), 1275u);
}

// Everything the program sends, written out as the commands carry it.
TEST_F(StrictSimTest, TheProgramSendsWhatEachCommandCarries) {
  using Request = sim::AppDevice::Request;
  auto requests = [this] {
    std::vector<std::pair<uint8_t, Bytes>> out;
    for (const Request& r : device.requestLog) out.emplace_back(r.command, r.payload);
    device.requestLog.clear();
    return out;
  };
  using Log = std::vector<std::pair<uint8_t, Bytes>>;

  std::string text;
  ASSERT_EQ(shell::GetFirmwareName(text), 1);
  EXPECT_EQ(requests(), (Log{{2, {}}}));

  for (int i = 0; i < shell::kProtectKeysSize; ++i) shell::aProtectKeys[i] = i % 2 ? 0 : uint8_t(0x80 + i);
  ASSERT_EQ(shell::Ping(), 1);
  const Bytes keys(shell::aProtectKeys, shell::aProtectKeys + shell::kProtectKeysSize);
  EXPECT_EQ(requests(), (Log{{4, keys}}));
  EXPECT_EQ(Bytes(device.lastKeys.begin(), device.lastKeys.end()), keys);
  std::fill(shell::aProtectKeys, shell::aProtectKeys + shell::kProtectKeysSize, 0);

  ASSERT_EQ(shell::GetEcuDataName(text, 8), 1);
  EXPECT_EQ(requests(), (Log{{15, {8}}, {15, {8}}}));

  const uint8_t out[2] = {9, 8};
  ASSERT_EQ(ecu::DoSendValues(0x12, 0x34, 0x56, 0x78, out, 2), 1);
  uint8_t in[2] = {};
  ASSERT_EQ(ecu::DoGetValues(0x12, 0x34, 0x56, 0x78, in, 2), 1);
  EXPECT_EQ(requests(), (Log{{30, {0x12, 0x34, 0x56, 0x78, 9, 8}}, {31, {0x12, 0x34, 0x56, 0x78}}}));

  // Map group 2: area 10, 1384 bytes in five chunks of 255 and one of 109.
  std::vector<uint16_t> group(1384 / 2);
  ASSERT_EQ(ecu::RequestEcuMap(2, group.data()), 1);
  EXPECT_EQ(requests(), (Log{{9, {0, 0, 0x00, 0x00, 0, 10, 255}},
                             {9, {0, 0, 0x00, 0xFF, 0, 10, 255}},
                             {9, {0, 0, 0x01, 0xFE, 0, 10, 255}},
                             {9, {0, 0, 0x02, 0xFD, 0, 10, 255}},
                             {9, {0, 0, 0x03, 0xFC, 0, 10, 255}},
                             {9, {0, 0, 0x04, 0xFB, 0, 10, 109}}}));

  // The configuration up (area 1, 1312 bytes) and down again.
  test_support::FillPattern(ecu::ecuParData, ecu::kParSize, 5);
  ecu::SetBikeWord(1, 0x010A07);
  ecu::SetBikeWord(2, 0x010A07);
  ASSERT_EQ(ecu::SendEcu(1, 0), 1);
  Log sent = requests();
  ASSERT_EQ(sent.size(), 7u);
  EXPECT_EQ(sent[0], (std::pair<uint8_t, Bytes>{5, {0, 0, 0x05, 0x20, 0, 1}}));
  for (size_t i = 1; i < 7; ++i) {
    EXPECT_EQ(sent[i].first, 6);
    EXPECT_EQ(sent[i].second.size(), i < 6 ? 255u : 37u);
  }
  ASSERT_EQ(ecu::RequestEcu(1, 0), 1);
  EXPECT_EQ(requests(), (Log{{9, {0, 0, 0x00, 0x00, 0, 1, 255}},
                             {9, {0, 0, 0x00, 0xFF, 0, 1, 255}},
                             {9, {0, 0, 0x01, 0xFE, 0, 1, 255}},
                             {9, {0, 0, 0x02, 0xFD, 0, 1, 255}},
                             {9, {0, 0, 0x03, 0xFC, 0, 1, 255}},
                             {9, {0, 0, 0x04, 0xFB, 0, 1, 37}}}));
  EXPECT_EQ(device.malformed, 0);
}

}  // namespace
