#pragma once
// What the chart windows and the plot selection need from the program
// around them.
//
// plots/ sits below the main window: it reaches the main window, the settings
// file and the run's bookkeeping only through this interface, which the shell
// implements (one object serves the live views too, as it extends their
// TLiveViewHost). Every default answers as a program without main window
// would: no parameter file, no run, default settings, windows left where they
// are. Tests implement it with plain fields.
//
// All functions are called on the window thread.

#include "plots/uLiveViewHost.h"

#include <QRect>
#include <QStringList>
#include <QWidget>

namespace Params {
class TParameterFile;
}

namespace Plots {

class TPlotHost : public TLiveViewHost {
public:
  // The program setting "ScalingFactor" (fonts and pens of the charts).
  virtual double ScalingFactor() const { return 0.005; }

  // The parameter file the run uses (RunParameterFile); nullptr when none is
  // open. The chart windows read ScalingCoeff and SimVolume from it.
  virtual const Params::TParameterFile* RunParameterFile() const { return nullptr; }

  // A simulation run has been started since the program started (it may have
  // ended since). Together with the check-point records still being held
  // (Clear releases them) this decides whether a new chart window rebuilds
  // its curves when it is created.
  virtual bool RunStarted() const { return false; }
  // Index of the last check point the run has recorded (CurrentCheckPoint).
  virtual int CurrentCheckPoint() const { return 0; }

  // Boolean values of the program settings file (the plot selection's check
  // marks, the windows' "IsDocked"), written to disk at once.
  virtual bool ReadSettingBool(const QString& section, const QString& key, bool defaultValue) const {
    (void)section;
    (void)key;
    return defaultValue;
  }
  virtual void WriteSettingBool(const QString& section, const QString& key, bool value) {
    (void)section;
    (void)key;
    (void)value;
  }

  // Text values and the key names of a section of the program settings file
  // (the MALDI window's settings, the cation list of its dialog), written to
  // disk at once.
  virtual QString ReadSettingString(const QString& section, const QString& key, const QString& defaultValue) const {
    (void)section;
    (void)key;
    return defaultValue;
  }
  virtual void WriteSettingString(const QString& section, const QString& key, const QString& value) {
    (void)section;
    (void)key;
    (void)value;
  }
  virtual QStringList ReadSettingSection(const QString& section) const {
    (void)section;
    return {};
  }
  // The main window, on which dialogs of docked plot windows are centred
  // (nullptr when there is none).
  virtual QWidget* MainWindow() const { return nullptr; }

  // Puts a plot window into the main window's tabs, filling its page; `tag`
  // is its preferred tab position (slot + 1; the Messages page is 0).
  virtual void DockPlotWindow(QWidget* window, int tag) {
    (void)window;
    (void)tag;
  }
  // Lets a plot window float with the given bounds.
  virtual void FloatPlotWindow(QWidget* window, const QRect& bounds) {
    (void)window;
    (void)bounds;
  }
  // Shows a plot window (and whatever frame the main window put around it).
  virtual void ShowPlotWindow(QWidget* window) {
    if (window)
      window->show();
  }
  // Called just before a plot window is destroyed: the main window drops
  // whatever frame it put around it.
  virtual void ReleasePlotWindow(QWidget* window) { (void)window; }
  // Brings the main window's Messages page to the front.
  virtual void ShowMessagesPage() {}
};

} // namespace Plots
