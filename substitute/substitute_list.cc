#include "substitute/substitute_list.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "substitute/ms932_code.h"
#include "substitute/output_file.h"

namespace vorn {
namespace {

constexpr std::uint8_t kCtrlZ = 0x1A;
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// The file is read in pieces of this size.
constexpr std::size_t kPiece = 64 << 10;
// A UTF-8 line is converted in pieces of at most this many bytes; a line
// no longer is converted whole.
constexpr std::size_t kConvertPiece = 64;

bool IsUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

void AddBytes(ListLine* line, const char* data, std::size_t size) {
  std::size_t room = ListLine::kHeadBytes - line->head.size();
  line->head.append(data, size < room ? size : room);
  line->length += size;
}

// A file of the Env's, closed on every way out.
class EnvFile : public SequentialFile {
 public:
  EnvFile(Env& env, FileHandle file) : env_(env), file_(file) {}
  ~EnvFile() override {
    IoError ignored;
    if (file_ != kNoFile) (void)env_.Close(file_, &ignored);  // read only: nothing is lost
  }
  bool Read(std::uint8_t* data, std::size_t size, std::size_t* got, IoError* error) override {
    return env_.Read(file_, data, size, got, error);
  }
  bool Close(IoError* error) override {
    FileHandle file = file_;
    file_ = kNoFile;
    return file == kNoFile || env_.Close(file, error);
  }

 private:
  Env& env_;
  FileHandle file_;
};

}  // namespace

bool OpenSequentialFile(Env& env, const std::string& name, std::unique_ptr<SequentialFile>* file,
                        IoError* error) {
  FileHandle handle = kNoFile;
  if (!env.OpenForReading(name, &handle, error)) return false;
  *file = std::make_unique<EnvFile>(env, handle);
  return true;
}

// The buffer is left uninitialised: only bytes read into it are looked at.
ListReader::ListReader(Env& env, SequentialFile* file)
    : env_(env), file_(file), buffer_(new std::uint8_t[kPiece]) {}

bool ListReader::Fill(std::size_t count, IoError* error) {
  if (end_ - begin_ >= count) return true;
  if (begin_ > 0) {
    // Keep the unread bytes, at the front.
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  while (end_ < count && !eof_) {
    std::size_t got = 0;
    if (!file_->Read(buffer_.get() + end_, kPiece - end_, &got, error)) return false;
    end_ += got;
    eof_ = got == 0;
  }
  return true;
}

bool ListReader::Start(IoError* error) {
  if (started_) return true;
  if (!Fill(kUtf8ByteOrderMark.size(), error)) return false;
  started_ = true;
  // A list saved as UTF-8 with its byte-order mark, as editors on every
  // system write it, is read as the code page 932 text it stands for.
  utf8_ = end_ >= kUtf8ByteOrderMark.size() &&
          std::memcmp(buffer_.get(), kUtf8ByteOrderMark.data(), kUtf8ByteOrderMark.size()) == 0;
  if (utf8_) begin_ = kUtf8ByteOrderMark.size();
  return true;
}

void ListReader::AddToLine(const std::uint8_t* data, std::size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  AddBytes(&raw_, bytes, size);
  if (!utf8_) return;
  while (size > 0 && converts_) {
    std::size_t take = std::min(size, kConvertPiece - pending_.size());
    pending_.append(bytes, take);
    bytes += take;
    size -= take;
    if (pending_.size() == kConvertPiece) ConvertPending(false);
  }
}

void ListReader::ConvertPending(bool line_ends) {
  // Up to the last character that starts in the pending bytes, which may
  // not be complete yet; converting a line piece by piece so gives what
  // converting it whole gives.
  std::size_t cut = pending_.size();
  if (!line_ends) {
    while (cut > 0 && IsUtf8Continuation(pending_[cut - 1])) --cut;
    if (cut > 0) --cut;
    // No character is that long: the line is no UTF-8.
    if (cut == 0) converts_ = false;
  }
  std::string text;
  if (converts_ && env_.Utf8ToCP932(std::string_view(pending_).substr(0, cut), &text)) {
    AddBytes(&converted_, text.data(), text.size());
    pending_.erase(0, cut);
  } else {
    converts_ = false;
  }
}

ListRead ListReader::Next(ListLine* line, IoError* error) {
  if (!Start(error)) return ListRead::kFailed;
  raw_ = ListLine();
  converted_ = ListLine();
  pending_.clear();
  converts_ = true;
  LineEnd terminator = LineEnd::kNone;
  bool any = false;  // a line has begun
  for (;;) {
    if (begin_ == end_ && !ctrl_z_) {
      if (!Fill(1, error)) return ListRead::kFailed;
      if (begin_ == end_) break;
    }
    if (ctrl_z_) break;
    any = true;
    const std::uint8_t* data = buffer_.get() + begin_;
    std::size_t size = end_ - begin_;
    std::size_t n = 0;
    while (n < size && data[n] != '\n' && data[n] != '\r' && data[n] != kCtrlZ) ++n;
    AddToLine(data, n);
    begin_ += n;
    if (n == size) continue;
    std::uint8_t stop = data[n];
    if (stop == kCtrlZ) {
      ctrl_z_ = true;  // what follows is never read
      any = raw_.length > 0;
      break;
    }
    ++begin_;
    terminator = LineEnd::kLF;
    if (stop == '\r') {
      // CR LF is one terminator; a lone CR or LF is one too.
      if (!Fill(1, error)) return ListRead::kFailed;
      terminator = LineEnd::kCR;
      if (begin_ < end_ && buffer_[begin_] == '\n') {
        ++begin_;
        terminator = LineEnd::kCRLF;
      }
    }
    break;
  }
  if (!any) return ListRead::kEnd;
  if (utf8_ && converts_) ConvertPending(true);
  *line = utf8_ && converts_ ? converted_ : raw_;
  line->converted = utf8_ && converts_;
  line->number = ++lines_;
  line->end = terminator;
  return ListRead::kLine;
}

bool ListReader::MoreLines(bool* more, IoError* error) {
  if (!Start(error)) return false;
  if (!ctrl_z_ && begin_ == end_ && !Fill(1, error)) return false;
  if (!ctrl_z_ && begin_ < end_ && buffer_[begin_] == kCtrlZ) ctrl_z_ = true;
  *more = !ctrl_z_ && begin_ < end_;
  return true;
}

NormalSubstitute SubstituteOf(const ListLine& line) {
  std::string_view head = line.head;
  NormalSubstitute entry;
  entry.Pending = 1;
  if (line.length == 4) {
    entry.Source = head.substr(0, 2);
    entry.Replacement = head.substr(2, 2);
  } else {
    entry.Source = head.substr(0, 1);
    entry.Replacement = head.size() > 1 ? head.substr(1, 1) : std::string_view();
  }
  return entry;
}

bool ReadSubstitutes(Env& env, SequentialFile* file, Substitutes* substitutes, IoError* error) {
  ListReader reader(env, file);
  ListLine line;
  substitutes->clear();
  // Room for the longest list at once: growing it step by step would copy
  // it and take fresh memory at each step.
  substitutes->reserve(MaxSubstitutes);
  while (substitutes->size() < MaxSubstitutes) {
    switch (reader.Next(&line, error)) {
      case ListRead::kLine:
        substitutes->push_back(SubstituteOf(line));
        break;
      case ListRead::kEnd:
        return true;
      case ListRead::kFailed:
        return false;
    }
  }
  return true;
}

void ListRewritePass(ByteBuffer& table, Substitutes& substitutes, const SparseEUC& store) {
  // Each code keeps a queue of its pending entries in list order, so a
  // record finds the entry a search from the list's start would find
  // without searching.  Queue links are entry numbers plus one, so that
  // zero ends a queue and every code starts with an empty one.  Sources of
  // no complete character match no record.
  static_assert(MaxSubstitutes < 0xFFFF, "entry numbers must fit the queues");
  CodeMap<std::uint16_t> head;
  std::vector<std::uint16_t> next(substitutes.size(), 0);
  std::size_t queued = 0;
  for (std::size_t i = substitutes.size(); i-- > 0;) {
    std::uint32_t code = MS932Code(substitutes[i].Source);
    if (substitutes[i].Pending == 0 || code > 0xFFFF) continue;
    next[i] = head[code];
    head[code] = static_cast<std::uint16_t>(i + 1);
    ++queued;
  }
  if (queued == 0) return;
  WalkRecords(table.data(), table.size(), [&](std::uint32_t key, std::uint8_t* record) {
    std::uint16_t link = head.Get(key);
    if (link == 0) return true;
    head[key] = next[link - 1];
    NormalSubstitute& entry = substitutes[link - 1];
    entry.Pending = 0;
    std::uint32_t replacement = MS932Code(entry.Replacement);
    record[2] = store.GetByte(replacement, 0);
    record[3] = store.GetByte(replacement, 1);
    // Once every entry has its record, no later record can change.
    return --queued > 0;
  });
}

Outcome SubstituteList(Env& env, const TablePaths& paths, const std::string& list_name,
                       const std::string& output_name, bool show_table, IoError* error) {
  Substitutes substitutes;
  {
    std::unique_ptr<SequentialFile> list;
    if (!OpenSequentialFile(env, list_name, &list, error) ||
        !ReadSubstitutes(env, list.get(), &substitutes, error) || !list->Close(error)) {
      return Outcome::kFailed;
    }
  }

  auto store = std::make_unique<SparseEUC>();
  TableFile table;
  Outcome outcome = store->Populate(env, paths, show_table, &table, error);
  if (outcome != Outcome::kDone) return outcome;

  outcome = ReadTableFile(env, paths, &table, error);
  if (outcome != Outcome::kDone) return outcome;
  ListRewritePass(table.bytes, substitutes, *store);
  return WriteTable(env, output_name, table.bytes, error) ? Outcome::kDone : Outcome::kFailed;
}

}  // namespace vorn
