// The pages of the main window and the scatter/gather protocol.
//
// Every editor panel is a Page: Init loads its form and writes its defaults into the
// working blocks, Scatter copies the blocks into its controls, Gather reads the
// controls back, Timer is its duty on the main timer while it is in front. The
// registry holds the pages that exist, shows one of them at a time and runs
// ScatterAllPanels / GatherAllPanels in their fixed orders over them.
//
// Adding a page: derive from Page, and add one line to RegisterAllPages
// (pagelist.cpp). Its main-panel button lights up by itself.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QStackedWidget;
class QWidget;

namespace shell {

enum class PageId {
  None,
  Main,       // the main panel alone ("Info")
  MapEditor,  // map editor
  MapTuning,  // map tuning
  Injection,  // injection correction editor
  Advance,    // advance correction editor
  Param1,     // parameter pages 1, 2, 3
  Param2,
  Param3,
  Lineariz,     // linearisations
  CanAcq,       // CAN acquisition
  Config,       // bike configuration
  Diagnostics,  // diagnostics
  Live,         // live data
  Logs,         // datalogs: plots, map view, proposal
};

class Page {
 public:
  virtual ~Page() = default;
  virtual PageId Id() const = 0;
  virtual QWidget* Widget() = 0;
  // Loads the form and writes the page's defaults into the working blocks; 0 ends the program.
  virtual uint8_t Init() { return 1; }
  // Blocks -> controls; 1 on success.
  virtual uint8_t Scatter() { return 1; }
  // Controls -> blocks; 0 when a control cannot be read.
  virtual uint8_t Gather() { return 1; }
  // Duty on each main-timer tick while the page is in front; 1 on success.
  virtual uint8_t Timer();
  // Called when the page leaves the front (the map editor hides its graphs).
  virtual void Leave() {}
  // A command replaced a working block (type 1 configuration, 2 mapping) by a loaded,
  // imported or received one, before the scatter (the map editor drops its edit history).
  virtual void BlocksReplaced(int type) { (void)type; }
  // Interval of the main timer while the page is in front, ms; -1 keeps the shell's.
  virtual int TimerInterval() const { return -1; }
};

// What the shell asks of parts that are not pages themselves. Each later part
// replaces its entry in RegisterAllPages; the defaults answer as if the part is absent.
struct PageHooks {
  // CAN acquisition: 1 when the user accepts leaving/sending with the CAN warning.
  std::function<uint8_t()> ignoreCaqWarning = [] { return uint8_t{1}; };
  // Access protection: the DTC page (parameter page 3) is enabled.
  std::function<uint8_t()> enableDtcPage = [] { return uint8_t{0}; };
  // Map tuning: switch automatic / manual tuning on or off.
  std::function<void(bool automatic, bool manual)> setTuningModes = [](bool, bool) {};
  // Map tuning: 1 while automatic tuning is marked on.
  std::function<uint8_t()> isAutoTuning = [] { return uint8_t{0}; };
  // Map tuning: 1 while manual tuning is marked on.
  std::function<uint8_t()> isManualTuning = [] { return uint8_t{0}; };
  // Brings a page to the front as its main-panel button does (the window sets it).
  std::function<void(PageId)> showPage = [](PageId) {};
};

class PageRegistry {
 public:
  explicit PageRegistry(QStackedWidget* stack);
  ~PageRegistry();

  // Runs the page's Init and puts its widget into the stack; 0 when Init failed.
  uint8_t Add(std::unique_ptr<Page> page);
  Page* Find(PageId id) const;
  bool Has(PageId id) const { return Find(id) != nullptr; }

  // The page in front (hCurPanel) and bringing another one to the front.
  PageId Current() const { return current_; }
  void Show(PageId id);

  // Scatters configuration, CAN acquisition, linearisations, map editor, map tuning,
  // injection, advance, parameter pages 1-3; all run, 1 only if all succeeded.
  uint8_t ScatterAllPanels();
  // Gathers configuration, map editor (not while map tuning is in front), injection,
  // advance, CAN acquisition, linearisations, parameter pages 1-3; stops at the
  // first failure with 0.
  uint8_t GatherAllPanels();

  // Tells every page that a working block was replaced (Load, Import, Receive).
  void BlocksReplaced(int type);

  static const std::vector<PageId>& ScatterOrder();
  static const std::vector<PageId>& GatherOrder();

  PageHooks hooks;

 private:
  QStackedWidget* stack_;
  std::vector<std::unique_ptr<Page>> pages_;
  PageId current_ = PageId::Main;
};

// Creates every page in the order of start-up (map editor, map tuning, injection,
// advance, parameter pages 1-3, linearisations, CAN acquisition, configuration,
// diagnostics, live data) and fills the hooks; 0 when one fails to load.
uint8_t RegisterAllPages(PageRegistry& registry, QWidget* parent);

}  // namespace shell
