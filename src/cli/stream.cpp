#include "cli/stream.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace dashtab::cli {
namespace {

// Read and converted this much at a time: a piece and its conversion stay
// in the processor's cache on their way from the input to the output.
constexpr std::size_t kPiece = std::size_t{256} << 10;

// Converted pieces passed from the converting thread to the writing one,
// at most two waiting. The writer hands back each buffer it is done with,
// so that the same few buffers go round, their storage reused.
class Handoff {
 public:
  // Waits while two are waiting; gives `item` a used buffer in exchange.
  // False when the writer has stopped: the item is dropped.
  bool Put(std::string& item) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.size() < kWaiting || stopped_; });
    if (stopped_) {
      return false;
    }
    waiting_.push_back(std::move(item));
    item = TakeUsed();
    changed_.notify_all();
    return true;
  }

  // Waits for the next item, taking back the buffer `item` held. False at
  // the end: the converter has closed and nothing waits.
  bool Take(std::string& item) {
    std::unique_lock lock(mutex_);
    used_.push_back(std::move(item));
    changed_.wait(lock, [this] { return !waiting_.empty() || closed_; });
    if (waiting_.empty()) {
      return false;
    }
    item = std::move(waiting_.front());
    waiting_.pop_front();
    changed_.notify_all();
    return true;
  }

  // The converter: nothing more comes.
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }

  // The writer: nothing more is wanted.
  void Stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    waiting_.clear();
    changed_.notify_all();
  }

 private:
  static constexpr std::size_t kWaiting = 2;

  std::string TakeUsed() {
    if (used_.empty()) {
      return {};
    }
    std::string item = std::move(used_.back());
    used_.pop_back();
    return item;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> waiting_;
  std::vector<std::string> used_;
  bool closed_ = false;
  bool stopped_ = false;
};

// Writes the converted pieces until they end or a write fails.
void WritePieces(Output& output, Handoff& converted, FileStatus& status) {
  std::string bytes;
  while (converted.Take(bytes)) {
    status = output.Write(bytes);
    if (!status.ok()) {
      converted.Stop();
      return;
    }
  }
}

// Closes the writer's queue however the converting thread leaves, so that
// the writer ends and can be joined.
class Closing {
 public:
  explicit Closing(Handoff& converted) : converted_(converted) {}
  Closing(const Closing&) = delete;
  Closing& operator=(const Closing&) = delete;
  ~Closing() { converted_.Close(); }

 private:
  Handoff& converted_;
};

// Reads the pieces straight into the conversion, where they are still in
// the cache when they are converted, and hands the results to the writer.
void ConvertPieces(Input& input, Handoff& converted, Direction direction,
                   const std::function<void(std::uint64_t done)>& progress, Streamed& result) {
  ChunkedConversion conversion(direction);
  std::string bytes;
  // False once the writer has stopped on a failure.
  const auto put = [&] {
    result.bytesOut += bytes.size();
    return bytes.empty() || converted.Put(bytes);
  };
  std::unique_ptr<char[]> beyondText;
  for (;;) {
    char* const room = result.zeroAt ? beyondText.get() : conversion.Room(kPiece);
    const ReadPiece piece = input.Read(room, kPiece);
    if (!piece.status.ok()) {
      result.read = piece.status;
      return;
    }
    if (piece.got == 0) {
      break;
    }
    result.bytesIn += piece.got;
    if (!result.zeroAt) {
      const void* zero = std::memchr(room, 0, piece.got);
      const std::size_t text =
          zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - room) : piece.got;
      conversion.Added(text, bytes);
      if (!put()) {
        return;
      }
      if (zero) {
        result.zeroAt = result.bytesIn - piece.got + text;
        conversion.Finish(bytes);
        if (!put()) {
          return;
        }
        beyondText = std::make_unique_for_overwrite<char[]>(kPiece);
      }
    }
    progress(result.bytesIn);
  }
  if (!result.zeroAt) {
    conversion.Finish(bytes);
    put();
  }
}

}  // namespace

// Two threads: this one reads and converts, the other writes. Writing is a
// copy into the system's file cache about as costly as the conversion, so
// on two processors the two overlap. (A third thread for reading was
// slower: each piece then had to travel to another processor's cache.)
Streamed ConvertStream(Input& input, Output& output, Direction direction,
                       const std::function<void(std::uint64_t done)>& progress) {
  Streamed result;
  FileStatus written;
  {
    Handoff converted;
    std::jthread writer(WritePieces, std::ref(output), std::ref(converted), std::ref(written));
    // Destroyed before the writer is joined, however this block ends.
    const Closing closing(converted);
    ConvertPieces(input, converted, direction, progress, result);
  }
  result.written = written;
  return result;
}

}  // namespace dashtab::cli
