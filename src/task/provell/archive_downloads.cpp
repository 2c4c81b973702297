#include "task/provell/archive_downloads.h"

#include <exception>

#include "task/provell/archive_names.h"

namespace zarn::provell {
namespace {

constexpr std::string_view kZipSignature("PK\x03\x04", 4);  ///< how every zip archive begins

}  // namespace

net::VerifiedDownload& ArchiveDownloads::add(const std::string& url, const std::string& name) {
  net::VerifiedDownload& download = storage_.emplace_back();
  download.url = url;
  download.dest = folder_ / name;
  download.folder_swept = true;
  download.unverified_start = kZipSignature;
  return download;
}

void ArchiveDownloads::start_early(const std::string& url, const std::string& name) {
  if (!engine_.multiplexed() || early_.contains(name)) return;
  try {
    if (holds_archive(folder_ / name)) return;
  } catch (const std::exception&) {
    return;  // in the way: reported at its turn
  }
  net::VerifiedDownload& download = add(url, name);
  early_.emplace(name, &download);
  fetcher_.start(download);
}

net::VerifiedDownload& ArchiveDownloads::take(const std::string& url, const std::string& name) {
  const auto found = early_.find(name);
  if (found == early_.end()) return add(url, name);
  net::VerifiedDownload& early = *found->second;
  early_.erase(found);
  if (early.url == url) return early;
  fetcher_.cancel(early);
  return add(url, name);
}

void ArchiveDownloads::drop_untaken() {
  for (const auto& [name, download] : early_) fetcher_.cancel(*download);
  early_.clear();
}

}  // namespace zarn::provell
