// The link opened onto a simulated ECU in the same process: every port the link layer
// opens is an in-memory pipe attached to the device's frame engine. Tests hold one for
// as long as they talk to the device; it closes the link and restores the real ports
// when it goes.
#pragma once
#include <memory>
#include <string>

#include "link/com.h"
#include "link/pipeport.h"
#include "sim/simcore.h"

namespace test_support {

class SimLink {
 public:
  // Routes the link to `device` (an open port is closed) and fills the port list.
  explicit SimLink(sim::Device& device, sim::Faults faults = {})
      : engine_(std::make_unique<sim::Engine>(device, faults)) {
    com::SetPortFactory([this](const com::PortItem&, std::string*) -> std::unique_ptr<com::Port> {
      auto pipe = std::make_unique<com::PipePort>();
      sim::AttachToPipe(*engine_, *pipe);
      return pipe;
    });
    com::CloseComPort();
    com::InitPortList({}, false);
  }
  ~SimLink() {
    com::CloseComPort();
    com::SetPortFactory(nullptr);
  }
  SimLink(const SimLink&) = delete;
  SimLink& operator=(const SimLink&) = delete;

  // Opens the link; true when it is open.
  bool Open() {
    com::OpenComPort();
    return com::isComOpen != 0;
  }
  sim::Engine& Engine() { return *engine_; }

 private:
  std::unique_ptr<sim::Engine> engine_;
};

}  // namespace test_support
