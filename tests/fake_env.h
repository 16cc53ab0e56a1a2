// An Env of in-memory files for unit tests: files are byte strings by
// name, console lines and failure reports are recorded, and any name can
// be made to fail with a given message.
#ifndef VORN_TESTS_FAKE_ENV_H_
#define VORN_TESTS_FAKE_ENV_H_

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"

namespace vorn {

// A ByteBuffer holding `bytes`, laid out as ReadWholeFile lays it out.
inline ByteBuffer BufferOf(const std::string& bytes) {
  ByteBuffer buffer(bytes.size() + 4);
  if (!bytes.empty()) std::memcpy(buffer.data(), bytes.data(), bytes.size());
  buffer.set_size(bytes.size());
  return buffer;
}

class FakeEnv : public Env {
 public:
  std::map<std::string, std::string> files;
  // Names whose reading or writing fails with this message.
  std::map<std::string, std::string> failing;
  std::vector<std::string> lines;
  std::vector<std::string> reports;
  std::string standard_output;
  // Called after each whole-file read, so a test can change the files
  // between the two reads of the table.
  std::function<void(const std::string&)> after_read;

  void WriteLine(std::string_view line, LineKind) override { lines.emplace_back(line); }

  bool FileExists(const std::string& name) override { return files.count(name) != 0; }

  bool ReadWholeFile(const std::string& name, ByteBuffer* contents, IoError* error) override {
    if (Failing(name, error)) return false;
    *contents = BufferOf(files.at(name));
    if (after_read) after_read(name);
    return true;
  }

  bool ReadTextFile(const std::string& name, std::string* contents, IoError* error) override {
    if (Failing(name, error)) return false;
    auto it = files.find(name);
    if (it == files.end()) {
      error->message = "File not found";
      return false;
    }
    *contents = it->second;
    return true;
  }

  bool NewOutputFile(const std::string& name, std::unique_ptr<WritableFile>* file,
                     IoError* error) override {
    if (Failing(name, error)) return false;
    *file = std::make_unique<MemoryFile>(this, name);
    return true;
  }

  void ReportFailure(const IoError& error) override { reports.push_back(error.message); }

 private:
  class MemoryFile : public WritableFile {
   public:
    MemoryFile(FakeEnv* env, std::string name) : env_(env), name_(std::move(name)) {}
    bool Append(const std::uint8_t* data, std::size_t size, IoError*) override {
      bytes_.append(reinterpret_cast<const char*>(data), size);
      return true;
    }
    bool Commit(IoError*) override {
      if (name_.empty()) {
        env_->standard_output += bytes_;
      } else {
        env_->files[name_] = bytes_;
      }
      return true;
    }

   private:
    FakeEnv* env_;
    std::string name_;
    std::string bytes_;
  };

  bool Failing(const std::string& name, IoError* error) {
    auto it = failing.find(name);
    if (it == failing.end()) return false;
    error->message = it->second;
    return true;
  }
};

}  // namespace vorn

#endif  // VORN_TESTS_FAKE_ENV_H_
