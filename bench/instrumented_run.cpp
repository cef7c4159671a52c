#include "instrumented_run.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <type_traits>

#include "clock.h"
#include "device/rapi_device_link.h"
#include "entry/run.h"
#include "hostplatform/win32_host_platform.h"
#include "runlog/run_log.h"

namespace qel::bench {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide strings are UTF-16");

namespace {

// Calls call and adds the seconds it took to total.
template <typename Call>
auto Timed(double& total, Call&& call) {
  const Stopwatch clock;
  if constexpr (std::is_void_v<decltype(call())>) {
    call();
    total += clock.Seconds();
  } else {
    auto result = call();
    total += clock.Seconds();
    return result;
  }
}

// The stage a log line marks and whether it is its start, from the line's
// "<========== NAME START ==========>" or "... END ...".
struct Marker {
  std::u16string stage;
  bool start = false;
};

std::optional<Marker> ReadMarker(std::string_view line) {
  constexpr std::string_view kOpen = "<========== ";
  const std::size_t open = line.find(kOpen);
  if (open == std::string_view::npos) return std::nullopt;
  const std::string_view rest = line.substr(open + kOpen.size());
  const std::size_t blank = rest.find(' ');
  if (blank == std::string_view::npos) return std::nullopt;
  const std::string_view word = rest.substr(blank + 1);
  if (!word.starts_with("START") && !word.starts_with("END")) return std::nullopt;
  return Marker{std::u16string(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(blank)),
                word.starts_with("START")};
}

class TimedHost : public HostPlatform {
 public:
  TimedHost(const std::u16string& libraryPath, RunBreakdown& out) : libraryPath_(libraryPath), out_(out) {}

  // The path of the library's copy in place of this program's, at the cost
  // of the real lookup.
  std::size_t GetModuleFileNameW(char16_t* buffer, std::size_t capacity) override {
    Timed(Of(Part::kModulePath), [&] { return host_.GetModuleFileNameW(buffer, capacity); });
    if (libraryPath_.size() >= capacity) return 0;
    libraryPath_.copy(buffer, libraryPath_.size());
    buffer[libraryPath_.size()] = u'\0';
    return libraryPath_.size();
  }
  LocalTime GetLocalTime() override {
    return Timed(Of(Part::kLog), [&] { return host_.GetLocalTime(); });
  }
  // A bench run shows no box: a notice is counted and taken as closed.
  void MessageBoxW(const char16_t*, const char16_t*, std::uint32_t) override { ++out_.notices; }
  std::uint32_t GetPrivateProfileStringW(const char16_t* section, const char16_t* key, char16_t* buffer,
                                         std::uint32_t size, const char16_t* path) override {
    return Timed(Of(Part::kSettings),
                 [&] { return host_.GetPrivateProfileStringW(section, key, buffer, size, path); });
  }
  // The clean-up lists the library's folder with "*.*"; any other listing
  // is the search for the update file.
  Handle FindFirstFileW(const char16_t* pattern, HostFindData& data) override {
    listing_ = std::u16string_view(pattern).ends_with(u"*.*") ? Part::kCleanupListing : Part::kSearch;
    return Timed(Of(listing_), [&] { return host_.FindFirstFileW(pattern, data); });
  }
  bool FindNextFileW(Handle search, HostFindData& data) override {
    return Timed(Of(listing_), [&] { return host_.FindNextFileW(search, data); });
  }
  bool FindClose(Handle search) override {
    return Timed(Of(listing_), [&] { return host_.FindClose(search); });
  }
  std::uint32_t GetLastError() override {
    return Timed(Of(listing_), [&] { return host_.GetLastError(); });
  }
  bool DeleteFileW(const char16_t* path) override {
    return Timed(Of(Part::kDeletion), [&] { return host_.DeleteFileW(path); });
  }
  Handle CreateFileW(const char16_t* path, std::uint32_t access, std::uint32_t share,
                     std::uint32_t creation) override {
    return Timed(Of(Part::kTransfer), [&] { return host_.CreateFileW(path, access, share, creation); });
  }
  bool ReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t* read) override {
    return Timed(Of(Part::kTransfer), [&] { return host_.ReadFile(file, buffer, size, read); });
  }
  bool CloseHandle(Handle handle) override {
    return Timed(Of(Part::kTransfer), [&] { return host_.CloseHandle(handle); });
  }
  std::uint32_t WaitForSingleObject(Handle event, std::uint32_t milliseconds) override {
    return Timed(Of(Part::kConnection), [&] { return host_.WaitForSingleObject(event, milliseconds); });
  }
  EnvironmentValue GetEnvironmentVariableW(const char16_t* name, char16_t* buffer, std::size_t capacity) override {
    return Timed(Of(Part::kSettings), [&] { return host_.GetEnvironmentVariableW(name, buffer, capacity); });
  }
  // Each append is one log line; stage markers also time their stage.
  bool AppendToFile(const char16_t* path, const char* bytes, std::size_t count) override {
    const std::optional<Marker> marker = ReadMarker(std::string_view(bytes, count));
    if (marker && marker->start) stageStarts_[marker->stage] = Stopwatch();
    const bool ok = Timed(Of(Part::kLog), [&] { return host_.AppendToFile(path, bytes, count); });
    ++out_.logLines;
    if (marker && !marker->start) {
      const auto start = stageStarts_.find(marker->stage);
      if (start != stageStarts_.end()) out_.stages[marker->stage] += start->second.Seconds();
    }
    return ok;
  }

 private:
  double& Of(Part part) { return out_.parts[static_cast<std::size_t>(part)]; }

  Win32HostPlatform host_;
  std::u16string libraryPath_;
  RunBreakdown& out_;
  Part listing_ = Part::kSearch;
  std::map<std::u16string, Stopwatch> stageStarts_;
};

class TimedDevice : public DeviceLink {
 public:
  TimedDevice(DeviceLink& device, RunBreakdown& out) : device_(device), out_(out) {}

  HResult CeRapiInitEx(Handle& event) override {
    return Timed(Of(Part::kConnection), [&] { return device_.CeRapiInitEx(event); });
  }
  HResult CeRapiInitResult() override {
    return Timed(Of(Part::kConnection), [&] { return device_.CeRapiInitResult(); });
  }
  HResult CeRapiUninit() override {
    return Timed(Of(Part::kConnection), [&] { return device_.CeRapiUninit(); });
  }
  Handle CeFindFirstFile(const char16_t* path, DeviceFindData& data) override {
    return Timed(Of(Part::kDeviceFolder), [&] { return device_.CeFindFirstFile(path, data); });
  }
  bool CeFindClose(Handle search) override {
    return Timed(Of(Part::kDeviceFolder), [&] { return device_.CeFindClose(search); });
  }
  bool CeCreateDirectory(const char16_t* path) override {
    return Timed(Of(Part::kDeviceFolder), [&] { return device_.CeCreateDirectory(path); });
  }
  Handle CeCreateFile(const char16_t* path, std::uint32_t access, std::uint32_t share, std::uint32_t creation,
                      std::uint32_t flagsAndAttributes) override {
    return Timed(Of(Part::kTransfer),
                 [&] { return device_.CeCreateFile(path, access, share, creation, flagsAndAttributes); });
  }
  bool CeWriteFile(Handle file, const void* buffer, std::uint32_t count, std::uint32_t* written) override {
    return Timed(Of(Part::kTransfer), [&] { return device_.CeWriteFile(file, buffer, count, written); });
  }
  bool CeCloseHandle(Handle handle) override {
    return Timed(Of(Part::kTransfer), [&] { return device_.CeCloseHandle(handle); });
  }
  bool CeDeleteFile(const char16_t* path) override {
    return Timed(Of(Part::kTransfer), [&] { return device_.CeDeleteFile(path); });
  }
  bool CeCreateProcess(const char16_t* program, const char16_t* commandLine) override {
    return Timed(Of(Part::kDeviceProgram), [&] { return device_.CeCreateProcess(program, commandLine); });
  }

 private:
  double& Of(Part part) { return out_.parts[static_cast<std::size_t>(part)]; }

  DeviceLink& device_;
  RunBreakdown& out_;
};

struct FreeLibraryOnExit {
  void operator()(HMODULE library) const { FreeLibrary(library); }
};
using LoadedLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeLibraryOnExit>;

}  // namespace

RunBreakdown InstrumentedRun(const Layout& layout) {
  RunBreakdown out;
  const std::wstring dll = layout.Dll().wstring();
  // Loaded, as a host loads it, so that the clean-up finds the library file
  // in use just as in a real run.
  LoadedLibrary library(Timed(out.load, [&] { return LoadLibraryW(dll.c_str()); }));
  if (!library) throw std::runtime_error("cannot load " + layout.Dll().string());
  {
    std::optional<RapiDeviceLink> link;
    Timed(out.binding, [&] { link.emplace(); });
    TimedHost host(std::u16string(reinterpret_cast<const char16_t*>(dll.c_str()), dll.size()), out);
    TimedDevice device(*link, out);
    out.result = Timed(out.run, [&] { return QelRunUpdate(host, device); });
    Timed(out.binding, [&] { link.reset(); });
  }
  Timed(out.load, [&] { library.reset(); });
  return out;
}

double LogLineSeconds(const Layout& layout, unsigned lines) {
  const std::wstring folder = (layout.pc / L"").wstring();
  if (folder.size() >= kMaxPath) throw std::runtime_error("the library's folder is too long");
  std::fill_n(ModuleDir, kMaxPath, u'\0');
  folder.copy(reinterpret_cast<wchar_t*>(ModuleDir), folder.size());
  Win32HostPlatform host;
  const Stopwatch clock;
  for (unsigned i = 0; i < lines; ++i) QelWriteLog(host, u"<========== QelTransUpdateFile START ==========>");
  return clock.Seconds() / lines;
}

}  // namespace qel::bench
