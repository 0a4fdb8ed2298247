#include "app/file_watch.h"

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace ternova::app {

FileStamp FileStamp::Of(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0) return {};
  return {true, static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino), static_cast<int64_t>(info.st_size),
          static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

FileWatch::FileWatch(std::function<void(const QString&)> changed, std::function<bool()> busy, QObject* parent)
    : QObject(parent), changed_(std::move(changed)), busy_(std::move(busy)) {
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, &FileWatch::Settled);
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this](const QString& path) {
    if (path != path_) return;
    // Written to, even where the stamp cannot tell (the same size within one clock tick).
    dirty_ = true;
    Noticed();
  });
  // The folder sees what the file's own watch cannot: a new copy renamed over it, the file
  // coming back after it was removed. Other files there change nothing of ours.
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this](const QString& folder) {
    if (folder == folder_ && FileStamp::Of(path_) != seen_) Noticed();
  });
}

void FileWatch::Follow(const QString& path, const FileStamp& loaded) {
  const QString full = QFileInfo(path).absoluteFilePath();
  if (full != path_) {
    Stop();
    path_ = full;
    folder_ = QFileInfo(full).absolutePath();
    watcher_.addPath(folder_);
  }
  loaded_ = seen_ = loaded;
  dirty_ = false;
  // A change while the file was being read is one more change.
  const FileStamp now = FileStamp::Of(path_);
  Rewatch(now);
  if (now != loaded_) Noticed();
}

void FileWatch::Stop() {
  settle_.stop();
  if (!watcher_.files().isEmpty()) watcher_.removePaths(watcher_.files());
  if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
  path_.clear();
  folder_.clear();
  loaded_ = seen_ = {};
  dirty_ = false;
  watchedInode_ = 0;
}

void FileWatch::Noticed() {
  if (path_.isEmpty()) return;
  seen_ = FileStamp::Of(path_);
  Rewatch(seen_);
  // Each change puts the reload off: a file half written is not read.
  settle_.start();
}

void FileWatch::Settled() {
  if (path_.isEmpty()) return;
  const FileStamp now = FileStamp::Of(path_);
  if (now != seen_) {
    // Changed again without a notice reaching us: still settling.
    Noticed();
    return;
  }
  // Gone: nothing is reloaded and the window keeps what it shows; the folder's watch sees it
  // come back.
  if (!now.exists) return;
  if (!dirty_ && now == loaded_) return;
  if (busy_ && busy_()) {
    settle_.start();
    return;
  }
  dirty_ = false;
  loaded_ = now;
  changed_(path_);
}

void FileWatch::Rewatch(const FileStamp& now) {
  if (!now.exists) return;
  const bool watched = watcher_.files().contains(path_);
  if (watched && now.inode == watchedInode_) return;
  if (watched) watcher_.removePath(path_);
  if (watcher_.addPath(path_)) watchedInode_ = now.inode;
}

}  // namespace ternova::app
