#include "net/verified_download.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "text/printable.h"

namespace zarn::net {
namespace {

/// Per archive in flight: dozens run at once over one HTTP/2 connection.
constexpr std::size_t kWriteBuffer = 64 << 10;
constexpr std::size_t kMaxChecksumBytes = 1024;

/// The checksum a ".sha1" file holds: its first word, in lower case.
std::string checksum_of(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  std::string word = text.substr(first, text.find_first_of(" \t\r\n", first) - first);
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text::printable(word.substr(0, 64));
}

bool is_missing(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const HttpError& http) {
    return http.status() == 404 || http.status() == 410;
  } catch (...) {
    return false;
  }
}

void flush(VerifiedDownload& download) {
  download.file->write(download.buffer);
  download.buffer.clear();
}

void receive(VerifiedDownload& download, std::string_view piece) {
  // Under a temporary name until complete, so a failed or interrupted
  // transfer never leaves a part for the next run to take as cached.
  if (!download.file) {
    download.file.emplace(
        download.dest, std::nullopt,
        download.folder_swept ? os::AtomicFile::Sweep::kSkip : os::AtomicFile::Sweep::kLeftovers);
    download.buffer.reserve(kWriteBuffer);
  }
  if (download.head.size() < download.unverified_start.size()) {
    download.head.append(piece.substr(0, download.unverified_start.size() - download.head.size()));
  }
  download.sha1.update(piece);
  download.size += piece.size();
  if (download.buffer.size() + piece.size() > kWriteBuffer) flush(download);
  download.buffer.append(piece);
}

void end_body(VerifiedDownload& download, std::exception_ptr error) {
  download.body_ended = true;
  download.body_error = std::move(error);
  if (!download.body_error && download.file) {
    try {
      flush(download);
    } catch (...) {
      download.body_error = std::current_exception();
    }
  }
  if (download.body_error) download.file.reset();
  std::string().swap(download.buffer);
}

}  // namespace

VerifiedDownloads::~VerifiedDownloads() {
  for (VerifiedDownload* download : started_) {
    if (!download->body_ended) engine_.cancel(download->body_id);
    if (!download->sum_ended) engine_.cancel(download->sum_id);
  }
}

void VerifiedDownloads::start(VerifiedDownload& download) {
  if (download.started) return;
  download.started = true;
  started_.push_back(&download);
  download.body_id = engine_.start(
      download.url, timeout_, [&download](std::string_view piece) { receive(download, piece); },
      [&download](std::exception_ptr error) { end_body(download, std::move(error)); });
  download.sum_id = engine_.start(
      download.url + ".sha1", timeout_,
      [&download](std::string_view piece) {
        if (download.sum.size() + piece.size() > kMaxChecksumBytes) {
          throw HttpError("checksum file larger than " + std::to_string(kMaxChecksumBytes) +
                          " bytes");
        }
        download.sum.append(piece);
      },
      [&download](std::exception_ptr error) {
        download.sum_ended = true;
        download.sum_error = std::move(error);
      });
}

void VerifiedDownloads::cancel(VerifiedDownload& download) {
  if (!download.started) return;
  if (!download.body_ended) engine_.cancel(download.body_id);
  if (!download.sum_ended) engine_.cancel(download.sum_id);
  download.body_ended = download.sum_ended = true;
  download.file.reset();  // removes the temporary file
  std::string().swap(download.buffer);
}

bool VerifiedDownloads::finish(VerifiedDownload& download) {
  start(download);
  engine_.prioritize(download.sum_id);
  engine_.prioritize(download.body_id);
  engine_.run_until([&download] { return download.body_ended && download.sum_ended; });
  if (download.body_error) std::rethrow_exception(download.body_error);
  if (download.size == 0) throw std::runtime_error("empty response");
  const bool unverified = download.sum_error && is_missing(download.sum_error);
  if (download.sum_error && !unverified) {
    try {
      std::rethrow_exception(download.sum_error);
    } catch (const std::exception& error) {
      throw std::runtime_error(std::string("cannot fetch the checksum: ") + error.what());
    }
  }
  if (unverified && !download.head.starts_with(download.unverified_start)) {
    throw std::runtime_error(
        "not an archive (it does not begin like one), and the repository has no checksum for it");
  }
  if (!unverified) {
    const std::string expected = checksum_of(download.sum);
    const std::string got = download.sha1.hex_digest();
    if (expected != got) {
      throw std::runtime_error(
          fmt::format("checksum mismatch (expected {}, got {})", expected, got));
    }
    download.digest = got;
  }
  // A copy of what a repository holds can be fetched again, so the rename
  // does not wait for the disk: that wait would double a cold sync.
  download.file->commit(os::AtomicFile::Durability::kProcessSafe);
  return unverified;
}

}  // namespace zarn::net
