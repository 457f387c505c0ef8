#include "Win32TestSupport.h"

#include <fstream>
#include <sstream>

namespace dravello::win32test {

namespace {
ModalDriver* g_driver = nullptr;
}

std::string ClassOf(HWND hwnd) {
  wchar_t name[128] = {};
  GetClassNameW(hwnd, name, static_cast<int>(std::size(name)));
  return win32::U8(name);
}

std::string TextOf(HWND hwnd) { return win32::WindowText(hwnd); }

SIZE ClientSize(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return {r.right - r.left, r.bottom - r.top};
}

POINT ClientOrigin(HWND hwnd) {
  POINT p{0, 0};
  ClientToScreen(hwnd, &p);
  return p;
}

LONG_PTR Style(HWND hwnd) { return GetWindowLongPtrW(hwnd, GWL_STYLE); }
LONG_PTR ExStyle(HWND hwnd) { return GetWindowLongPtrW(hwnd, GWL_EXSTYLE); }

std::vector<HWND> Dialogs() {
  std::vector<HWND> found;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM data) -> BOOL {
        if (IsWindowVisible(hwnd) && ClassOf(hwnd) == "#32770")
          reinterpret_cast<std::vector<HWND>*>(data)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND DialogTitled(const std::string& caption) {
  for (HWND h : Dialogs())
    if (TextOf(h) == caption) return h;
  return nullptr;
}

std::vector<std::string> ChildTexts(HWND parent, const std::string& windowClass) {
  std::vector<std::string> texts;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (_stricmp(ClassOf(child).c_str(), windowClass.c_str()) == 0) texts.push_back(TextOf(child));
  return texts;
}

ModalDriver::ModalDriver() {
  g_driver = this;
  started_ = std::chrono::steady_clock::now();
  timer_ = SetTimer(nullptr, 0, static_cast<UINT>(kTick.count()), Tick);
}

ModalDriver::~ModalDriver() {
  KillTimer(nullptr, timer_);
  if (g_driver == this) g_driver = nullptr;
}

void ModalDriver::Then(Step step) { steps_.push_back(std::move(step)); }

void CALLBACK ModalDriver::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_driver) g_driver->OnTick();
}

void ModalDriver::OnTick() {
  if (steps_.empty()) return;
  // A step may open a modal loop of its own (a click that opens a box): no tick meanwhile.
  Step step = steps_.front();
  ModalDriver* self = g_driver;
  g_driver = nullptr;
  const bool done = step();
  g_driver = self;
  if (done) {
    steps_.erase(steps_.begin());
    started_ = std::chrono::steady_clock::now();
    return;
  }
  if (std::chrono::steady_clock::now() - started_ > kStepTimeout) {
    ADD_FAILURE() << "a step waited in vain; the dialogs and modal forms standing are closed";
    steps_.clear();
    for (HWND dialog : Dialogs()) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    if (Screen)
      for (int i = 0; i < Screen->FormCount(); ++i)
        if (Screen->Forms(i)->Modal()) Screen->Forms(i)->SetModalResult(mrCancel);
  }
}

void ModalDriver::RunUntilDone() {
  // The program's own main loop, keys and accelerators included.
  while (!Done() && Application) Application->FrontEnd().WaitMessage();
}

void Pump(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    if (Application) Application->FrontEnd().ProcessMessages();
    Sleep(5);
  } while (std::chrono::steady_clock::now() < until);
}

void Win32Fixture::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  root_ = std::filesystem::temp_directory_path() /
          ("dv-win32-" + std::to_string(Env::Platform().ProcessId()) + "-" + info->name());
  std::filesystem::remove_all(root_);
  std::filesystem::create_directories(root_ / "prog");
  IniFileName = Path("prog/dravello.ini");
  LogFileName = Path("prog/dravello.log");
  SetParams({});
  mlMessages().SetLanguage("");
  NewApplication();
}

void Win32Fixture::TearDown() {
  main_ = nullptr;
  ui_ = nullptr;
  app_.reset();
  mlMessages().SetLanguage("");
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

void Win32Fixture::NewApplication() {
  main_ = nullptr;
  ui_ = nullptr;
  app_.reset();
  app_ = std::make_unique<TApplication>();
  app_->SetTitle("Velmora's Dravello");
  auto frontEnd = std::make_unique<TNotingFrontEnd>();
  ui_ = frontEnd.get();
  app_->SetFrontEnd(std::move(frontEnd));
}

TfrmMain& Win32Fixture::StartMain() {
  main_ = app_->CreateForm<TfrmMain>();
  main_->Show();
  Pump();
  return *main_;
}

void Win32Fixture::CloseMain() {
  SendMessageW(Hwnd(main_), WM_CLOSE, 0, 0);
  Pump();
}

std::string Win32Fixture::Path(const std::string& rel) const {
  const std::u8string u = (root_ / std::u8string(rel.begin(), rel.end())).make_preferred().u8string();
  return std::string(u.begin(), u.end());
}

void Win32Fixture::WriteFile(const std::string& rel, const std::string& text) const {
  std::filesystem::create_directories((root_ / rel).parent_path());
  std::ofstream(root_ / rel, std::ios::binary) << text;
}

std::string Win32Fixture::ReadFile(const std::string& rel) const {
  std::ifstream file(root_ / rel, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace dravello::win32test
