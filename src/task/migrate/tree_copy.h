#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace zarn::migrate {

/// What a folder holds, collected before anything is copied, so that a copy
/// made into the folder itself cannot feed on its own output.
struct TreeSnapshot {
  struct File {
    std::filesystem::path relative;
    dev_t device;
    ino_t inode;
  };
  std::vector<std::filesystem::path> folders;  ///< relative, each after its parent
  std::vector<File> files;
};

/// Walks root, following symbolic links. Regular files (and links to them)
/// are collected; a link back to a folder above it is not followed again, and
/// special files and links that lead nowhere are left out. Throws, naming the
/// path, when root is not a folder or a folder cannot be read.
TreeSnapshot snapshot_tree(const std::filesystem::path& root);

/// Number of files below root at any depth, as snapshot_tree collects them.
std::size_t count_files(const std::filesystem::path& root);

/// Copies the tree at source into target, creating target and merging into
/// what is already there: files of the same name are overwritten, others are
/// left alone. Each file keeps its permission bits and access and
/// modification times. Throws, naming the path, on the first failure; what
/// was copied before stays.
void copy_tree(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace zarn::migrate
