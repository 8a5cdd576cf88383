#pragma once
// Owners of HDF5 C-library handles and the few kinds of node Kestrun's files are made of. Every
// function returns false (or an invalid Id) on failure and prints nothing; the caller says what failed.

#include <hdf5.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrun::h5 {

// Turns off the library's printing of its error stack on the calling thread.
void Quiet();

class Id {
 public:
  Id() = default;
  Id(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
  ~Id() { Close(); }
  Id(Id&& other) noexcept : id_(std::exchange(other.id_, -1)), close_(other.close_) {}
  Id& operator=(Id&& other) noexcept {
    if (this != &other) {
      Close();
      id_ = std::exchange(other.id_, -1);
      close_ = other.close_;
    }
    return *this;
  }
  Id(const Id&) = delete;
  Id& operator=(const Id&) = delete;
  hid_t get() const { return id_; }
  bool ok() const { return id_ >= 0; }
  // Closes now; false when the library reports a failure (for a file: its last writes failed).
  bool Close() {
    if (id_ < 0) return true;
    const bool closed = close_(id_) >= 0;
    id_ = -1;
    return closed;
  }

 private:
  hid_t id_ = -1;
  herr_t (*close_)(hid_t) = nullptr;
};

// File and memory types of the column element types (little-endian in the file).
template <typename T>
struct Type;
template <> struct Type<std::uint8_t> { static hid_t File() { return H5T_STD_U8LE; } static hid_t Memory() { return H5T_NATIVE_UINT8; } };
template <> struct Type<std::uint16_t> { static hid_t File() { return H5T_STD_U16LE; } static hid_t Memory() { return H5T_NATIVE_UINT16; } };
template <> struct Type<std::uint32_t> { static hid_t File() { return H5T_STD_U32LE; } static hid_t Memory() { return H5T_NATIVE_UINT32; } };
template <> struct Type<std::uint64_t> { static hid_t File() { return H5T_STD_U64LE; } static hid_t Memory() { return H5T_NATIVE_UINT64; } };
template <> struct Type<std::int32_t> { static hid_t File() { return H5T_STD_I32LE; } static hid_t Memory() { return H5T_NATIVE_INT32; } };
template <> struct Type<std::int64_t> { static hid_t File() { return H5T_STD_I64LE; } static hid_t Memory() { return H5T_NATIVE_INT64; } };
template <> struct Type<double> { static hid_t File() { return H5T_IEEE_F64LE; } static hid_t Memory() { return H5T_NATIVE_DOUBLE; } };

Id Group(hid_t parent, const char* name);
// A scalar fixed-length byte string (the kind Photon-HDF5 asks for), as dataset or attribute.
bool String(hid_t parent, const char* name, std::string_view text);
bool StringAttribute(hid_t object, const char* name, std::string_view text);
// A one-dimensional array of fixed-length byte strings, as long as the longest.
bool Strings(hid_t parent, const char* name, const std::vector<std::string>& texts);

bool WriteScalar(hid_t parent, const char* name, hid_t fileType, hid_t memoryType, const void* value);
bool WriteArray(hid_t parent, const char* name, hid_t fileType, hid_t memoryType, const void* values, std::size_t n);
bool WriteAttribute(hid_t object, const char* name, hid_t fileType, hid_t memoryType, const void* value);

template <typename T>
bool Scalar(hid_t parent, const char* name, T value) {
  return WriteScalar(parent, name, Type<T>::File(), Type<T>::Memory(), &value);
}
template <typename T>
bool Array(hid_t parent, const char* name, std::span<const T> values) {
  return WriteArray(parent, name, Type<T>::File(), Type<T>::Memory(), values.data(), values.size());
}
template <typename T>
bool Attribute(hid_t object, const char* name, T value) {
  return WriteAttribute(object, name, Type<T>::File(), Type<T>::Memory(), &value);
}

// A one-dimensional dataset that grows as rows are appended: chunked, and with shuffle + deflate when
// compressed. Rows gather in a buffer of whole chunks, so the library is handed large aligned writes.
template <typename T>
class Column {
 public:
  static constexpr std::size_t kChunkRows = 65536;
  static constexpr std::size_t kBufferChunks = 16;

  bool Create(hid_t parent, const char* name, bool compress, std::size_t chunkRows = kChunkRows);
  bool Append(std::span<const T> rows) { return AppendConverted(rows); }
  bool Append(T row) { return Append(std::span<const T>(&row, 1)); }
  // Rows of another integer type, converted as they are copied in.
  template <typename U>
  bool AppendConverted(std::span<const U> rows) {
    if (!rows.empty() && capacity_ == 0) return false;  // never created
    while (!rows.empty()) {
      const std::size_t n = std::min(rows.size(), capacity_ - held_);
      T* const to = buffer_.get() + held_;
      for (std::size_t i = 0; i < n; ++i) to[i] = static_cast<T>(rows[i]);
      held_ += n;
      rows = rows.subspan(n);
      if (held_ == capacity_ && !Flush()) return false;
    }
    return true;
  }
  // Writes the rows still buffered.
  bool Flush();
  std::uint64_t Rows() const { return written_ + held_; }
  bool ok() const { return dataset_.ok(); }

 private:
  Id dataset_;
  std::unique_ptr<T[]> buffer_;  // whole chunks, written before they are read
  std::size_t capacity_ = 0;
  std::size_t held_ = 0;
  std::uint64_t written_ = 0;
};

// The non-template work of Column.
Id CreateColumn(hid_t parent, const char* name, hid_t fileType, bool compress, std::size_t chunkRows);
bool AppendRows(hid_t dataset, hid_t memoryType, std::uint64_t at, const void* rows, std::size_t n);

template <typename T>
bool Column<T>::Create(hid_t parent, const char* name, bool compress, std::size_t chunkRows) {
  dataset_ = CreateColumn(parent, name, Type<T>::File(), compress, chunkRows);
  capacity_ = chunkRows * kBufferChunks;
  buffer_ = std::make_unique_for_overwrite<T[]>(capacity_);
  held_ = 0;
  written_ = 0;
  return dataset_.ok();
}

template <typename T>
bool Column<T>::Flush() {
  if (held_ == 0) return true;
  const bool ok = AppendRows(dataset_.get(), Type<T>::Memory(), written_, buffer_.get(), held_);
  written_ += held_;
  held_ = 0;
  return ok;
}

}  // namespace kestrun::h5
