// A simulated panel (tests/tools/panelsim) on the far side of linesim, for end-to-end tests of
// the program's side on COM<port> of a fresh port folder (KORVANEX_SERIAL_DIR):
//
//   class TransferTest : public PanelSimFixture {};
//   TEST_F(TransferTest, Downloads) {
//     ASSERT_TRUE(Panel().StartLine({"--baud", "9600"}));           // COM7 -> panel
//     ASSERT_TRUE(Panel().StartPanel({"--type", "7", "download", "got.srd"}));
//     ... open COM7, answer the request, send the site ...
//     EXPECT_EQ(Panel().WaitPanel(std::chrono::seconds(60)), 0) << Panel().PanelLog();
//     EXPECT_EQ(ReadWholeFile(Panel().File("got.srd")).substr(0, 10322), site);
//   }
//
// PanelSimLine is a plain class (no gtest assertions), so that a Qt Test executable can use
// it too; the header needs the gtest headers but nothing to link. The binaries are
// $KORVANEX_PANELSIM / $KORVANEX_LINESIM, else KVX_PANELSIM_PATH / KVX_LINESIM_PATH (compile
// definitions set to $<TARGET_FILE:...>, with add_dependencies), else found in PATH.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/LineSimFixture.h"

inline std::string PanelSimBinary() {
#ifdef KVX_PANELSIM_PATH
  return ToolBinary("KORVANEX_PANELSIM", KVX_PANELSIM_PATH);
#else
  return ToolBinary("KORVANEX_PANELSIM", "panelsim");
#endif
}

// panelsim's exit statuses besides the peer's (see panelsim --help).
namespace panelsim {
constexpr int kUsage = 2;
constexpr int kTtyFailed = 100;
constexpr int kNoAnswer = 101;
constexpr int kWrongAnswer = 102;
constexpr int kNotSilent = 103;
constexpr int kIoFailed = 104;
}  // namespace panelsim

// A port folder with COM<port> on side A of linesim and panelsim on side B ("peer").
// Construction makes the folder and points KORVANEX_SERIAL_DIR at it; destruction stops
// panelsim (which stops its rx/sx) and linesim, restores the variable and removes the folder.
class PanelSimLine {
 public:
  explicit PanelSimLine(int port = 7) : port_(port) {
    char pattern[] = "/tmp/kvx-panel-XXXXXX";
    if (const char* made = ::mkdtemp(pattern)) dir_ = made;
    if (const char* old = std::getenv("KORVANEX_SERIAL_DIR")) savedDir_ = old;
    if (!dir_.empty()) ::setenv("KORVANEX_SERIAL_DIR", dir_.c_str(), 1);
  }

  ~PanelSimLine() {
    panel_.Stop();
    line_.Stop();
    if (savedDir_)
      ::setenv("KORVANEX_SERIAL_DIR", savedDir_->c_str(), 1);
    else
      ::unsetenv("KORVANEX_SERIAL_DIR");
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }

  PanelSimLine(const PanelSimLine&) = delete;
  PanelSimLine& operator=(const PanelSimLine&) = delete;

  // False when the folder could not be made (Dir() empty).
  bool Ready() const { return !dir_.empty(); }

  // Starts linesim with these options; false (see LineLog()) when it does not come up.
  bool StartLine(const std::vector<std::string>& linesimArgs = {"--baud", "9600"}) {
    return Ready() && line_.Start(linesimArgs, ComPath(), PeerPath(), dir_ + "/linesim.log");
  }

  // Starts `panelsim --tty Dir()/peer --timing TimingPath() args...` in Dir() (so relative
  // FILEs land there), its stderr into Dir()/panelsim.log. Start the line first; open COM
  // before the panel sends, since bytes due to a side nobody holds open are lost.
  bool StartPanel(const std::vector<std::string>& args) {
    std::vector<std::string> argv{PanelSimBinary(), "--tty", PeerPath(), "--timing", TimingPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return Ready() && panel_.Start(argv, {"", dir_ + "/panelsim.out", dir_ + "/panelsim.log", dir_});
  }

  // panelsim's exit status (its own, or its peer's) once it ended within timeout, else -1.
  int WaitPanel(std::chrono::milliseconds timeout) { return panel_.Wait(timeout); }
  bool PanelRunning() { return panel_.Running(); }
  // SIGTERM (passed on to rx/sx), then SIGKILL; its status.
  int StopPanel() { return panel_.Stop(); }

  // What panelsim printed on stderr (its own lines and rx/sx's), and its timing events.
  std::string PanelLog() const { return ReadWholeFile(dir_ + "/panelsim.log"); }
  std::string Timing() const { return ReadWholeFile(TimingPath()); }
  std::string LineLog() const { return line_.Log(); }

  const std::string& Dir() const { return dir_; }
  int Port() const { return port_; }
  std::string ComName() const { return "COM" + std::to_string(port_); }
  std::string ComPath() const { return dir_ + "/" + ComName(); }
  std::string PeerPath() const { return dir_ + "/peer"; }
  std::string TimingPath() const { return dir_ + "/panelsim.timing"; }
  std::string File(const std::string& name) const { return dir_ + "/" + name; }
  LineSimProcess& Line() { return line_; }
  ChildProcess& PanelProcess() { return panel_; }

 private:
  int port_;
  std::string dir_;
  std::optional<std::string> savedDir_;
  LineSimProcess line_;
  ChildProcess panel_;
};

// The same for gtest: a fresh PanelSimLine for each test.
class PanelSimFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    panel_.emplace(port_);
    ASSERT_TRUE(panel_->Ready());
  }
  void TearDown() override { panel_.reset(); }

  PanelSimLine& Panel() { return *panel_; }
  // Call before SetUp runs (in the test class's constructor) to use another COM number.
  void UsePort(int port) { port_ = port; }

 private:
  int port_ = 7;
  std::optional<PanelSimLine> panel_;
};
