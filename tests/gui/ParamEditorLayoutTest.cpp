// The editor's pages laid out for each process type, at the default size and
// larger: every visible field, label and button lies inside its page and
// none covers another. With PROPAGON_SCREENSHOT_DIR set, each page is also
// written there as a PNG (editor-<example>-<page>-<size>.png) to be looked at.

#include "ParamEditorTestSupport.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeySequence>
#include <QMap>
#include <QPushButton>
#include <QLabel>
#include <QPixmap>
#include <QTabWidget>

#include <cstdlib>

namespace {

using namespace EditorTest;

// Widgets a user reads or operates; their own inner parts are not counted.
bool Leaf(const QWidget* w) {
  return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QLabel*>(w) ||
         qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
         qobject_cast<const QPlainTextEdit*>(w);
}

std::vector<QWidget*> VisibleLeaves(QWidget* page) {
  std::vector<QWidget*> leaves;
  for (QWidget* w : page->findChildren<QWidget*>()) {
    if (!Leaf(w) || !w->isVisibleTo(page))
      continue;
    bool inner = false;
    for (QWidget* p = w->parentWidget(); p && p != page; p = p->parentWidget())
      inner = inner || Leaf(p);
    if (!inner)
      leaves.push_back(w);
  }
  return leaves;
}

std::string Describe(const QWidget* w) {
  const auto* label = qobject_cast<const QLabel*>(w);
  const auto* button = qobject_cast<const QAbstractButton*>(w);
  return std::string(w->metaObject()->className()) + " '" +
         (label ? label->text() : button ? button->text() : w->objectName()).toStdString() + "'";
}

class EditorLayout : public TEditorFixture {};

TEST_F(EditorLayout, PagesOfEveryProcessTypeAreLaidOutWithoutOverlapAtDefaultAndLargerSizes) {
  // Each process type, and the sum-of-components volume mode (the last two).
  const char* examples[6] = {"living-caprolactone.kpx",        "free-radical-styrene.kpx",
                             "atrp-styrene.kpx",               "reversible-alpha-methylstyrene.kpx",
                             "living-caprolactone-lactide.kpx", "free-radical-styrene-mma.kpx"};
  const int types[6] = {0, 1, 2, 3, 0, 1};
  const QString shots = QString::fromLocal8Bit(std::getenv("PROPAGON_SCREENSHOT_DIR"));
  for (int n = 0; n < 6; ++n) {
    const QString copy = TempFile(QString("example%1.kpx").arg(n));
    QFile::remove(copy);
    ASSERT_TRUE(QFile::copy(Examples + "/" + examples[n], copy));
    FForm.reset();
    Params::TParamSettingForm& form = Form(copy);
    const int type = types[n];
    ASSERT_EQ(form.ProcessType(), type) << examples[n];
    ASSERT_EQ(form.MixtureVolume->ItemIndex(), n < 4 ? 0 : 1) << examples[n];
    const QSize normal = form.size();
    for (const char* size : {"default", "large"}) {
      form.resize(std::string(size) == "large" ? normal * 1.4 : normal);
      for (int index = 0; index < form.PageControl->count(); ++index) {
        form.PageControl->setCurrentIndex(index);
        QWidget* page = form.PageControl->currentWidget();
        QApplication::processEvents();
        const std::string where = std::string(examples[n]) + " " + page->objectName().toStdString() + " " + size;
        const std::vector<QWidget*> leaves = VisibleLeaves(page);
        EXPECT_GT(leaves.size(), 3u) << where;
        for (std::size_t i = 0; i < leaves.size(); ++i) {
          const QRect a(leaves[i]->mapTo(page, QPoint(0, 0)), leaves[i]->size());
          EXPECT_TRUE(page->rect().contains(a)) << where << ": " << Describe(leaves[i]) << " outside the page";
          for (std::size_t j = i + 1; j < leaves.size(); ++j) {
            const QRect b(leaves[j]->mapTo(page, QPoint(0, 0)), leaves[j]->size());
            EXPECT_FALSE(a.intersects(b)) << where << ": " << Describe(leaves[i]) << " covers " << Describe(leaves[j]);
          }
        }
        if (!shots.isEmpty()) {
          QDir().mkpath(shots);
          form.grab().save(shots + QString("/editor-%1-%2-%3.png")
                                      .arg(QFileInfo(examples[n]).baseName(), page->objectName(), size));
        }
      }
    }
  }
}

// The access key of a text ("&x"), or an empty text.
QString Key(const QString& text) { return QKeySequence::mnemonic(text).toString(); }

// Every page of every process type: no two controls a user sees at once
// answer the same Alt key (the tabs and the bottom buttons are always seen).
TEST_F(EditorLayout, AccessKeysReachOneControlOnEveryPage) {
  for (const char* example : {"living-caprolactone.kpx", "free-radical-styrene.kpx", "atrp-styrene.kpx",
                              "reversible-alpha-methylstyrene.kpx", "free-radical-styrene-mma.kpx"}) {
    const QString copy = TempFile(example);
    QFile::remove(copy);
    ASSERT_TRUE(QFile::copy(Examples + "/" + example, copy));
    FForm.reset();
    Params::TParamSettingForm& form = Form(copy);
    for (int index = 0; index < form.PageControl->count(); ++index) {
      form.PageControl->setCurrentIndex(index);
      QApplication::processEvents();
      QMap<QString, QString> owner; // key -> control
      auto claim = [&](const QString& text) {
        const QString key = Key(text);
        if (key.isEmpty())
          return;
        EXPECT_FALSE(owner.contains(key)) << example << " page " << index << ": " << key.toStdString() << " reaches '"
                                          << owner.value(key).toStdString() << "' and '" << text.toStdString() << "'";
        owner.insert(key, text);
      };
      for (int t = 0; t < form.PageControl->count(); ++t)
        claim(form.PageControl->tabText(t));
      for (QWidget* w : form.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&form))
          continue;
        if (auto* button = qobject_cast<QAbstractButton*>(w))
          claim(button->text());
        else if (auto* group = qobject_cast<QGroupBox*>(w))
          claim(group->title());
        else if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy())
          claim(label->text());
      }
      EXPECT_GE(owner.size(), 8) << example << " page " << index; // at least the four tabs and four buttons
    }
  }
}

// Density, Volume and Oxidized show their units beside the field, and only
// while the field is shown.
TEST_F(EditorLayout, DensityVolumeAndOxidizedShowTheirUnits) {
  const QString copy = TempFile("atrp.kpx");
  ASSERT_TRUE(QFile::copy(Examples + "/atrp-styrene.kpx", copy));
  Params::TParamSettingForm& form = Form(copy);
  form.PageControl->setCurrentIndex(1);
  QApplication::processEvents();
  Params::TCompoundInterface* activator = form.Compounds[Params::ciActivator];
  Params::TCompoundInterface* monomer = form.Compounds[Params::ciMonomerA];
  monomer->Units->Click(0); // by volume: the density is asked for
  QApplication::processEvents();
  struct TCase {
    Params::TEditPositiveNumber* Field;
    const char* Unit;
  };
  for (const TCase& c : {TCase{monomer->Density, "g/cm\u00b3"}, TCase{monomer->Volume, "mL"},
                         TCase{activator->Oxidized, "mol/mol"}}) {
    QLabel* unit = c.Field->UnitLabel();
    ASSERT_NE(unit, nullptr) << c.Field->objectName().toStdString();
    EXPECT_EQ(unit->text(), QString::fromUtf8(c.Unit));
    EXPECT_EQ(unit->isVisibleTo(&form), c.Field->isVisibleTo(&form)) << c.Field->objectName().toStdString();
    if (c.Field->isVisibleTo(&form)) {
      EXPECT_GE(unit->geometry().left(), c.Field->geometry().right());
      EXPECT_LT(std::abs(unit->geometry().center().y() - c.Field->geometry().center().y()), c.Field->height());
    }
  }
  EXPECT_TRUE(activator->Oxidized->isVisibleTo(&form));
  EXPECT_TRUE(monomer->Density->isVisibleTo(&form));
}

// A file just opened lists 0 first: the logarithmic generator starts from
// its first positive time instead of refusing.
TEST_F(EditorLayout, LogarithmicGeneratorStartsFromTheFirstPositiveTimeOfAnOpenedFile) {
  const QString copy = TempFile("living.kpx");
  ASSERT_TRUE(QFile::copy(Examples + "/living-caprolactone.kpx", copy));
  Params::TParamSettingForm& form = Form(copy);
  const QStringList lines = form.CheckingPointsList->toPlainText().split('\n', Qt::SkipEmptyParts);
  ASSERT_GE(lines.size(), 3);
  ASSERT_EQ(lines.first().toDouble(), 0.0);
  EXPECT_EQ(form.StartingValue->text(), lines[1]);
  EXPECT_EQ(form.FinalValue->text(), lines.last());
  form.PageControl->setCurrentIndex(3);
  form.CheckingPointsDistr->Click(1); // logarithmic
  EXPECT_EQ(form.CheckingPointsDistr->ItemIndex(), 1);
  form.CheckingPointsGenerationClick();
  EXPECT_TRUE(FDialogs.Errors.empty()) << FDialogs.Errors.front();
  const QStringList spread = form.CheckingPointsList->toPlainText().split('\n', Qt::SkipEmptyParts);
  ASSERT_GE(spread.size(), 3);
  EXPECT_EQ(spread[0].toDouble(), 0.0);
  EXPECT_DOUBLE_EQ(spread[1].toDouble(), lines[1].toDouble());
  EXPECT_NEAR(spread.last().toDouble(), lines.last().toDouble(), 1e-9 * lines.last().toDouble());
}

} // namespace
