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

} // namespace
