// What only Kalvex shows: the window title, the status line, the port selector's
// colour and dimming, the installed-application text, the kilobyte gauge and the
// beep. The model talks to this interface (pop-ups, the file dialog, the cursor and
// the event pump go through com::Ui()); the window implements it with Qt, the
// command-line tool and the tests without a screen.
#pragma once
#include <cstdint>
#include <string>

#include "loader/eta.h"

namespace loader {

class LoaderView {
 public:
  virtual ~LoaderView() = default;
  virtual void SetTitle(const std::string& title) = 0;
  // TMmain, the status line.
  virtual void SetStatusText(const std::string& text) = 0;
  // Background of RINGport as 0xRRGGBB.
  virtual void SetPortColour(uint32_t rgb) = 0;
  // Selects an item of RINGport (used to undo a port change during a run).
  virtual void SelectPort(int index) = 0;
  // TBOXufwVersion, the installed application.
  virtual void SetApplicationText(const std::string& text) = 0;
  // NUMfwKbyte: kilobytes programmed, its maximum and its label (the activity character).
  virtual void SetGaugeMaximum(double kbytes) = 0;
  virtual void SetGaugeValue(double kbytes) = 0;
  virtual void SetGaugeLabel(const std::string& label) = 0;
  // Beside the gauge: the percentage and time left while programming, the time the
  // run took once it is done (RunTimeText words it).
  virtual void SetRunTime(const RunTime& time) { (void)time; }
  // Dims (true) or restores RINGport, CBsend and CBexit.
  virtual void DimControls(bool dimmed) = 0;
  virtual void Beep() = 0;
  // Ends the user-interface loop.
  virtual void Quit() = 0;
};

// A view without a screen: it keeps what would be shown.
class HeadlessView : public LoaderView {
 public:
  void SetTitle(const std::string& t) override { title = t; }
  void SetStatusText(const std::string& t) override { status = t; }
  void SetPortColour(uint32_t rgb) override { portColour = rgb; }
  void SelectPort(int index) override { selectedPort = index; }
  void SetApplicationText(const std::string& t) override { appText = t; }
  void SetGaugeMaximum(double kb) override { gaugeMaximum = kb; }
  void SetGaugeValue(double kb) override { gaugeValue = kb; }
  void SetGaugeLabel(const std::string& l) override { gaugeLabel = l; }
  void SetRunTime(const RunTime& t) override { runTime = t; }
  void DimControls(bool d) override { dimmed = d; }
  void Beep() override { ++beeps; }
  void Quit() override { quit = true; }

  std::string title, status, appText, gaugeLabel;
  uint32_t portColour = 0;
  int selectedPort = -1;
  double gaugeMaximum = 0.0, gaugeValue = 0.0;
  RunTime runTime;
  bool dimmed = false, quit = false;
  int beeps = 0;
};

// The program's view; a HeadlessView until the program installs its own.
LoaderView& View();
void SetView(LoaderView* view);  // null restores the headless one

}  // namespace loader
