#pragma once

#include <chrono>
#include <deque>
#include <filesystem>
#include <map>
#include <string>

#include "net/transfer_engine.h"
#include "net/verified_download.h"

namespace zarn::provell {

/// One archive of the run, from its coordinate to its report lines.
struct Archive {
  std::string coord;
  std::string url;
  std::string name;   ///< empty when the coordinate was rejected
  std::string error;  ///< why it failed before any transfer
  bool cached = false;
  bool deferred = false;  ///< named like an earlier download: decided at its turn
  bool in_cache = false;  ///< taken from the driver cache at its turn, not fetched ahead
  net::VerifiedDownload* download = nullptr;  ///< set once it is to be fetched
};

/// The archive downloads of one sync, at addresses that stay put. Once the
/// server multiplexes, an archive starts as soon as the resolution reaches
/// its coordinate (over HTTP/1.1 it would hold a connection the descriptors
/// need); the plan then takes it over, or drops it when the archive turns
/// out not to be fetched under that name.
class ArchiveDownloads {
 public:
  ArchiveDownloads(net::TransferEngine& engine, std::chrono::seconds timeout,
                   std::filesystem::path folder)
      : engine_(engine), folder_(std::move(folder)), fetcher_(engine, timeout) {}

  net::VerifiedDownloads& fetcher() { return fetcher_; }
  /// Starts fetching url into the folder as name when the server
  /// multiplexes, unless an archive lies there already (or cannot be
  /// checked) or name was started before.
  void start_early(const std::string& url, const std::string& name);
  /// The download of url as name: the one started early when it is the same
  /// address, else a new one (not started).
  net::VerifiedDownload& take(const std::string& url, const std::string& name);
  /// Cancels the early downloads the plan did not take.
  void drop_untaken();

 private:
  net::VerifiedDownload& add(const std::string& url, const std::string& name);

  net::TransferEngine& engine_;
  std::filesystem::path folder_;
  std::deque<net::VerifiedDownload> storage_;  ///< outlives the fetcher, which points into it
  std::map<std::string, net::VerifiedDownload*> early_;  ///< by name, until taken
  net::VerifiedDownloads fetcher_;
};

}  // namespace zarn::provell
