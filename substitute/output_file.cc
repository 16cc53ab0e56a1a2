#include "substitute/output_file.h"

namespace vorn {
namespace {

// A file open for writing, closed on every way out.
class OpenFile {
 public:
  explicit OpenFile(Env& env) : env_(env) {}
  ~OpenFile() {
    IoError ignored;
    (void)Close(&ignored);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  bool Close(IoError* error) {
    if (handle == kNoFile) return true;
    FileHandle file = handle;
    handle = kNoFile;
    return env_.Close(file, error);
  }

  FileHandle handle = kNoFile;

 private:
  Env& env_;
};

// A file this run makes.  Until Finish() it is the unfinished file: one
// that a failure (the destructor), an interrupt or running out of memory
// removes.  Termination is held while the file comes into being and is
// registered, and while it takes its place and is unregistered, so that
// no moment exists where it exists unregistered or is registered in
// another's place.
class NewFile {
 public:
  explicit NewFile(Env& env) : file(env), env_(env) {}
  ~NewFile() {
    if (!unfinished_) return;
    IoError ignored;
    (void)file.Close(&ignored);  // not every system removes an open file
    env_.HoldTermination();
    env_.Remove(name);
    env_.SetUnfinishedFile(nullptr);
    env_.ReleaseTermination();
  }
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // Creates a file of a name of its own beside `target`, or, with
  // `beside` false, `target` itself, which must not exist yet.
  Creation Create(const std::string& target, bool beside, IoError* error) {
    env_.HoldTermination();
    Creation created = Creation::kCreated;
    if (beside) {
      created = env_.CreateTemporary(target, &name, &file.handle, error);
    } else {
      name = target;
      if (!env_.CreateNew(name, &file.handle, error)) created = Creation::kFailed;
    }
    unfinished_ = created == Creation::kCreated;
    if (unfinished_) env_.SetUnfinishedFile(name.c_str());
    env_.ReleaseTermination();
    return created;
  }

  // Closes the file and puts it in the place of `target`.
  bool Finish(const std::string& target, IoError* error) {
    if (!file.Close(error)) return false;
    env_.HoldTermination();
    bool placed = name == target || env_.Replace(name, target, error);
    if (placed) {
      unfinished_ = false;
      env_.SetUnfinishedFile(nullptr);
    }
    env_.ReleaseTermination();
    return placed;
  }

  std::string name;
  OpenFile file;

 private:
  Env& env_;
  bool unfinished_ = false;
};

// Overwrites the existing `target` where it stands.
bool WriteInPlace(Env& env, OpenFile& target, const std::uint8_t* data, std::size_t size,
                  IoError* error) {
  if (!env.Reserve(target.handle, size, error)) return false;
  // From the first byte written until the file is whole again, an
  // interrupt would leave it half old, half new.
  env.HoldTermination();
  bool written = env.Write(target.handle, data, size, error) &&
                 env.Truncate(target.handle, size, error) && env.Flush(target.handle, error) &&
                 target.Close(error);
  env.ReleaseTermination();
  return written;
}

}  // namespace

bool WriteOutputFile(Env& env, const std::string& name, const std::uint8_t* data, std::size_t size,
                     IoError* error) {
  if (name.empty()) return env.Write(env.StandardOutput(), data, size, error);

  FileKind kind = FileKind::kMissing;
  std::string target;
  if (!env.Examine(name, &kind, &target, error)) return false;
  OpenFile old(env);
  if (kind != FileKind::kMissing) {
    // An existing output must be writable in its own right: replacing it
    // through its folder must not get round its protection.
    bool regular = false;
    if (!env.OpenExisting(target, &old.handle, &regular, error)) return false;
    if (!regular) return env.Write(old.handle, data, size, error) && old.Close(error);
  }

  NewFile output(env);
  Creation created = output.Create(target, true, error);
  if (created == Creation::kTooLong && old.handle == kNoFile) {
    // No room for a name beside a new output: it is made under its own
    // name, and removed like any unfinished file.
    created = output.Create(target, false, error);
  }
  if (created == Creation::kRefused || created == Creation::kTooLong) {
    // The folder takes no file beside the target, but the target itself
    // may be written.
    return old.handle != kNoFile && WriteInPlace(env, old, data, size, error);
  }
  if (created != Creation::kCreated) return false;
  return env.Write(output.file.handle, data, size, error) &&
         env.CopyMetadata(old.handle, output.file.handle, error) && old.Close(error) &&
         env.Flush(output.file.handle, error) && output.Finish(target, error);
}

bool WriteTable(Env& env, const std::string& name, const ByteBuffer& table, IoError* error) {
  return WriteOutputFile(env, name, table.data(), RecordBytes(table.size()), error);
}

}  // namespace vorn
