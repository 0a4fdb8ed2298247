#pragma once
// The open data file watched on disk, so the diagram follows a spreadsheet or an instrument
// writing it: a change is reported once the file has stayed the same for a moment.
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>

namespace ternova::app {

// What tells one state of a file from another without reading it.
struct FileStamp {
  bool exists = false;
  uint64_t device = 0, inode = 0;
  int64_t size = 0, modifiedNs = 0;

  static FileStamp Of(const QString& path);
  bool operator==(const FileStamp&) const = default;
};

class FileWatch : public QObject {
 public:
  static constexpr int kSettleMs = 300;

  // `changed` runs with the path once a change has settled; `busy` says when it must wait (a
  // load or a modal dialog is running).
  FileWatch(std::function<void(const QString&)> changed, std::function<bool()> busy, QObject* parent = nullptr);

  // Follows `path` from now on; `loaded` is the state the window shows, taken before it was read.
  void Follow(const QString& path, const FileStamp& loaded);
  // Nothing is followed (the table came from the clipboard).
  void Stop();
  const QString& Path() const { return path_; }
  void SetSettleTime(int milliseconds) { settle_.setInterval(milliseconds); }

 private:
  void Noticed();
  void Settled();
  // The watch is on an inode: a file renamed over the path, or one that reappears, needs a new one.
  void Rewatch(const FileStamp& now);

  std::function<void(const QString&)> changed_;
  std::function<bool()> busy_;
  QFileSystemWatcher watcher_;
  QTimer settle_;
  QString path_, folder_;
  FileStamp loaded_, seen_;
  bool dirty_ = false;  // written to since the last load
  uint64_t watchedInode_ = 0;
};

}  // namespace ternova::app
