#include "fakes/fake_device_link.h"

namespace qel::fakes {

std::u16string FakeDeviceLink::Key(std::u16string_view path) {
  std::u16string key;
  for (char16_t c : FoldCase(path)) {
    if (c == u'\\' && !key.empty() && key.back() == u'\\') continue;
    key += c;
  }
  while (key.size() > 1 && key.back() == u'\\') key.pop_back();
  if (key.empty() || key[0] != u'\\') key.insert(key.begin(), u'\\');
  return key;
}

bool FakeDeviceLink::Fails(const std::string& op) {
  const int call = ++calls_[op];
  const auto it = failAt.find(op);
  return it != failAt.end() && it->second == call;
}

const DeviceFile* FakeDeviceLink::File(std::u16string_view path) const {
  const auto it = files_.find(Key(path));
  return it == files_.end() ? nullptr : &it->second;
}

HResult FakeDeviceLink::CeRapiInitEx(Handle& event) {
  journal_.Add("CeRapiInitEx");
  ++connectionsBegun;
  if (initResult < 0) return initResult;
  event = initEvent;
  return initResult;
}

HResult FakeDeviceLink::CeRapiUninit() {
  journal_.Add("CeRapiUninit");
  ++connectionsEnded;
  return kSOk;
}

Handle FakeDeviceLink::CeFindFirstFile(const char16_t* path, DeviceFindData& data) {
  journal_.Add("CeFindFirstFile " + Narrow(path));
  if (Fails("CeFindFirstFile")) return kInvalidHandle;
  const std::u16string key = Key(path);
  if (folders_.count(key) == 1) {
    data.attributes = kFileAttributeDirectory;
  } else if (const auto it = files_.find(key); it != files_.end()) {
    data.attributes = it->second.attributes;
    data.size = it->second.content.size();
  } else {
    return kInvalidHandle;
  }
  const Handle handle = nextHandle_++;
  searches_.insert(handle);
  return handle;
}

bool FakeDeviceLink::CeFindClose(Handle search) {
  journal_.Add("CeFindClose");
  return searches_.erase(search) == 1;
}

bool FakeDeviceLink::CeCreateDirectory(const char16_t* path) {
  journal_.Add("CeCreateDirectory " + Narrow(path));
  if (Fails("CeCreateDirectory")) return false;
  const std::u16string key = Key(path);
  const std::u16string parent = key.substr(0, std::max<std::size_t>(key.find_last_of(u'\\'), 1));
  if (key == u"\\" || folders_.count(key) == 1 || files_.count(key) == 1 || folders_.count(parent) == 0) {
    return false;
  }
  folders_.insert(key);
  return true;
}

Handle FakeDeviceLink::CeCreateFile(const char16_t* path, std::uint32_t access, std::uint32_t share,
                                    std::uint32_t creation, std::uint32_t flagsAndAttributes) {
  journal_.Add("CeCreateFile " + Narrow(path) + " access=" + std::to_string(access) +
               " share=" + std::to_string(share) + " creation=" + std::to_string(creation) +
               " attributes=" + std::to_string(flagsAndAttributes));
  if (Fails("CeCreateFile")) return kInvalidHandle;
  const std::u16string key = Key(path);
  const std::u16string parent = key.substr(0, std::max<std::size_t>(key.find_last_of(u'\\'), 1));
  if (folders_.count(key) == 1 || folders_.count(parent) == 0) return kInvalidHandle;
  files_[key] = {{}, flagsAndAttributes};
  const Handle handle = nextHandle_++;
  openFiles_[handle] = key;
  return handle;
}

bool FakeDeviceLink::CeWriteFile(Handle file, const void* buffer, std::uint32_t count,
                                 std::uint32_t* written) {
  journal_.Add("CeWriteFile " + std::to_string(count));
  const int call = calls_["CeWriteFile"] + 1;
  if (Fails("CeWriteFile")) return false;
  const auto it = openFiles_.find(file);
  if (it == openFiles_.end()) return false;
  const std::uint32_t n = (call == shortWriteAt && count > 0) ? count - 1 : count;
  files_[it->second].content.append(static_cast<const char*>(buffer), n);
  *written = n;
  return true;
}

bool FakeDeviceLink::CeCloseHandle(Handle handle) {
  journal_.Add("CeCloseHandle");
  return openFiles_.erase(handle) == 1;
}

bool FakeDeviceLink::CeDeleteFile(const char16_t* path) {
  journal_.Add("CeDeleteFile " + Narrow(path));
  if (Fails("CeDeleteFile")) return false;
  return files_.erase(Key(path)) == 1;
}

bool FakeDeviceLink::CeCreateProcess(const char16_t* program, const char16_t* commandLine) {
  journal_.Add("CeCreateProcess " + Narrow(program) + " | " + Narrow(commandLine));
  if (Fails("CeCreateProcess")) return false;
  startedProgram = program;
  startedCommandLine = commandLine;
  return true;
}

}  // namespace qel::fakes
