// The simulated boot loader on its own: forms of the presence check, erase codes,
// block numbering and its command-line options.
#include <gtest/gtest.h>
#include <unistd.h>

#include "link/commands.h"
#include "loader_fixture.h"
#include "sim/bootsim.h"

namespace {

using loader_testing::Bytes;

sim::Device::Reply Send(sim::BootDevice& d, uint8_t command, const Bytes& payload) {
  return d.Handle(command, payload.data(), static_cast<uint8_t>(payload.size()));
}

Bytes Block(uint16_t number, size_t n) {
  Bytes b{static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number)};
  b.resize(2 + n, 0xA5);
  return b;
}

TEST(BootSim, AnswersOneHelloForm) {
  sim::BootDevice extended;
  EXPECT_FALSE(Send(extended, com::BootHello, {}).send);
  EXPECT_TRUE(Send(extended, com::BootHello, {0x00, 0x01}).send);
  EXPECT_FALSE(Send(extended, com::BootHello, {0x01, 0x00}).send);
  sim::BootOptions o;
  o.hello = sim::BootOptions::Hello::Plain;
  sim::BootDevice plain(o);
  EXPECT_TRUE(Send(plain, com::BootHello, {}).send);
  EXPECT_FALSE(Send(plain, com::BootHello, {0x00, 0x01}).send);
}

TEST(BootSim, BlocksRunFromZeroWithoutGaps) {
  sim::BootDevice d;
  EXPECT_FALSE(Send(d, com::BootWriteBlock, Block(0, 10)).send) << "no data before an erase";
  EXPECT_TRUE(d.SequenceError());
  EXPECT_TRUE(Send(d, com::BootErase, {1}).send);
  EXPECT_FALSE(d.SequenceError()) << "an erase starts a new run";
  EXPECT_TRUE(Send(d, com::BootWriteBlock, Block(0, 253)).send);
  EXPECT_TRUE(Send(d, com::BootWriteBlock, Block(1, 3)).send);
  EXPECT_FALSE(Send(d, com::BootWriteBlock, Block(3, 3)).send) << "gap";
  EXPECT_TRUE(d.SequenceError());
  EXPECT_FALSE(Send(d, com::BootWriteBlock, Block(2, 0)).send) << "end frame after a gap";
  EXPECT_FALSE(d.EndFrameSeen());

  EXPECT_TRUE(Send(d, com::BootErase, {2}).send);
  EXPECT_TRUE(Send(d, com::BootWriteBlock, Block(0, 5)).send);
  EXPECT_FALSE(Send(d, com::BootWriteBlock, Block(2, 0)).send) << "end frame with a wrong count";
  EXPECT_TRUE(Send(d, com::BootErase, {3}).send);
  EXPECT_TRUE(Send(d, com::BootWriteBlock, Block(0, 5)).send);
  EXPECT_TRUE(Send(d, com::BootWriteBlock, Block(1, 0)).send);
  EXPECT_TRUE(d.EndFrameSeen());
  EXPECT_EQ(d.Stream(), Bytes(5, 0xA5));
  EXPECT_FALSE(Send(d, com::BootWriteBlock, Block(1, 5)).send) << "nothing after the end frame";
}

TEST(BootSim, EraseCodesBySystem) {
  for (uint16_t sys : {uint16_t{0x5600}, uint16_t{0x5534}}) {
    sim::BootOptions o;
    o.sysType = sys;
    sim::BootDevice d(o);
    for (int code = 0; code < 20; ++code) {
      const bool ok = sys == 0x5600 ? code <= 7 : (code >= 2 && code <= 12) || code == 14 || code == 15;
      EXPECT_EQ(Send(d, com::BootErase, {static_cast<uint8_t>(code)}).send, ok)
          << std::hex << sys << " " << code;
    }
  }
}

TEST(BootSim, Options) {
  sim::BootOptions o;
  std::string error;
  EXPECT_TRUE(sim::ParseBootOption("boot-hello", "plain", o, &error));
  EXPECT_EQ(o.hello, sim::BootOptions::Hello::Plain);
  EXPECT_TRUE(sim::ParseBootOption("sys-type", "0x5534", o, &error));
  EXPECT_EQ(o.sysType, 0x5534);
  EXPECT_TRUE(sim::ParseBootOption("no-app", "", o, &error));
  EXPECT_FALSE(o.hasApplication);
  EXPECT_TRUE(sim::ParseBootOption("no-ack-block", "7", o, &error));
  EXPECT_EQ(o.noAckForBlock, 7);
  EXPECT_TRUE(sim::ParseBootOption("erase-delay", "0.25", o, &error));
  EXPECT_DOUBLE_EQ(o.eraseDelay, 0.25);
  EXPECT_TRUE(sim::ParseBootOption("boot-version", "3.12", o, &error));
  EXPECT_EQ(o.versionMinor, 12);
  EXPECT_TRUE(error.empty());
  for (auto [name, value] : {std::pair{"boot-hello", "odd"},
                             {"sys-type", "x"},
                             {"no-ack-block", "-1"},
                             {"erase-delay", "soon"},
                             {"stream-out", ""},
                             {"boot-version", "3"}}) {
    error.clear();
    EXPECT_TRUE(sim::ParseBootOption(name, value, o, &error)) << name;
    EXPECT_FALSE(error.empty()) << name;
  }
  EXPECT_FALSE(sim::ParseBootOption("baud", "9600", o, &error));
  EXPECT_TRUE(sim::BootOptionTakesValue("stream-out"));
  EXPECT_FALSE(sim::BootOptionTakesValue("no-app"));
}

}  // namespace
