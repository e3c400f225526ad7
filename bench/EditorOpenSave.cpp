// Open and save of a large configuration in the editor's window: 100 PLCs with 100 items
// each. Prints the time of each and how many distinct values the progress bar showed
// while the file was loaded. Targets: open under 1 s, save under 0.5 s.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QProgressBar>

#include "common/configfile/ConfigWriter.h"
#include "editor/ui/Prompter.h"
#include "editor/ui/frmEditing.h"

namespace ed = zentarc::editor;
namespace cf = zentarc::configfile;

namespace {

class BenchPrompter : public ed::Prompter {
 public:
  QString path;
  int messages = 0;
  ed::Answer message(QWidget*, const QString& text, ed::Buttons buttons) override {
    ++messages;
    if (buttons == ed::Buttons::Ok) std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
    return ed::Answer::Yes;  // overwrite the file
  }
  std::optional<QString> openFile(QWidget*, const QString&, const QString&, const QString&) override {
    return path;
  }
  std::optional<QString> saveFile(QWidget*, const QString&, const QString&, const QString&,
                                  const QString&) override {
    return path;
  }
  std::optional<QString> askText(QWidget*, const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  void runModal(QDialog&) override {}
};

std::string bigFile() {
  static const char* const types[] = {"VT_I2", "VT_BOOL", "VT_R4", "VT_UI2 ARRAY", "VT_BSTR", "VT_I4"};
  std::vector<cf::WriterPlc> plcs;
  for (int p = 0; p < 100; ++p) {
    cf::WriterPlc plc{"PLC_" + std::to_string(p), "10.0." + std::to_string(p) + ".1", {}};
    for (int i = 0; i < 100; ++i) {
      cf::WriterTag t;
      t.name = "Tag_" + std::to_string(p) + "_" + std::to_string(i);
      t.comment = "line " + std::to_string(p) + " sensor " + std::to_string(i);
      t.typeName = types[i % 6];
      t.bit = i % 16;
      t.address = 1 + i * 4;
      t.elements = 4;
      t.access = "READWRITE";
      plc.tags.push_back(t);
    }
    plcs.push_back(plc);
  }
  return cf::writeConfig(plcs);
}

double ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const auto dir = std::filesystem::temp_directory_path() / "zentarc-bench-editor";
  std::filesystem::create_directories(dir);
  // The path record goes to a scratch settings file, never the machine's.
  qputenv("OPCZENTARC_SETTINGS", (dir / "settings.ini").string().c_str());
  QApplication app(argc, argv);
  const auto file = dir / "big.xml";
  const std::string bytes = bigFile();
  std::ofstream(file, std::ios::binary) << bytes;

  BenchPrompter prompter;
  prompter.path = QString::fromStdString(file.string());
  ed::EditorOptions options;
  options.layoutFile = QString::fromStdString((dir / "layout.ini").string());  // not the user's own
  ed::frmEditing window(prompter, options);
  window.show();
  std::set<int> progress;
  QObject::connect(window.pnlPercent(), &QProgressBar::valueChanged, [&](int v) {
    if (window.pnlImpStat()->isVisible()) progress.insert(v);
  });

  const int runs = 5;
  std::vector<double> open, save;
  for (int r = 0; r < runs; ++r) {
    auto t0 = std::chrono::steady_clock::now();
    window.mnuOpenCfg_Click();
    open.push_back(ms(std::chrono::steady_clock::now() - t0));
    t0 = std::chrono::steady_clock::now();
    window.mnuSaveCfg_Click();
    save.push_back(ms(std::chrono::steady_clock::now() - t0));
  }
  std::ifstream in(file, std::ios::binary);
  const std::string after{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::sort(open.begin(), open.end());
  std::sort(save.begin(), save.end());
  std::printf("editor file with 100 PLCs, %zu items, %zu bytes; %d runs\n",
              window.state().colItems->Count(), bytes.size(), runs);
  std::printf("open: median %.1f ms, best %.1f ms, worst %.1f ms (target < 1000 ms)\n", open[runs / 2],
              open.front(), open.back());
  std::printf("save: median %.1f ms, best %.1f ms, worst %.1f ms (target < 500 ms)\n", save[runs / 2],
              save.front(), save.back());
  std::printf("progress bar showed %zu distinct values during the open (last %d)\n", progress.size(),
              progress.empty() ? -1 : *progress.rbegin());
  std::printf("saved file identical to the opened one: %s\n", after == bytes ? "yes" : "NO");
  window.state().bCfgOpen = false;
  std::filesystem::remove_all(dir);
  return after == bytes ? 0 : 1;
}
