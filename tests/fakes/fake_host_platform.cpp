#include "fakes/fake_host_platform.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "common/wide_text.h"

namespace qel::fakes {

namespace {

std::u16string_view ParentOf(std::u16string_view key) {
  const auto slash = key.find_last_of(u'\\');
  return slash == std::u16string_view::npos ? std::u16string_view{} : key.substr(0, slash);
}

std::u16string_view NameOf(std::u16string_view path) {
  const auto slash = path.find_last_of(u'\\');
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

// Wildcard match without regard to letter case; "*.*" matches every name.
bool Matches(std::u16string_view mask, std::u16string_view name) {
  if (mask == u"*.*") mask = u"*";
  const std::u16string m = FoldCase(mask), n = FoldCase(name);
  std::size_t mi = 0, ni = 0, star = std::u16string::npos, mark = 0;
  while (ni < n.size()) {
    if (mi < m.size() && (m[mi] == u'?' || m[mi] == n[ni])) {
      ++mi, ++ni;
    } else if (mi < m.size() && m[mi] == u'*') {
      star = mi++, mark = ni;
    } else if (star != std::u16string::npos) {
      mi = star + 1, ni = ++mark;
    } else {
      return false;
    }
  }
  while (mi < m.size() && m[mi] == u'*') ++mi;
  return mi == m.size();
}

HostFindData Entry(std::u16string_view name, std::uint32_t attributes) {
  HostFindData data;
  data.attributes = attributes;
  const std::size_t n = std::min(name.size(), kMaxPath - 1);
  std::copy_n(name.begin(), n, data.name);
  return data;
}

std::u16string FromUtf8(std::string_view bytes) {
  std::u16string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    char32_t cp = b;
    int extra = 0;
    if (b >= 0xF0) cp = b & 0x07, extra = 3;
    else if (b >= 0xE0) cp = b & 0x0F, extra = 2;
    else if (b >= 0xC0) cp = b & 0x1F, extra = 1;
    ++i;
    for (; extra > 0 && i < bytes.size(); --extra, ++i) {
      cp = (cp << 6) | (static_cast<unsigned char>(bytes[i]) & 0x3F);
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::u16string Trim(std::u16string_view text) {
  const auto first = text.find_first_not_of(u" \t\r");
  if (first == std::u16string_view::npos) return {};
  const auto last = text.find_last_not_of(u" \t\r");
  return std::u16string(text.substr(first, last - first + 1));
}

// The value of key in section of an INI text, if present.
std::optional<std::u16string> IniValue(const std::u16string& text, std::u16string_view section,
                                       std::u16string_view key) {
  bool inSection = false;
  std::size_t start = 0;
  while (start <= text.size()) {
    auto end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    const std::u16string line = Trim(std::u16string_view(text).substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == u';') continue;
    if (line.front() == u'[' && line.back() == u']') {
      inSection = FoldCase(line.substr(1, line.size() - 2)) == FoldCase(section);
      continue;
    }
    const auto equals = line.find(u'=');
    if (inSection && equals != std::u16string::npos &&
        FoldCase(Trim(line.substr(0, equals))) == FoldCase(key)) {
      return Trim(line.substr(equals + 1));
    }
  }
  return std::nullopt;
}

}  // namespace

std::u16string FakeHostPlatform::Key(std::u16string_view path) {
  std::u16string key;
  for (char16_t c : FoldCase(path)) {
    if (c == u'\\' && !key.empty() && key.back() == u'\\') continue;
    key += c;
  }
  while (key.size() > 1 && key.back() == u'\\') key.pop_back();
  return key;
}

const FakeHostPlatform::Node* FakeHostPlatform::Find(std::u16string_view path) const {
  const std::u16string key = Key(path);
  for (const auto& node : nodes_) {
    if (Key(node.path) == key) return &node;
  }
  return nullptr;
}

void FakeHostPlatform::AddFolder(std::u16string_view path) {
  if (Find(path) == nullptr) nodes_.push_back({std::u16string(path), true, kFileAttributeDirectory, {}});
}

void FakeHostPlatform::AddFile(std::u16string_view path, std::string content, std::uint32_t attributes) {
  const std::u16string key = Key(path);
  std::erase_if(nodes_, [&](const Node& n) { return Key(n.path) == key; });
  nodes_.push_back({std::u16string(path), false, attributes, std::move(content)});
}

bool FakeHostPlatform::Exists(std::u16string_view path) const { return Find(path) != nullptr; }

std::string FakeHostPlatform::Content(std::u16string_view path) const {
  const Node* node = Find(path);
  return node == nullptr ? std::string{} : node->content;
}

std::vector<std::u16string> FakeHostPlatform::List(std::u16string_view folder) const {
  std::vector<std::u16string> names;
  const std::u16string key = Key(folder);
  for (const auto& node : nodes_) {
    if (ParentOf(Key(node.path)) == key) names.emplace_back(NameOf(node.path));
  }
  return names;
}

std::vector<std::string> FakeHostPlatform::Lines(std::u16string_view path) const {
  std::vector<std::string> lines;
  const std::string text = Content(path);
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::size_t FakeHostPlatform::GetModuleFileNameW(char16_t* buffer, std::size_t capacity) {
  journal_.Add("GetModuleFileNameW");
  buffer[0] = u'\0';
  if (modulePath.empty() || modulePath.size() + 1 > capacity) return 0;
  std::copy(modulePath.begin(), modulePath.end(), buffer);
  buffer[modulePath.size()] = u'\0';
  return modulePath.size();
}

LocalTime FakeHostPlatform::GetLocalTime() { return clock; }

void FakeHostPlatform::MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t style) {
  journal_.Add("MessageBoxW " + Narrow(text));
  notices.push_back({text, caption, style});
}

std::uint32_t FakeHostPlatform::GetPrivateProfileStringW(const char16_t* section, const char16_t* key,
                                                         char16_t* buffer, std::uint32_t size,
                                                         const char16_t* path) {
  journal_.Add("GetPrivateProfileStringW " + Narrow(section) + " " + Narrow(key) + " " + Narrow(path));
  buffer[0] = u'\0';
  const Node* file = Find(path);
  if (file == nullptr || file->folder || size == 0) return 0;
  const auto value = IniValue(FromUtf8(file->content), section, key);
  if (!value) return 0;
  const std::size_t n = std::min<std::size_t>(value->size(), size - 1);
  std::copy_n(value->begin(), n, buffer);
  buffer[n] = u'\0';
  // Like the real reader, a NUL in the file ends the value.
  return static_cast<std::uint32_t>(WideLength(buffer));
}

Handle FakeHostPlatform::FindFirstFileW(const char16_t* pattern, HostFindData& data) {
  journal_.Add("FindFirstFileW " + Narrow(pattern));
  if (listingError) {
    lastError_ = *listingError;
    return kInvalidHandle;
  }
  const std::u16string_view full(pattern);
  const auto slash = full.find_last_of(u'\\');
  const std::u16string_view folder = slash == std::u16string_view::npos ? u"" : full.substr(0, slash);
  const std::u16string_view mask = slash == std::u16string_view::npos ? full : full.substr(slash + 1);
  const Node* folderNode = Find(folder);
  if (folderNode == nullptr || !folderNode->folder) {
    lastError_ = kErrorPathNotFound;
    return kInvalidHandle;
  }
  Search search;
  for (const char16_t* dot : {u".", u".."}) {
    if (Matches(mask, dot)) search.entries.push_back(Entry(dot, kFileAttributeDirectory));
  }
  for (const auto& name : List(folder)) {
    if (Matches(mask, name)) {
      const Node* node = Find(std::u16string(folder) + u"\\" + name);
      search.entries.push_back(Entry(name, node->attributes));
    }
  }
  if (search.entries.empty()) {
    lastError_ = kErrorFileNotFound;
    return kInvalidHandle;
  }
  data = search.entries[0];
  search.next = 1;
  const Handle handle = nextHandle_++;
  searches_[handle] = std::move(search);
  return handle;
}

bool FakeHostPlatform::FindNextFileW(Handle search, HostFindData& data) {
  journal_.Add("FindNextFileW");
  ++nextFileCalls_;
  auto it = searches_.find(search);
  if (it == searches_.end()) return false;
  if (failNextFileAt && nextFileCalls_ == *failNextFileAt) {
    lastError_ = kErrorAccessDenied;
    return false;
  }
  if (it->second.next >= it->second.entries.size()) {
    lastError_ = kErrorNoMoreFiles;
    return false;
  }
  data = it->second.entries[it->second.next++];
  return true;
}

bool FakeHostPlatform::FindClose(Handle search) {
  journal_.Add("FindClose");
  return searches_.erase(search) == 1;
}

std::uint32_t FakeHostPlatform::GetLastError() { return lastError_; }

bool FakeHostPlatform::DeleteFileW(const char16_t* path) {
  journal_.Add("DeleteFileW " + Narrow(path));
  const std::u16string key = Key(path);
  for (const auto& refused : refuseDelete) {
    if (Key(refused) == key) return false;
  }
  const Node* node = Find(path);
  if (node == nullptr || node->folder) return false;
  std::erase_if(nodes_, [&](const Node& n) { return Key(n.path) == key; });
  return true;
}

Handle FakeHostPlatform::CreateFileW(const char16_t* path, std::uint32_t access, std::uint32_t share,
                                     std::uint32_t creation) {
  journal_.Add("CreateFileW " + Narrow(path) + " access=" + std::to_string(access) +
               " share=" + std::to_string(share) + " creation=" + std::to_string(creation));
  const Node* node = Find(path);
  const bool isLocked = std::any_of(locked.begin(), locked.end(),
                                    [&](const auto& p) { return Key(p) == Key(path); });
  if (node == nullptr || node->folder || isLocked) return kInvalidHandle;
  const Handle handle = nextHandle_++;
  files_[handle] = {Key(path), 0};
  return handle;
}

bool FakeHostPlatform::ReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t* read) {
  journal_.Add("ReadFile " + std::to_string(size));
  ++readCalls_;
  auto it = files_.find(file);
  if (it == files_.end() || (failReadAt && readCalls_ == *failReadAt)) return false;
  const Node* node = Find(it->second.key);
  const std::size_t left = node->content.size() - it->second.offset;
  const std::size_t n = std::min<std::size_t>(left, size);
  std::memcpy(buffer, node->content.data() + it->second.offset, n);
  it->second.offset += n;
  *read = static_cast<std::uint32_t>(n);
  return true;
}

bool FakeHostPlatform::CloseHandle(Handle handle) {
  journal_.Add("CloseHandle");
  return files_.erase(handle) == 1;
}

std::uint32_t FakeHostPlatform::WaitForSingleObject(Handle event, std::uint32_t milliseconds) {
  journal_.Add("WaitForSingleObject " + std::to_string(event) + " " + std::to_string(milliseconds));
  return waitResult;
}

EnvironmentValue FakeHostPlatform::GetEnvironmentVariableW(const char16_t* name, char16_t* buffer,
                                                           std::size_t capacity) {
  journal_.Add("GetEnvironmentVariableW " + Narrow(name));
  const auto it = environment.find(name);
  if (it == environment.end()) return {};
  if (it->second.size() + 1 <= capacity) {
    std::copy(it->second.begin(), it->second.end(), buffer);
    buffer[it->second.size()] = u'\0';
  }
  return {true, it->second.size()};
}

bool FakeHostPlatform::AppendToFile(const char16_t* path, const char* bytes, std::size_t count) {
  const std::string text(bytes, count);
  journal_.Add("AppendToFile " + text.substr(0, text.find("\r\n")));
  if (appendFails) return false;
  const std::u16string key = Key(path);
  auto node = std::find_if(nodes_.begin(), nodes_.end(), [&](const Node& n) { return Key(n.path) == key; });
  if (node == nodes_.end()) {
    nodes_.push_back({std::u16string(path), false, 0x20, {}});
    node = std::prev(nodes_.end());
  }
  if (node->folder) return false;
  node->content += text;
  return true;
}

}  // namespace qel::fakes
