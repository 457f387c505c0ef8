// Shared set-up of the window framework tests: an application object with a recording headless
// front end whose output goes to strings, on an Env that says whether stdout is a terminal.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/Env.h"
#include "tests/support/MakeControl.h"
#include "ui/Forms.h"
#include "ui/headless/HeadlessFrontEnd.h"

namespace dravello::testing {

class TerminalEnv : public EnvWrapper {
 public:
  TerminalEnv(bool terminal) : EnvWrapper(Env::Platform()), terminal_(terminal) {}
  bool StdoutIsTerminal() override { return terminal_; }

 private:
  bool terminal_;
};

// Also keeps every notification as "Name.Property", "Name:items", "Name:shown", ...
class RecordingFrontEnd : public THeadlessFrontEnd {
 public:
  using THeadlessFrontEnd::THeadlessFrontEnd;
  std::vector<std::string> Notes;

  void PropertyChanged(TControl& c, TProperty property) override {
    Notes.push_back(c.Name() + "." + std::string(PropertyName(property)));
    THeadlessFrontEnd::PropertyChanged(c, property);
  }
  void ItemsChanged(TControl& c) override {
    Notes.push_back(c.Name() + ":items");
    THeadlessFrontEnd::ItemsChanged(c);
  }
  void Shown(TControl& c) override {
    Notes.push_back(c.Name() + ":shown");
    THeadlessFrontEnd::Shown(c);
  }
  void Hidden(TControl& c) override {
    Notes.push_back(c.Name() + ":hidden");
    THeadlessFrontEnd::Hidden(c);
  }
  void Destroying(TControl& c) override {
    Notes.push_back(c.Name() + ":destroying");
    THeadlessFrontEnd::Destroying(c);
  }
  int Count(const std::string& note) const {
    int n = 0;
    for (const std::string& s : Notes) n += s == note;
    return n;
  }
};

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(false); }
  void TearDown() override { app.reset(); }

  void Start(bool terminal) {
    app.reset();
    TerminalEnv env(terminal);
    ScopedEnv scoped(env);
    app = std::make_unique<TApplication>();
    auto frontEnd = std::make_unique<RecordingFrontEnd>(out, err);
    fe = frontEnd.get();
    app->SetFrontEnd(std::move(frontEnd));
    app->SetTitle("Test App");
  }

  std::ostringstream out, err;
  std::unique_ptr<TApplication> app;
  RecordingFrontEnd* fe = nullptr;
};

}  // namespace dravello::testing
