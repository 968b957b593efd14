#pragma once
// A text that any thread may read and replace (settings, texts the main window shows);
// load() returns a copy.
#include <mutex>
#include <string>
#include <utility>

class SharedText {
 public:
  SharedText() = default;
  explicit SharedText(std::string text) : text_(std::move(text)) {}
  SharedText(const SharedText&) = delete;
  SharedText& operator=(const SharedText&) = delete;

  std::string load() const {
    std::lock_guard lock(mutex_);
    return text_;
  }
  void store(std::string text) {
    std::lock_guard lock(mutex_);
    text_.swap(text);
  }
  operator std::string() const { return load(); }
  SharedText& operator=(std::string text) {
    store(std::move(text));
    return *this;
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};
