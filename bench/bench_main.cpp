// qel_bench: how fast an update run moves the update file and what the rest
// of the run costs, measured inside this one process: it lays a run out under
// a work folder, calls qelmoset.dll's QelDllEntry as a host does (beside it
// RAPI.dll, the emulated handset), and measures the baselines in the same
// process. Prints Markdown tables of medians. Nothing here judges a figure:
// the goals are printed beside them.
#include <windows.h>

#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"
#include "copies.h"
#include "host_runner.h"
#include "instrumented_run.h"
#include "layout.h"
#include "memory.h"
#include "report.h"

namespace qel::bench {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

constexpr char kUsage[] =
    "usage: qel_bench [options] [work folder]\n"
    "  --repeat N          samples per figure, of which the median is printed (default 5)\n"
    "  --sizes A,B,...     update file sizes in bytes (default 1 MiB, 64 MiB, 1 GiB)\n"
    "  --cp BYTES=SECONDS  the time cp took to copy the update file of that size\n"
    "  --log-bytes N       size of the pre-grown log (default 200000000)\n"
    "  --cleanup-files A,B numbers of files for the clean-up growth (default 1000,10000)\n"
    "The work folder (default: bench-work beside the build's bin folder) holds\n"
    "src-<bytes>\\update.qel; missing update files are made.\n";

struct Options {
  fs::path work;
  int repeat = 5;
  std::vector<std::uint64_t> sizes{kMiB, 64 * kMiB, 1024 * kMiB};
  std::map<std::uint64_t, double> cpSeconds;
  std::uint64_t logBytes = 200'000'000;
  std::vector<std::uint64_t> cleanupFiles{1000, 10000};
};

fs::path ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

std::vector<std::uint64_t> NumberList(const std::wstring& text) {
  std::vector<std::uint64_t> numbers;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t comma = std::min(text.find(L',', start), text.size());
    numbers.push_back(std::stoull(text.substr(start, comma - start)));
    start = comma + 1;
  }
  return numbers;
}

std::optional<Options> Parse(int argc, wchar_t** argv) {
  Options options;
  options.work = ProgramFolder().parent_path() / "bench-work";
  for (int i = 1; i < argc; ++i) {
    const std::wstring argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument.starts_with(L"--") && !hasValue) return std::nullopt;
    if (argument == L"--repeat") {
      options.repeat = std::stoi(argv[++i]);
    } else if (argument == L"--sizes") {
      options.sizes = NumberList(argv[++i]);
    } else if (argument == L"--cp") {
      const std::wstring value = argv[++i];
      const std::size_t equals = value.find(L'=');
      if (equals == std::wstring::npos) return std::nullopt;
      options.cpSeconds[std::stoull(value.substr(0, equals))] = std::stod(value.substr(equals + 1));
    } else if (argument == L"--log-bytes") {
      options.logBytes = std::stoull(argv[++i]);
    } else if (argument == L"--cleanup-files") {
      options.cleanupFiles = NumberList(argv[++i]);
    } else if (argument.starts_with(L"-")) {
      return std::nullopt;
    } else {
      options.work = argument;
    }
  }
  if (options.repeat < 1) return std::nullopt;
  options.work = fs::absolute(options.work);
  return options;
}

void Print(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

void Row(const std::vector<std::string>& cells) {
  std::string line = "|";
  for (const std::string& cell : cells) line += " " + cell + " |";
  Print(line + "\n");
}

void Header(const std::vector<std::string>& cells) {
  Row(cells);
  Row(std::vector<std::string>(cells.size(), "---"));
}

// One call of QelDllEntry through the host runner, timed; it must succeed.
double WholeRun(const Layout& layout, std::uint64_t bytes) {
  layout.PrepareRun(bytes);
  const Stopwatch clock;
  const host::HostRunOutcome outcome = host::RunQelDllEntry(layout.Dll().wstring(), false);
  const double seconds = clock.Seconds();
  if (outcome.exitCode != 0) throw std::runtime_error("the run failed: result " + std::to_string(outcome.exitCode));
  return seconds;
}

RunBreakdown CheckedInstrumentedRun(const Layout& layout, std::uint64_t bytes) {
  layout.PrepareRun(bytes);
  RunBreakdown breakdown = InstrumentedRun(layout);
  if (breakdown.result != 0 || breakdown.notices != 0) throw std::runtime_error("the instrumented run failed");
  return breakdown;
}

double Seconds(const RunBreakdown& breakdown, Part part) { return breakdown.parts[static_cast<std::size_t>(part)]; }

double BoundaryCalls(const RunBreakdown& breakdown) {
  return std::accumulate(breakdown.parts.begin(), breakdown.parts.end(), 0.0);
}

double WholeInstrumentedRun(const RunBreakdown& r) { return r.load + r.binding + r.run; }

template <typename Value>
double MedianOf(const std::vector<RunBreakdown>& runs, Value value) {
  std::vector<double> samples;
  for (const RunBreakdown& run : runs) samples.push_back(value(run));
  return Median(samples);
}

// --- 1 and 2: throughput and peak memory --------------------------------------------

struct TransferSamples {
  std::vector<double> win32, link, run;
  std::vector<double> workingSetBefore;
  double peak = 0;    // highest peak working set at the end of a run
  double growth = 0;  // highest rise of the peak over the working set before the run
  bool peakReset = true;
};

// The three ways of copying take turns at going first, so that no way is
// always the one that follows another's gigabyte of writes.
TransferSamples MeasureTransfer(const Layout& layout, std::uint64_t bytes, int repeat) {
  TransferSamples samples;
  const fs::path update = layout.UpdateFile(bytes);
  const fs::path win32Copy = layout.copy / "update.qel";
  const auto win32 = [&] {
    samples.win32.push_back(Win32ChunkedCopy(update, win32Copy));
    fs::remove(win32Copy);
  };
  const auto link = [&] {
    samples.link.push_back(LinkCopy(update, Layout::DeviceCopyPath()));
    fs::remove(layout.DeviceCopy());
  };
  const auto run = [&] {
    samples.peakReset = ResetPeakWorkingSet() && samples.peakReset;
    const auto before = static_cast<double>(ReadMemory().workingSet);
    samples.run.push_back(WholeRun(layout, bytes));
    const auto peak = static_cast<double>(ReadMemory().peakWorkingSet);
    samples.workingSetBefore.push_back(before);
    samples.peak = std::max(samples.peak, peak);
    samples.growth = std::max(samples.growth, peak - before);
    fs::remove(layout.DeviceCopy());
  };
  const std::function<void()> ways[] = {win32, link, run};
  for (int i = 0; i < repeat; ++i) {
    for (int k = 0; k < 3; ++k) ways[(i + k) % 3]();
  }
  return samples;
}

// The run's time beyond that of RAPI.dll alone, as a share of the latter,
// from the two samples of each repetition.
double BeyondLink(const TransferSamples& samples) {
  std::vector<double> shares;
  for (std::size_t i = 0; i < samples.run.size(); ++i) shares.push_back(samples.run[i] / samples.link[i] - 1);
  return Median(shares);
}

std::string TimeAndRate(std::uint64_t bytes, double seconds) {
  return TimeText(seconds) + " (" + RateText(bytes, seconds) + ")";
}

// Where a chunk's time goes when the figures above fall short: each way of
// copying per 16 KiB chunk of the largest file, and the cost of the one
// system call that the emulated handset adds to each of its calls.
void ReportChunkCosts(std::uint64_t bytes, const TransferSamples& samples) {
  const double chunks = static_cast<double>((bytes + kChunkBytes - 1) / kChunkBytes);
  const double win32 = Median(samples.win32) / chunks, link = Median(samples.link) / chunks;
  Print("\nPer 16 KiB chunk of the " + SizeText(bytes) + " file: Win32 copy " + TimeText(win32) +
        ", RAPI.dll alone " + TimeText(link) + ", run " + TimeText(Median(samples.run) / chunks) +
        ". A zero-timeout wait on a signalled event, which the emulated handset makes in every call\n"
        "to see that its link is up, costs " + TimeText(ZeroTimeoutWait()) + " here.\n");
}

// Returns the median time of RAPI.dll alone for each size.
std::map<std::uint64_t, double> ReportTransfer(const Layout& layout, const Options& options) {
  std::map<std::uint64_t, TransferSamples> all;
  std::map<std::uint64_t, double> linkSeconds;
  Print("\n### 1. Transfer throughput (time, and MiB/s)\n\n");
  Header({"update file", "cp", "Win32 16 KiB copy", "RAPI.dll alone", "run", "run/cp", "run/Win32 copy",
          "run beyond RAPI.dll"});
  for (const std::uint64_t bytes : options.sizes) {
    const TransferSamples& samples = all[bytes] = MeasureTransfer(layout, bytes, options.repeat);
    const double win32 = Median(samples.win32), link = Median(samples.link), run = Median(samples.run);
    linkSeconds[bytes] = link;
    const auto cp = options.cpSeconds.find(bytes);
    const bool hasCp = cp != options.cpSeconds.end();
    Row({SizeText(bytes), hasCp ? TimeAndRate(bytes, cp->second) : "-", TimeAndRate(bytes, win32),
         TimeAndRate(bytes, link), TimeAndRate(bytes, run), hasCp ? RatioText(cp->second / run) : "-",
         RatioText(win32 / run), PercentText(BeyondLink(samples))});
  }
  Print("\nGoals: run/Win32 copy at least 0.90; the run's time beyond RAPI.dll alone (bind, connect, copy\n"
        "through CeWriteFile, end) below 1 % of it (median over the repetitions of run/RAPI.dll alone - 1).\n");
  ReportChunkCosts(all.rbegin()->first, all.rbegin()->second);

  Print("\n### 2. Memory of the host process around a run (GetProcessMemoryInfo)\n\n");
  Header({"update file", "working set before the run", "peak working set during the run", "peak - before"});
  for (const auto& [bytes, samples] : all) {
    Row({SizeText(bytes), MemoryText(Median(samples.workingSetBefore)), MemoryText(samples.peak),
         MemoryText(samples.growth)});
  }
  const TransferSamples &smallest = all.begin()->second, &largest = all.rbegin()->second;
  Print("\nRise during the " + SizeText(all.rbegin()->first) + " run minus rise during the " +
        SizeText(all.begin()->first) + " run: " + MemoryText(largest.growth - smallest.growth) +
        " (goal: within 1 MiB). " +
        (smallest.peakReset && largest.peakReset
             ? "The peak was set back to the working set before each run (clear_refs)."
             : "The peak could not be set back: figures are the process's peak so far.") +
        "\n");
  return linkSeconds;
}

// --- 3: the run without the transfer -----------------------------------------------

void ReportEmptyRun(const Layout& layout, const Options& options, const std::map<std::uint64_t, double>& linkSeconds) {
  std::vector<double> whole;
  std::vector<RunBreakdown> runs;
  for (int i = 0; i < options.repeat; ++i) {
    whole.push_back(WholeRun(layout, 0));
    runs.push_back(CheckedInstrumentedRun(layout, 0));
  }
  const double total = MedianOf(runs, WholeInstrumentedRun);
  Print("\n### 3. A successful run with an empty update file\n\n");
  Header({"part of the run", "time", "share", "how it is measured"});
  const auto row = [&](const std::string& name, double seconds, const std::string& method) {
    Row({name, TimeText(seconds), PercentText(seconds / total), method});
  };
  const auto part = [&](Part p) { return MedianOf(runs, [p](const RunBreakdown& r) { return Seconds(r, p); }); };
  row("load and free qelmoset.dll", MedianOf(runs, [](const RunBreakdown& r) { return r.load; }),
      "LoadLibraryW and FreeLibrary of the library's copy, timed");
  row("bind and free RAPI.dll", MedianOf(runs, [](const RunBreakdown& r) { return r.binding; }),
      "the remote API binding made and dropped, timed");
  row("connection", part(Part::kConnection), "CeRapiInitEx, the wait, its result and CeRapiUninit, each call timed");
  row("log writes (" + std::to_string(runs.front().logLines) + " lines)", part(Part::kLog),
      "GetLocalTime and each open-append-close of the log, timed");
  row("settings", part(Part::kSettings), "GetPrivateProfileStringW and the environment lookups, timed");
  row("listing: update file search", part(Part::kSearch),
      "FindFirstFileW, FindNextFileW, FindClose on the source folder");
  row("listing: device folder", part(Part::kDeviceFolder), "CeFindFirstFile, CeFindClose (CeCreateDirectory)");
  row("transfer of the empty file", part(Part::kTransfer), "CreateFileW, CeCreateFile, ReadFile, the closes");
  row("device program start", part(Part::kDeviceProgram), "CeCreateProcess");
  row("clean-up", part(Part::kCleanupListing) + part(Part::kDeletion),
      "listing of the library's folder and DeleteFileW (its log lines are under log writes)");
  row("library's own code", MedianOf(runs, [](const RunBreakdown& r) { return r.run - BoundaryCalls(r); }),
      "the run's time less every boundary call (some of the timing's own counter reads fall here)");
  row("sum: instrumented run", total, "the run sequence built into the bench, every boundary call timed");
  row("whole run of qelmoset.dll", Median(whole), "RunQelDllEntry: load, QelDllEntry, free");

  // What a run costs beyond the work that RAPI.dll alone does for a copy.
  const double beyond = Median(whole) - MedianOf(runs, [](const RunBreakdown& r) { return r.binding; }) -
                        part(Part::kConnection) - part(Part::kTransfer);
  std::string shares;
  for (const auto& [bytes, seconds] : linkSeconds) {
    shares += (shares.empty() ? "" : ", ") + PercentText(beyond / seconds) + " for " + SizeText(bytes);
  }
  Print("\nBeyond the work of RAPI.dll alone (binding, connection, the transfer's calls) a run costs " +
        TimeText(beyond) + "\n(the whole run less those three); against RAPI.dll alone that is " + shares + ".\n");
}

// --- 4: growth --------------------------------------------------------------------

double PerLogLine(const RunBreakdown& r) { return Seconds(r, Part::kLog) / r.logLines; }
double Cleanup(const RunBreakdown& r) { return r.stages.at(u"QelDelete"); }

// Each state of the log is sampled in turn with the other, the grown log
// being made once and kept aside in between, so that both see the same
// conditions: whole runs, and many short rounds of lines written in a row.
struct LogSamples {
  std::vector<RunBreakdown> runs;
  std::vector<double> lineSeconds;
};

constexpr unsigned kLinesPerRound = 100;
constexpr int kRoundsPerRun = 4;

std::pair<LogSamples, LogSamples> MeasureLogGrowth(const Layout& layout, int repeat, std::uint64_t logBytes) {
  const fs::path grown = layout.work / "grown.log";
  fs::remove(grown);
  GrowLog(grown, logBytes);
  std::pair<LogSamples, LogSamples> samples;
  const auto inTurn = [&](const std::function<void(LogSamples&)>& sample) {
    fs::remove(layout.Log());
    GrowLog(layout.Log(), 0);
    sample(samples.first);
    fs::rename(grown, layout.Log());
    sample(samples.second);
    fs::rename(layout.Log(), grown);
  };
  for (int i = 0; i < repeat; ++i) {
    inTurn([&](LogSamples& log) { log.runs.push_back(CheckedInstrumentedRun(layout, 0)); });
  }
  for (int i = 0; i < repeat * kRoundsPerRun; ++i) {
    inTurn([&](LogSamples& log) { log.lineSeconds.push_back(LogLineSeconds(layout, kLinesPerRound)); });
  }
  fs::remove(grown);
  fs::remove(layout.Log());
  return samples;
}

// Runs with each number of files more in the library's folder, the numbers
// taking turns within each repetition.
std::map<std::uint64_t, std::vector<RunBreakdown>> MeasureCleanup(const Layout& layout, int repeat,
                                                                  const std::vector<std::uint64_t>& counts) {
  std::map<std::uint64_t, std::vector<RunBreakdown>> runs;
  for (int i = 0; i < repeat; ++i) {
    for (const std::uint64_t files : counts) {
      fs::remove(layout.Log());
      MakeFiles(layout.pc, static_cast<unsigned>(files));
      runs[files].push_back(CheckedInstrumentedRun(layout, 0));
    }
  }
  fs::remove(layout.Log());
  return runs;
}

void ReportGrowth(const Layout& layout, const Options& options) {
  Print("\n### 4. Growth\n\n");
  Header({"case", "whole run", "measured", "ratio"});
  const auto [emptyLog, grownLog] = MeasureLogGrowth(layout, options.repeat, options.logBytes);
  const double emptyLine = MedianOf(emptyLog.runs, PerLogLine), grownLine = MedianOf(grownLog.runs, PerLogLine);
  const double emptyRow = Median(emptyLog.lineSeconds), grownRow = Median(grownLog.lineSeconds);
  const std::string inARow = " per line in a run; in rounds of " + std::to_string(kLinesPerRound) + " lines: ";
  Row({"log of 0 bytes", TimeText(MedianOf(emptyLog.runs, WholeInstrumentedRun)),
       TimeText(emptyLine) + inARow + TimeText(emptyRow), ""});
  Row({"log of " + SizeText(options.logBytes), TimeText(MedianOf(grownLog.runs, WholeInstrumentedRun)),
       TimeText(grownLine) + inARow + TimeText(grownRow),
       RatioText(grownLine / emptyLine) + "; " + RatioText(grownRow / emptyRow) + " (goal: 1)"});

  std::vector<std::uint64_t> counts{0};
  counts.insert(counts.end(), options.cleanupFiles.begin(), options.cleanupFiles.end());
  const auto runs = MeasureCleanup(layout, options.repeat, counts);
  const double noFiles = MedianOf(runs.at(0), Cleanup);
  std::optional<std::pair<std::uint64_t, double>> previous;
  for (const std::uint64_t files : counts) {
    const double cleanup = MedianOf(runs.at(files), Cleanup);
    const auto perFile = [&](double seconds) { return TimeText(seconds / static_cast<double>(files)); };
    const auto partPerFile = [&](Part p) {
      return perFile(MedianOf(runs.at(files), [p](const RunBreakdown& r) { return Seconds(r, p); }));
    };
    const std::string perFileText =
        files == 0 ? ""
                   : ", " + perFile(cleanup - noFiles) + " per file (listing " + partPerFile(Part::kCleanupListing) +
                         ", deletion " + partPerFile(Part::kDeletion) + ", log line " + partPerFile(Part::kLog) + ")";
    Row({"clean-up, " + (files == 0 ? std::string("no") : std::to_string(files)) + " more files",
         TimeText(MedianOf(runs.at(files), WholeInstrumentedRun)), TimeText(cleanup) + " clean-up" + perFileText,
         previous && previous->first > 0
             ? RatioText(cleanup / previous->second) + " for " +
                   RatioText(static_cast<double>(files) / static_cast<double>(previous->first)) + " times the files"
             : ""});
    previous = {files, cleanup};
  }
  Print("\nGoals: the same cost per log line whatever the log's size; clean-up time in proportion to the files.\n"
        "Per line in a run: the log's GetLocalTime and open-append-close calls over the run's lines. In rounds:\n"
        "the library's log writer on the real host, " + std::to_string(options.repeat * kRoundsPerRun) +
        " rounds for each log.\nClean-up: from its START line to its END line, its \"Delete Succeed\" lines "
        "included; per file: the\nmedian of each kind of call over the files.\n");
}

int Main(const Options& options) {
  const Layout layout(options.work, ProgramFolder() / "qelmoset.dll");
  std::vector<std::uint64_t> made;
  for (const std::uint64_t bytes : options.sizes) {
    if (layout.EnsureUpdateFile(bytes)) made.push_back(bytes);
  }
  if (layout.EnsureUpdateFile(0)) made.push_back(0);

  // Once through every path before anything counts: the first pass loads,
  // relocates and (under emulation) translates code that later passes reuse.
  const std::uint64_t first = options.sizes.front();
  Win32ChunkedCopy(layout.UpdateFile(first), layout.copy / "update.qel");
  fs::remove(layout.copy / "update.qel");
  LinkCopy(layout.UpdateFile(first), Layout::DeviceCopyPath());
  WholeRun(layout, first);
  CheckedInstrumentedRun(layout, 0);
  fs::remove(layout.Log());

  Print(std::string("## ") + (sizeof(void*) == 4 ? "x86" : "x64") + " (bench host and qelmoset.dll for " +
        (sizeof(void*) == 4 ? "i686" : "x86_64") + "), medians of " + std::to_string(options.repeat) +
        " samples\n");
  const std::map<std::uint64_t, double> linkSeconds = ReportTransfer(layout, options);
  ReportEmptyRun(layout, options, linkSeconds);
  ReportGrowth(layout, options);

  for (const fs::path& folder : {layout.pc, layout.handset, layout.copy}) fs::remove_all(folder);
  for (const std::uint64_t bytes : made) fs::remove_all(layout.UpdateFile(bytes).parent_path());
  return 0;
}

}  // namespace
}  // namespace qel::bench

int wmain(int argc, wchar_t** argv) {
  try {
    const auto options = qel::bench::Parse(argc, argv);
    if (!options) {
      std::fputs(qel::bench::kUsage, stderr);
      return 2;
    }
    return qel::bench::Main(*options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qel_bench: %s\n", error.what());
    return 1;
  }
}
