// The result of an engine operation: success, or failure with its cause.
//
// The cause is one line for the operator: the tool that failed and its exit
// status or first line of error, the file that could not be read, the plane
// too large for memory and the limit. The system's own failure message (for
// example "Fail to Print !") is shown by the caller; the cause goes after it.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace qm {

class [[nodiscard]] Status {
 public:
  static Status Ok() { return Status(); }
  static Status Fail(std::string cause) {
    Status s;
    s.ok_ = false;
    s.cause_ = cause.empty() ? std::string("unknown cause") : std::move(cause);
    return s;
  }

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  // Empty on success.
  const std::string& cause() const { return cause_; }

 private:
  bool ok_ = true;
  std::string cause_;
};

// A value, or the cause why there is none.
template <typename T>
class [[nodiscard]] StatusOr {
 public:
  StatusOr(T value) : value_(std::move(value)) {}            // NOLINT: a value converts
  StatusOr(Status failure) : status_(std::move(failure)) {   // NOLINT: so does a failure
    if (status_.ok()) status_ = Status::Fail("no value");
  }
  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const Status& status() const { return status_; }
  const std::string& cause() const { return status_.cause(); }
  T& value() { return *value_; }
  const T& value() const { return *value_; }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

// A file a command could not process, and why.
struct FileFailure {
  std::string file;  // name in its folder; empty when no file was at fault
  std::string cause;
};

}  // namespace qm
