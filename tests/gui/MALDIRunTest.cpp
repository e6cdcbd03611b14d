// MALDI spectra of whole simulation runs through the real libMaldi.so: a
// free-radical styrene-MMA copolymerization and an ATRP of MMA, each label
// checked against the monoisotopic mass of its molecule computed here.
//
// With PROPAGON_SCREENSHOT_DIR set, pictures of the window (whole spectrum,
// and zoomed on a few labelled peaks) are written there to be looked at.

#include "MALDITestSupport.h"

#include "charts/uChart.h"
#include "maldiview/uMALDIForm.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>

namespace {

using namespace MALDITest;
using Charts::TAxisId;
using MaldiView::TMALDIForm;

// Monoisotopic masses (NIST): 12C, 1H, 14N, 16O, 79Br, 23Na.
double Monoisotopic(const std::map<char, int>& atoms) {
  const std::map<char, double> mass{{'C', 12.0},          {'H', 1.00782503207}, {'N', 14.0030740048},
                                    {'O', 15.99491461956}, {'B', 78.9183371},   {'a', 22.9897692809}};
  double sum = 0.0;
  for (const auto& [element, count] : atoms)
    sum += mass.at(element) * count;
  return sum;
}

struct TEnds {
  const char* Title;
  std::map<char, int> Atoms; // 'B' stands for Br, 'a' for Na
};

void SaveScreenshot(TMALDIForm& form, const QString& name) {
  const char* folder = std::getenv("PROPAGON_SCREENSHOT_DIR");
  if (!folder)
    return;
  QDir().mkpath(QString::fromLocal8Bit(folder));
  QCoreApplication::processEvents();
  form.AChart->Refresh();
  EXPECT_TRUE(form.grab().save(QString::fromLocal8Bit(folder) + "/" + name));
}

// Runs a hand-written file, calculates its spectrum in the window and checks
// every label against cation + ends + i A + j B. Returns the window.
std::unique_ptr<TMALDIForm> Spectrum(TMaldiHost& host, const char* input, const QTemporaryDir& dir,
                                     const Shell::TMaldiBinding& binding, const QString& upper, const QString& level,
                                     const std::map<char, int>& unitA, const std::map<char, int>& unitB,
                                     const std::vector<TEnds>& ends) {
  host.UseParameterFile(RunHandWritten(std::string(PROPAGON_TEST_DATA) + "/" + input, dir, binding, 7));
  auto form = std::make_unique<TMALDIForm>(&host);
  form->Spectrum().TempDir = dir.path().toStdString() + "/";
  form->resize(960, 560);
  form->show();
  form->LabelLevelEdit->setText(level);
  form->SetSettingsDialogRunner([upper](TMALDIForm& f) {
    f.SetUpperLimit(upper);
    f.SetCation(QStringLiteral("Na+"));
    return int(QDialog::Accepted);
  });
  EXPECT_TRUE(form->aRecalcMALDIExecute());
  const MaldiView::TMALDISpectrum& spectrum = form->Spectrum();
  std::size_t labels = 0;
  for (const TEnds& end : ends) {
    int curve = -1;
    for (int c = 0; c < MaldiView::CurveCount; ++c)
      if (MaldiView::CurveDesigns[static_cast<std::size_t>(c)].Title == std::string(end.Title))
        curve = c;
    const MaldiView::TCurveData& data = spectrum.Curves[static_cast<std::size_t>(curve)];
    EXPECT_TRUE(data.Active) << end.Title;
    for (const auto& [k, label] : data.Labels) {
      const int i = std::stoi(label.substr(0, label.find('+')));
      const int j = std::stoi(label.substr(label.find('+') + 1));
      std::map<char, int> atoms = end.Atoms;
      atoms['a'] += 1;
      for (const auto& [e, n] : unitA)
        atoms[e] += i * n;
      for (const auto& [e, n] : unitB)
        atoms[e] += j * n;
      const double mono = Monoisotopic(atoms);
      // The most abundant peak: the monoisotopic one or up to 4 u above it
      // (13C for large molecules, 81Br); the axis point is within 0.05.
      const double x = spectrum.Axis[static_cast<std::size_t>(k)];
      EXPECT_GE(x, mono - 0.06) << end.Title << " " << label;
      EXPECT_LE(x, mono + 4.06) << end.Title << " " << label;
      ++labels;
    }
  }
  EXPECT_GT(labels, 5u);
  return form;
}

// Zooms on `halfWidth` m/z either side of the highest labelled peak of
// `curve`, high enough for that peak; at least two labelled peaks are in view.
void ZoomOnPeaks(TMALDIForm& form, int curve, double halfWidth) {
  const MaldiView::TCurveData& data = form.Spectrum().Curves[static_cast<std::size_t>(curve)];
  std::int32_t best = -1;
  for (const auto& [k, label] : data.Labels)
    if (best < 0 || data.Intensities[static_cast<std::size_t>(k)] > data.Intensities[static_cast<std::size_t>(best)])
      best = k;
  ASSERT_GE(best, 0);
  const std::vector<double>& axis = form.Spectrum().Axis;
  const double x = axis[static_cast<std::size_t>(best)];
  int inView = 0;
  for (int c = 0; c < MaldiView::CurveCount; ++c)
    for (const auto& [k, label] : form.Spectrum().Curves[static_cast<std::size_t>(c)].Labels)
      if (form.Spectrum().Curves[static_cast<std::size_t>(c)].Active && std::fabs(axis[static_cast<std::size_t>(k)] - x) < halfWidth)
        ++inView;
  EXPECT_GE(inView, 2);
  form.AChart->ZoomTo(x - halfWidth, x + halfWidth, 0.0, 1.3 * data.Intensities[static_cast<std::size_t>(best)]);
  EXPECT_DOUBLE_EQ(form.AChart->AxisMinimum(TAxisId::Bottom), x - halfWidth);
}

class MALDIRun : public TMaldiLibraryTest {};

TEST_F(MALDIRun, FreeRadicalStyreneMMA) {
  // Styrene C8H8 (A), MMA C5H8O2 (B), AIBN fragments C4H6N: a recombined
  // chain carries two of them, C8H12N2 (AIBN itself, C8H12N4, lost N2).
  auto form = Spectrum(Host, "prepare-freeradical-handwritten.kpx", Dir, Binding, QStringLiteral("3000"),
                       QStringLiteral("3"), {{'C', 8}, {'H', 8}}, {{'C', 5}, {'H', 8}, {'O', 2}},
                       {{"I~~I", {{'C', 8}, {'H', 12}, {'N', 2}}},
                        {"I~H", {{'C', 4}, {'H', 7}, {'N', 1}}},
                        {"I~=", {{'C', 4}, {'H', 5}, {'N', 1}}}});
  SaveScreenshot(*form, "maldi-freeradical.png");
  ZoomOnPeaks(*form, 1, 30.0);
  SaveScreenshot(*form, "maldi-freeradical-zoom.png");
}

TEST_F(MALDIRun, AtrpOfMMA) {
  // MMA C5H8O2 (both units), ethyl 2-bromoisobutyrate C6H11BrO2, its radical C6H11O2.
  auto form = Spectrum(Host, "prepare-atrp-handwritten.kpx", Dir, Binding, QStringLiteral("2500"),
                       QStringLiteral("20"), {{'C', 5}, {'H', 8}, {'O', 2}}, {{'C', 5}, {'H', 8}, {'O', 2}},
                       {{"I~~I", {{'C', 12}, {'H', 22}, {'O', 4}}},
                        {"I~H", {{'C', 6}, {'H', 12}, {'O', 2}}},
                        {"I~=", {{'C', 6}, {'H', 10}, {'O', 2}}},
                        {"I~X", {{'C', 6}, {'H', 11}, {'B', 1}, {'O', 2}}}});
  SaveScreenshot(*form, "maldi-atrp.png");
  ZoomOnPeaks(*form, 3, 160.0);
  SaveScreenshot(*form, "maldi-atrp-zoom.png");
}

// Pictures of the window for the examples a user starts with: written only
// when PROPAGON_SCREENSHOT_DIR names a folder (their runs take half a minute).
class MALDIExamplePictures : public MALDIRun {
protected:
  void Picture(const char* example, const QString& upper, const QString& level, int zoomCurve, double halfWidth,
               const QString& name) {
    if (!std::getenv("PROPAGON_SCREENSHOT_DIR"))
      GTEST_SKIP() << "PROPAGON_SCREENSHOT_DIR is not set";
    const std::string path = std::string(PROPAGON_EXAMPLES_DIR) + "/" + example;
    Host.UseParameterFile(path);
    Engine::TSimState& state = Engine::SimState();
    state.FreeAll();
    state.FixedSeed = 1;
    Engine::TSimObserver observer;
    {
      Engine::TSimThread thread(*Host.File, observer, state);
      thread.Start();
      thread.WaitFor();
      thread.OnSimulationEnd();
      ASSERT_FALSE(thread.Failed()) << thread.ErrorMessage();
    }
    state.FixedSeed.reset();
    auto form = std::make_unique<TMALDIForm>(&Host);
    form->Spectrum().TempDir = Dir.path().toStdString() + "/";
    form->resize(1000, 600);
    form->show();
    form->LabelLevelEdit->setText(level);
    form->SetSettingsDialogRunner([upper](TMALDIForm& f) {
      f.SetUpperLimit(upper);
      f.SetCation(QStringLiteral("Na+"));
      return int(QDialog::Accepted);
    });
    ASSERT_TRUE(form->aRecalcMALDIExecute());
    SaveScreenshot(*form, name + ".png");
    ZoomOnPeaks(*form, zoomCurve, halfWidth);
    SaveScreenshot(*form, name + "-zoom.png");
  }
};

TEST_F(MALDIExamplePictures, FreeRadicalStyrene) {
  Picture("free-radical-styrene.kpx", QStringLiteral("5000"), QStringLiteral("5"), 1, 110.0,
          QStringLiteral("example-freeradical"));
}

TEST_F(MALDIExamplePictures, AtrpStyrene) {
  Picture("atrp-styrene.kpx", QStringLiteral("12000"), QStringLiteral("20"), 3, 160.0, QStringLiteral("example-atrp"));
}

} // namespace
