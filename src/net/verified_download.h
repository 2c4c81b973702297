#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/sha1.h"
#include "net/transfer_engine.h"
#include "os/atomic_file.h"

namespace zarn::net {

/// One file fetched into place: streamed into a temporary file beside dest
/// (created with the first byte), hashed on the way, checked against the
/// repository's checksum file "{url}.sha1", then renamed over dest. Both
/// requests run on a TransferEngine; VerifiedDownloads drives them.
struct VerifiedDownload {
  std::string url;
  std::filesystem::path dest;
  /// What a file the repository has no checksum for must begin with (a zip
  /// archive's signature), so an error page served as a success is refused.
  std::string_view unverified_start;
  /// The caller has removed the stale temporaries of dest's folder.
  bool folder_swept = false;

  bool started = false;
  TransferEngine::Id body_id = 0;
  TransferEngine::Id sum_id = 0;
  bool body_ended = false;
  bool sum_ended = false;
  std::exception_ptr body_error;
  std::exception_ptr sum_error;
  std::optional<os::AtomicFile> file;
  std::string buffer;  ///< gathers small pieces into fewer, larger writes
  Sha1 sha1;
  std::uint64_t size = 0;
  std::string sum;     ///< the checksum file as received
  std::string head;    ///< the first bytes, for unverified_start
  std::string digest;  ///< the SHA-1 that matched it; empty when unverified
};

/// Starts and finishes VerifiedDownloads; cancels those still running when
/// destroyed (their temporary files go with the downloads).
class VerifiedDownloads {
 public:
  VerifiedDownloads(TransferEngine& engine, std::chrono::seconds timeout)
      : engine_(engine), timeout_(timeout) {}
  ~VerifiedDownloads();
  VerifiedDownloads(const VerifiedDownloads&) = delete;
  VerifiedDownloads& operator=(const VerifiedDownloads&) = delete;

  /// Queues the file and its checksum file; nothing when already started.
  void start(VerifiedDownload& download);
  /// Drops both transfers and whatever was received; nothing when not started.
  void cancel(VerifiedDownload& download);
  /// Waits for both, then checks and renames into place. Throws what failed
  /// ("empty response", "checksum mismatch (expected x, got y)", the
  /// transfer's error); returns true when the repository has no checksum
  /// file (404, 410) and the file, beginning as it must, went in unverified.
  bool finish(VerifiedDownload& download);

 private:
  TransferEngine& engine_;
  const std::chrono::seconds timeout_;
  std::vector<VerifiedDownload*> started_;
};

}  // namespace zarn::net
