// bench/window-latency: how long the window goes without a turn of its event
// handling while WRITE runs, on the offscreen platform. A precise 1 ms timer
// notes every turn; the figure is the longest gap between two, and the 99th
// percentile. Two writes: to a silent radio (the waits for a reply that does
// not come, then "Synchronization Error.") and a paced write at 38400 baud.
// Boxes are answered at once. Then the station window with eight beds written
// at once, each bed paced at 38400 baud. Target at most 100 ms, goal 20 ms.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "formats/SflWriter.h"
#include "sim/SimRadio.h"
#include "station/StationFile.h"
#include "ui/FirmwareWriterDlg.h"
#include "ui/StationWindow.h"
#include "dialog/Globals.h"

namespace {

using namespace tarvel;

// The window with every box answered as soon as it opens.
class BenchDialog final : public CFirmwareWriterDlg {
 public:
  using CFirmwareWriterDlg::CFirmwareWriterDlg;
  int boxes = 0;
  QString lastBox;

 protected:
  void ShowMessageBox(const std::string& text, MessageIcon, const std::string&) override {
    ++boxes;
    lastBox = QString::fromStdString(text);
  }
  void OpenMessageBox(const std::string& text, MessageIcon, const std::string&, std::function<void()> closed) override {
    ++boxes;
    lastBox = QString::fromStdString(text);
    if (closed) closed();
  }
};

struct Figures {
  double wallS = 0;
  double longestGapMs = 0;
  double p99GapMs = 0;
  std::size_t turns = 0;
};

// The turns of the window while `run` runs.
Figures Measure(const std::function<void()>& run);

Figures RunWrite(const std::filesystem::path& dir, const sim::Options& radioOptions, const std::string& file,
                 QString& lastBox) {
  std::string error;
  auto radio = sim::Radio::Start(radioOptions, &error);
  if (!radio) {
    std::fprintf(stderr, "cannot start the simulated radio: %s\n", error.c_str());
    std::exit(1);
  }
  const std::string settings = (dir / "tarvel.ini").string();
  {
    std::ofstream out(settings, std::ios::trunc);
    out << "[Initialize]\nType=0\nCommName=" << radio->devicePath() << "\nBaudRate=38400\n";
  }
  DialogServices services;
  services.settingsPath = settings;
  services.listPorts = [] { return std::vector<std::string>{}; };
  BenchDialog dialog(std::move(services));
  dialog.show();
  // The folder holds the one file: its row, chosen as a click chooses it.
  dialog.FocusRow(0, true);
  dialog.Dialog().OnFileListClick();
  if (dialog.Dialog().FilePath() != file) {
    std::fprintf(stderr, "the window did not list %s\n", file.c_str());
    std::exit(1);
  }

  Figures figures = Measure([&] { dialog.Dialog().OnWrite(); });  // returns when the write is over
  lastBox = dialog.lastBox;
  return figures;
}

// The station window writing `beds` paced radios at once, F5 as the
// operator starts them.
Figures RunStationRound(const std::filesystem::path& dir, int beds, QString& lastResult) {
  std::vector<std::unique_ptr<sim::Radio>> radios;
  std::string ini = "[Station]\nFirmware=bench.sfl\nCable=QAP-8\nBaud=38400\nRecord=station-bench.jsonl\n[Beds]\n";
  for (int i = 0; i < beds; ++i) {
    sim::Options options;
    options.linkPath.clear();
    options.baud = 38400;
    std::string error;
    radios.push_back(sim::Radio::Start(options, &error));
    if (!radios.back()) {
      std::fprintf(stderr, "cannot start the simulated radio: %s\n", error.c_str());
      std::exit(1);
    }
    ini += "Bed " + std::to_string(i + 1) + "=" + radios.back()->devicePath() + "\n";
  }
  const std::string path = (dir / "station.ini").string();
  std::ofstream(path, std::ios::trunc) << ini;
  StationConfig config;
  CheckedSflFile file;
  TransferFacts facts;
  if (const auto problem = ReadStationFile(path, config, file, facts)) {
    std::fprintf(stderr, "%s\n", problem->c_str());
    std::exit(1);
  }
  CStationWindow window(config, file, facts);
  window.show();
  // The first paint of the whole window is not the round's.
  QApplication::processEvents();
  Figures figures = Measure([&] {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
      if (!window.station().running()) loop.quit();
    });
    window.station().startRound({}, true);
    check.start(10);
    loop.exec();
  });
  int passed = 0;
  for (std::size_t i = 0; i < window.station().bedCount(); ++i) {
    passed += window.station().bed(i).state == BedState::Passed;
  }
  lastResult = QString("%1 of %2 beds passed").arg(passed).arg(beds);
  return figures;
}

Figures Measure(const std::function<void()>& run) {
  std::vector<qint64> turnsNs;
  QElapsedTimer clock;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(1);
  QObject::connect(&ticker, &QTimer::timeout, [&] { turnsNs.push_back(clock.nsecsElapsed()); });

  clock.start();
  ticker.start();
  run();  // the window turns meanwhile
  ticker.stop();
  Figures figures;
  figures.wallS = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  turnsNs.push_back(clock.nsecsElapsed());
  std::vector<double> gapsMs;
  qint64 previous = 0;
  for (qint64 at : turnsNs) {
    gapsMs.push_back(static_cast<double>(at - previous) / 1e6);
    previous = at;
  }
  std::sort(gapsMs.begin(), gapsMs.end());
  figures.turns = turnsNs.size();
  figures.longestGapMs = gapsMs.back();
  figures.p99GapMs = gapsMs[gapsMs.size() * 99 / 100];
  return figures;
}

void Print(const char* name, const Figures& f, const QString& lastBox) {
  std::printf("%-28s wall %6.2f s  turns %6zu  longest gap %7.2f ms  99th percentile %6.2f ms  (%s)\n", name,
              f.wallS, f.turns, f.longestGapMs, f.p99GapMs, lastBox.section(QLatin1Char('\n'), 0, 0).toUtf8().constData());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // "--blocks N" sets the paced write's length (default 128: about 5 s).
  int blocks = 128;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--blocks") blocks = std::max(1, std::atoi(argv[i + 1]));
  }

  const auto dir = std::filesystem::temp_directory_path() / ("tarvel-bench-latency-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  g_strStartDir = dir.string();
  const std::string file = (dir / "bench.sfl").string();
  {
    std::ofstream out(file, std::ios::binary);
    out << SflHeader("BENCH RADIO", "1.00");
    for (int b = 0; b < blocks; ++b) {
      BlockData data{};
      for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(b * 7 + i * 13);
      out << SflRecordLine(static_cast<std::uint16_t>(b), data);
    }
  }

  std::printf("bench/window-latency: the longest time between two turns of the window during WRITE "
              "(target 100 ms, goal 20 ms)\n");
  sim::Options silent;
  silent.linkPath.clear();
  silent.baud = 38400;
  silent.faults.silent = true;
  QString lastBox;
  const Figures quiet = RunWrite(dir, silent, file, lastBox);
  Print("silent radio, QAP-8", quiet, lastBox);

  sim::Options paced;
  paced.linkPath.clear();
  paced.baud = 38400;
  const Figures writing = RunWrite(dir, paced, file, lastBox);
  Print(("paced write, " + std::to_string(blocks) + " blocks").c_str(), writing, lastBox);

  const Figures station = RunStationRound(dir, 8, lastBox);
  Print(("station, 8 beds, " + std::to_string(blocks) + " blocks").c_str(), station, lastBox);

  std::filesystem::remove_all(dir);
  const double worst = std::max({quiet.longestGapMs, writing.longestGapMs, station.longestGapMs});
  std::printf("worst gap %.2f ms: %s\n", worst, worst <= 20 ? "within the goal" : worst <= 100 ? "within the target" : "OVER the target");
  return 0;
}
