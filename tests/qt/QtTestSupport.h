// Shared set-up of the Qt front-end tests: one Qt application object for the whole test program
// (on the offscreen platform unless QT_QPA_PLATFORM says otherwise), and per test an application
// object of the framework with the Qt front end.
#pragma once

#include <gtest/gtest.h>

#include <QList>
#include <QObject>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "tests/support/MakeControl.h"
#include "ui/Forms.h"
#include "ui/qt/QtFrontEnd.h"
#include "ui/qt/QtFrontEndImpl.h"

namespace dravello::qttest {

// Runs Qt's event loop until `done` holds or `ms` milliseconds passed; returns `done()`.
bool WaitFor(const std::function<bool()>& done, int ms = 3000);

// Runs `action` on the first modal dialog (or modal form window) that opens, from inside its
// event loop; polls until one is there.
void WhenModal(std::function<void(QWidget* dialog)> action);

// Runs `action` from inside the next event loop.
void Soon(std::function<void()> action);

// Stands in for the desktop's browser: QDesktopServices hands it the addresses of one scheme.
class TUrlCatcher : public QObject {
  Q_OBJECT

 public:
  explicit TUrlCatcher(const QString& scheme);
  ~TUrlCatcher() override;
  QList<QUrl> Urls;

 public slots:
  void Open(const QUrl& url) { Urls << url; }

 private:
  QString scheme_;
};

class QtTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  QWidget* W(const TControl* control) const { return qt->WidgetOf(control); }
  template <class T>
  T* As(const TControl* control) const {
    return dynamic_cast<T*>(W(control));
  }
  // Shows the form and waits until its window is active, so that keys and shortcuts reach it.
  void ShowActive(TForm* form);

  std::unique_ptr<TApplication> app;
  TQtFrontEnd* qt = nullptr;
};

using ::dravello::testing::Make;

}  // namespace dravello::qttest
