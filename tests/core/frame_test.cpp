// Framing of both link protocols against an in-memory pipe.
#include <ostream>
#include <gtest/gtest.h>

#include <vector>

#include "link/com.h"
#include "link/frame.h"
#include "link/pipeport.h"

namespace {

using Bytes = std::vector<uint8_t>;

class FrameTest : public ::testing::Test {
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
  }
  void TearDown() override {
    com::CloseComPort();
    com::SetPortFactory({});
    com::frameLayout = com::ApplicationFrame;
  }
  com::PipePort* pipe = nullptr;
};

TEST_F(FrameTest, ApplicationRequestBytes) {
  ASSERT_EQ(com::TxCommand(2, nullptr, 0), 1);
  EXPECT_EQ(pipe->Written(), (Bytes{0x55, 0x00, 0x02, 0x02}));
  pipe->ClearWritten();
  const uint8_t payload[] = {0x10, 0xF0, 0x01};
  ASSERT_EQ(com::TxCommand(9, payload, 3), 1);
  EXPECT_EQ(pipe->Written(),
            (Bytes{0x55, 3, 9, 0x10, 0xF0, 0x01, static_cast<uint8_t>(3 + 9 + 0x10 + 0xF0 + 1)}));
  EXPECT_EQ(com::TxCommand(9, nullptr, 3), 0);  // length without payload is refused
}

TEST_F(FrameTest, BootRequestBytes) {
  com::frameLayout = com::BootFrame;
  const uint8_t payload[] = {0x00, 0x01};
  ASSERT_EQ(com::TxCommand(1, payload, 2), 1);
  EXPECT_EQ(pipe->Written(), (Bytes{0x6A, 4, 1, 2, 0x00, 0x01}));
}

struct RxCase {
  const char* name;
  com::FrameLayout layout;
  Bytes line;
  uint8_t maxLength;
  int32_t result;
  int count;  // expected *receivedLength, -1 = untouched
};

void PrintTo(const RxCase& c, std::ostream* os) {
  *os << c.name;
}

class RxTest : public FrameTest, public ::testing::WithParamInterface<RxCase> {};

TEST_P(RxTest, Result) {
  const RxCase& c = GetParam();
  com::frameLayout = c.layout;
  pipe->Feed(c.line);
  uint8_t reply[255] = {};
  uint8_t count = 0xEE;
  EXPECT_EQ(com::RxResponse(7, reply, c.maxLength, &count), c.result);
  if (c.count < 0)
    EXPECT_EQ(count, 0xEE);
  else
    EXPECT_EQ(count, c.count);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, RxTest,
    ::testing::Values(
        RxCase{"AppEmptyPayload", com::ApplicationFrame, {0x55, 0, 7, 7}, 0, 0, 0},
        RxCase{"AppPayload", com::ApplicationFrame, {0x55, 2, 7, 1, 2, 12}, 4, 0, 2},
        RxCase{"AppNothing", com::ApplicationFrame, {}, 4, 1, -1},
        RxCase{"AppTwoHeaderBytes", com::ApplicationFrame, {0x55, 2}, 4, -1, -1},
        RxCase{"AppWrongStart", com::ApplicationFrame, {0x56, 0, 7, 7}, 4, -1, -1},
        RxCase{"AppTooLong", com::ApplicationFrame, {0x55, 5, 7, 1, 2, 3, 4, 5, 22}, 4, -1, -1},
        RxCase{"AppWrongCommandAfterLength", com::ApplicationFrame, {0x55, 2, 8, 1, 2, 13}, 4, -1, 2},
        RxCase{"AppBadChecksum", com::ApplicationFrame, {0x55, 2, 7, 1, 2, 13}, 4, -1, 2},
        RxCase{"AppPayloadMissing", com::ApplicationFrame, {0x55, 2, 7}, 4, 1, 2},
        RxCase{"AppPayloadShort", com::ApplicationFrame, {0x55, 2, 7, 1, 2}, 4, -1, 2},
        RxCase{"BootEmpty", com::BootFrame, {0x6A, 7, 7, 0}, 0, 0, 0},
        RxCase{"BootPayload", com::BootFrame, {0x6A, 12, 7, 2, 1, 2}, 4, 0, 2},
        RxCase{"BootNothing", com::BootFrame, {}, 4, 1, -1},
        RxCase{"BootShortHeader", com::BootFrame, {0x6A, 7, 7}, 4, -1, -1},
        RxCase{"BootWrongCommandFirst", com::BootFrame, {0x6A, 7, 8, 9}, 4, -1, -1},
        RxCase{"BootTooLong", com::BootFrame, {0x6A, 7, 7, 9}, 4, -1, -1},
        RxCase{"BootPayloadOneShort", com::BootFrame, {0x6A, 12, 7, 2, 1}, 4, -1, 2},
        RxCase{"BootPayloadMissing", com::BootFrame, {0x6A, 12, 7, 2}, 4, -1, 2},
        RxCase{"BootBadChecksum", com::BootFrame, {0x6A, 13, 7, 2, 1, 2}, 4, -1, 2}),
    [](const ::testing::TestParamInfo<RxCase>& info) { return std::string(info.param.name); });

TEST_F(FrameTest, NullBufferWithRoomIsRefused) {
  pipe->Feed(Bytes{0x55, 0, 7, 7});
  uint8_t count = 0;
  EXPECT_EQ(com::RxResponse(7, nullptr, 4, &count), -1);
  EXPECT_EQ(pipe->Pending(), 4u);  // nothing was read
}

TEST_F(FrameTest, DriverErrorsFailBothDirections) {
  pipe->SetBroken(true);
  EXPECT_EQ(com::TxCommand(2, nullptr, 0), 0);
  uint8_t buf[4], count = 0;
  EXPECT_EQ(com::RxResponse(2, buf, 4, &count), -1);
}

TEST(PortTest, OpenTwiceKeepsComPortAndFailedOpenResets) {
  int opened = 0;
  com::SetPortFactory([&](const com::PortItem& item, std::string*) -> std::unique_ptr<com::Port> {
    ++opened;
    if (item.value < 0) return nullptr;  // adapter missing
    return std::make_unique<com::PipePort>();
  });
  com::InitPortList({"/dev/pts/77"}, false);
  ASSERT_EQ(com::PortItems().size(), 2u);
  EXPECT_EQ(com::PortItems()[0].label, "USB");
  EXPECT_GT(com::PortItems()[1].value, 0);
  EXPECT_EQ(com::PortItems()[1].value, com::StablePortValue("/dev/pts/77"));

  com::PortIndex() = 0;
  com::OpenComPort();
  EXPECT_EQ(com::isComOpen, 0);
  EXPECT_EQ(com::comPort, 0);

  com::PortIndex() = 1;
  com::OpenComPort();
  EXPECT_EQ(com::isComOpen, 1);
  int16_t value = com::comPort;
  com::PortIndex() = 0;
  com::OpenComPort();  // already open: nothing changes
  EXPECT_EQ(com::comPort, value);
  EXPECT_EQ(opened, 2);
  com::CloseComPort();
  EXPECT_EQ(com::isComOpen, 0);
  com::SetPortFactory({});
}

}  // namespace
