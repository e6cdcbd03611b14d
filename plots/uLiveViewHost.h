#pragma once
// What the two painted live views need from the program around them.
//
// The views live in plots/, below the main window; they reach the main
// window, the settings file and the simulation thread only through this
// interface, which the shell implements. Every default does nothing, so a
// view without a host (tests, a view created before the main window is
// complete) still paints, copies and prints.
//
// All functions are called on the window thread.

#include <QDockWidget>
#include <QString>
#include <QWidget>

namespace Plots {

class TLiveViewHost {
public:
  virtual ~TLiveViewHost() = default;

  // Full path of the current parameter file, empty when none is open.
  virtual QString ParameterFileName() const { return {}; }

  // `ExpectedChainsN` of section `General` of the current parameter file
  // (the given default when no file is open or the key is missing).
  virtual int ExpectedChainsN(int defaultValue) const { return defaultValue; }

  // Integer values of the program settings file (written to disk at once).
  virtual int ReadSettingInteger(const QString& section, const QString& key, int defaultValue) const {
    (void)section;
    (void)key;
    return defaultValue;
  }
  virtual void WriteSettingInteger(const QString& section, const QString& key, int value) {
    (void)section;
    (void)key;
    (void)value;
  }

  // Saves a window's placement under `section` (docked or floating, and
  // the bounds of a floating window).
  virtual void SaveFormPlacement(QWidget* form, const QString& section) {
    (void)form;
    (void)section;
  }

  // Whether a view floats as a window of its own (rather than docked into
  // the main window's tabs). The default answers for a view that is itself
  // the window or sits in a QDockWidget; a host that puts views into other
  // frames answers for them.
  virtual bool IsFloating(const QWidget* form) const;

  // A simulation run exists (from Perform until its end-of-run handling).
  virtual bool SimulationRunning() const { return false; }
  // The run stands still at its pause gate: the chain store may be read.
  virtual bool SimulationPaused() const { return false; }
  // Stops the running simulation between two events / lets it go on.
  virtual void PauseSimulation() {}
  virtual void ResumeSimulation() {}

  // The main window's Enlarge/Restore Microstructure actions.
  virtual void ShowMagGlass(bool visible) { (void)visible; }
  // Whether the microstructure view is the main window's active tab.
  virtual bool MicrostructureTabActive() const { return false; }
};

inline bool TLiveViewHost::IsFloating(const QWidget* form) const {
  // A view inside a dock frame floats with its frame.
  if (const auto* dock = qobject_cast<const QDockWidget*>(form->parentWidget())) return dock->isFloating();
  return form->isWindow();
}

} // namespace Plots
