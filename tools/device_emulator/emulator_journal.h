// Reader of the device emulator's journal, for test programs.
//
// The emulator (RAPI.dll of tools/device_emulator) appends one line per call
// of the remote API to the file named by QEL_EMU_JOURNAL, in call order:
// UTF-8, each line ended by CR LF, fields separated by tabs:
//
//   <operation> <argument>... = <result>
//
//   CeRapiInitEx       cbSize                                  = HRESULT
//   CeRapiUninit                                               = HRESULT
//   CeFindFirstFile    path                                    = handle
//   CeFindClose        handle                                  = 1|0
//   CeCreateDirectory  path                                    = 1|0
//   CeCreateFile       path access share creation flagsAndAttributes = handle
//   CeWriteFile        handle bytesAsked bytesWritten          = 1|0
//   CeCloseHandle      handle                                  = 1|0
//   CeDeleteFile       path                                    = 1|0
//   CeCreateProcess    program commandLine                     = 1|0
//
// Paths and the command line appear as the caller gave them ("(null)" for a
// null pointer); numbers are decimal; handles are "0x" and lower-case hex
// digits (INVALID_HANDLE_VALUE is all f: 8 of them on x86, 16 on x64);
// an HRESULT is "0x" and 8 lower-case hex digits. Example:
//
//   CeCreateFile	\Update\a.qel	1073741824	0	2	2	=	0x1a4
#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qel::emulator {

struct JournalRecord {
  std::string op;
  std::vector<std::string> args;
  std::string result;
};

class EmulatorJournal {
 public:
  // Reads the journal file; a missing file reads as an empty journal.
  explicit EmulatorJournal(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      records_.push_back(Parse(line));
    }
  }

  const std::vector<JournalRecord>& records() const { return records_; }

  std::size_t Count(const std::string& op) const {
    std::size_t count = 0;
    for (const auto& record : records_) count += record.op == op;
    return count;
  }

  // Connections begun (CeRapiInitEx succeeded) and ended (CeRapiUninit calls).
  std::size_t ConnectionsBegun() const {
    std::size_t count = 0;
    for (const auto& record : records_) count += record.op == "CeRapiInitEx" && Succeeded(record);
    return count;
  }
  std::size_t ConnectionsEnded() const { return Count("CeRapiUninit"); }

  // First argument (the path) of each call of op that succeeded, in order:
  // CeCreateDirectory gives the folders created, CeCreateFile the files
  // created, CeDeleteFile the files deleted, CeFindFirstFile the entries found.
  std::vector<std::string> Paths(const std::string& op) const {
    std::vector<std::string> paths;
    for (const auto& record : records_) {
      if (record.op == op && Succeeded(record) && !record.args.empty()) paths.push_back(record.args[0]);
    }
    return paths;
  }

  // Bytes written to the files that CeCreateFile opened with this path.
  std::size_t BytesWritten(const std::string& path) const {
    std::size_t bytes = 0;
    std::map<std::string, std::string> open;  // handle -> path
    for (const auto& record : records_) {
      if (!Succeeded(record)) continue;
      if (record.op == "CeCreateFile") open[record.result] = record.args[0];
      if (record.op == "CeCloseHandle") open.erase(record.args[0]);
      if (record.op == "CeWriteFile" && open[record.args[0]] == path) bytes += std::stoul(record.args[2]);
    }
    return bytes;
  }

  // Program and command line of each CeCreateProcess that succeeded.
  std::vector<std::pair<std::string, std::string>> Started() const {
    std::vector<std::pair<std::string, std::string>> started;
    for (const auto& record : records_) {
      if (record.op == "CeCreateProcess" && Succeeded(record)) started.emplace_back(record.args[0], record.args[1]);
    }
    return started;
  }

  // Whether every handle handed out by CeCreateFile was closed by
  // CeCloseHandle and every one of CeFindFirstFile by CeFindClose.
  bool AllHandlesClosed() const {
    std::set<std::string> files, searches;
    for (const auto& record : records_) {
      if (record.op == "CeCreateFile" && Succeeded(record)) files.insert(record.result);
      if (record.op == "CeFindFirstFile" && Succeeded(record)) searches.insert(record.result);
      if (record.op == "CeCloseHandle" && Succeeded(record)) files.erase(record.args[0]);
      if (record.op == "CeFindClose" && Succeeded(record)) searches.erase(record.args[0]);
    }
    return files.empty() && searches.empty();
  }

  // 1, a handle other than INVALID_HANDLE_VALUE, or an HRESULT without the
  // failure bit.
  static bool Succeeded(const JournalRecord& record) {
    const std::string& result = record.result;
    if (result == "1") return true;
    if (result == "0" || result.size() < 3) return false;
    if (record.op == "CeRapiInitEx" || record.op == "CeRapiUninit") return result[2] < '8';
    return result.find_first_not_of('f', 2) != std::string::npos;
  }

 private:
  static JournalRecord Parse(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    JournalRecord record;
    record.op = fields.front();
    // The result follows the "=" field, the last but one.
    const std::size_t equals = fields.size() >= 3 ? fields.size() - 2 : fields.size();
    record.args.assign(fields.begin() + 1, fields.begin() + static_cast<std::ptrdiff_t>(equals));
    if (equals < fields.size()) record.result = fields.back();
    return record;
  }

  std::vector<JournalRecord> records_;
};

}  // namespace qel::emulator
