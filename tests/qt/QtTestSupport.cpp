#include "QtTestSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace dravello::qttest {

namespace {

// The offscreen platform says so whenever a window asks for what only a desktop can do.
QtMessageHandler g_previous = nullptr;

void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
  if (g_previous)
    g_previous(type, context, message);
  else
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

// The Qt application object lives from the first test to the end of the program.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    g_previous = qInstallMessageHandler(QuietHandler);
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[9] = "qt_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

bool WaitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QTest::qWait(5);
  }
  return true;
}

namespace {
int g_modalGeneration = 0;
}  // namespace

void WhenModal(std::function<void(QWidget*)> action) {
  auto* poll = new QTimer(qApp);
  auto tries = std::make_shared<int>(0);
  const int generation = ++g_modalGeneration;
  QObject::connect(poll, &QTimer::timeout, poll, [poll, action, tries, generation] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal && ++*tries < 400) return;
    poll->stop();
    poll->deleteLater();
    if (!modal) {
      ADD_FAILURE() << "no modal window opened";
      return;
    }
    QPointer<QWidget> guard(modal);
    action(modal);
    // A failed check must not leave the test waiting on a dialog nobody closes; nor may a
    // dialog the action should have closed.
    if (::testing::Test::HasFatalFailure() && guard && guard->isVisible()) guard->close();
    QTimer::singleShot(5000, qApp, [guard, generation] {
      if (generation != g_modalGeneration || !guard || !guard->isVisible()) return;
      ADD_FAILURE() << "a modal window stayed open";
      guard->close();
    });
  });
  poll->start(5);
}

TUrlCatcher::TUrlCatcher(const QString& scheme) : scheme_(scheme) {
  QDesktopServices::setUrlHandler(scheme, this, "Open");
}

TUrlCatcher::~TUrlCatcher() { QDesktopServices::unsetUrlHandler(scheme_); }

void Soon(std::function<void()> action) { QTimer::singleShot(0, qApp, std::move(action)); }

void QtTest::SetUp() {
  app = std::make_unique<TApplication>();
  static int argc = 1;
  static char name[] = "qt_tests";
  static char* argv[] = {name, nullptr};
  std::unique_ptr<TFrontEnd> frontEnd = MakeQtFrontEnd(argc, argv);
  qt = static_cast<TQtFrontEnd*>(frontEnd.get());
  app->SetFrontEnd(std::move(frontEnd));
  app->SetTitle("Test App");
}

void QtTest::TearDown() { app.reset(); }

void QtTest::ShowActive(TForm* form) {
  form->Show();
  QWidget* window = W(form);
  ASSERT_NE(window, nullptr);
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

}  // namespace dravello::qttest
