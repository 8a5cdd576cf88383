#include "hdf5/Hdf5Nodes.h"

#include <algorithm>

namespace kestrun::h5 {

namespace {

Id StringType(std::size_t length) {
  Id type(H5Tcopy(H5T_C_S1), H5Tclose);
  // A fixed-length string cannot be empty: an empty text is one NUL, which readers give back as "".
  if (!type.ok() || H5Tset_size(type.get(), std::max<std::size_t>(length, 1)) < 0 ||
      H5Tset_strpad(type.get(), H5T_STR_NULLPAD) < 0) {
    return {};
  }
  return type;
}

Id ScalarSpace() { return Id(H5Screate(H5S_SCALAR), H5Sclose); }

Id SimpleSpace(hsize_t n, hsize_t max) { return Id(H5Screate_simple(1, &n, &max), H5Sclose); }

bool WriteDataset(hid_t parent, const char* name, hid_t fileType, hid_t memoryType, hid_t space, const void* data) {
  Id dataset(H5Dcreate2(parent, name, fileType, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Dclose);
  if (!dataset.ok()) return false;
  if (H5Sget_simple_extent_npoints(space) > 0 &&
      H5Dwrite(dataset.get(), memoryType, H5S_ALL, H5S_ALL, H5P_DEFAULT, data) < 0) {
    return false;
  }
  return dataset.Close();
}

}  // namespace

void Quiet() { H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr); }

Id Group(hid_t parent, const char* name) {
  return Id(H5Gcreate2(parent, name, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose);
}

bool String(hid_t parent, const char* name, std::string_view text) {
  const std::string padded(text);  // the library reads the full length; a view may end anywhere
  Id type = StringType(text.size());
  Id space = ScalarSpace();
  return type.ok() && space.ok() && WriteDataset(parent, name, type.get(), type.get(), space.get(), padded.c_str());
}

bool StringAttribute(hid_t object, const char* name, std::string_view text) {
  const std::string padded(text);
  Id type = StringType(text.size());
  Id space = ScalarSpace();
  if (!type.ok() || !space.ok()) return false;
  Id attribute(H5Acreate2(object, name, type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
  return attribute.ok() && H5Awrite(attribute.get(), type.get(), padded.c_str()) >= 0 && attribute.Close();
}

bool Strings(hid_t parent, const char* name, const std::vector<std::string>& texts) {
  std::size_t width = 1;
  for (const std::string& t : texts) width = std::max(width, t.size());
  std::string packed(width * texts.size(), '\0');
  for (std::size_t i = 0; i < texts.size(); ++i) packed.replace(i * width, texts[i].size(), texts[i]);
  Id type = StringType(width);
  Id space = SimpleSpace(texts.size(), texts.size());
  return type.ok() && space.ok() && WriteDataset(parent, name, type.get(), type.get(), space.get(), packed.data());
}

bool WriteScalar(hid_t parent, const char* name, hid_t fileType, hid_t memoryType, const void* value) {
  Id space = ScalarSpace();
  return space.ok() && WriteDataset(parent, name, fileType, memoryType, space.get(), value);
}

bool WriteArray(hid_t parent, const char* name, hid_t fileType, hid_t memoryType, const void* values, std::size_t n) {
  Id space = SimpleSpace(n, n);
  return space.ok() && WriteDataset(parent, name, fileType, memoryType, space.get(), values);
}

bool WriteAttribute(hid_t object, const char* name, hid_t fileType, hid_t memoryType, const void* value) {
  Id space = ScalarSpace();
  if (!space.ok()) return false;
  Id attribute(H5Acreate2(object, name, fileType, space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
  return attribute.ok() && H5Awrite(attribute.get(), memoryType, value) >= 0 && attribute.Close();
}

Id CreateColumn(hid_t parent, const char* name, hid_t fileType, bool compress, std::size_t chunkRows) {
  Id space = SimpleSpace(0, H5S_UNLIMITED);
  Id properties(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
  const hsize_t chunk = chunkRows;
  if (!space.ok() || !properties.ok() || H5Pset_chunk(properties.get(), 1, &chunk) < 0) return {};
  // The level the format's own tools use; shuffling first groups the bytes of like significance.
  if (compress && (H5Pset_shuffle(properties.get()) < 0 || H5Pset_deflate(properties.get(), 6) < 0)) return {};
  // No chunk cache: the columns hand over whole chunks, which then go straight to the file uncopied.
  Id access(H5Pcreate(H5P_DATASET_ACCESS), H5Pclose);
  if (!access.ok() || H5Pset_chunk_cache(access.get(), 0, 0, 1.0) < 0) return {};
  return Id(H5Dcreate2(parent, name, fileType, space.get(), H5P_DEFAULT, properties.get(), access.get()), H5Dclose);
}

bool AppendRows(hid_t dataset, hid_t memoryType, std::uint64_t at, const void* rows, std::size_t n) {
  const hsize_t start = at;
  const hsize_t count = n;
  const hsize_t size = at + n;
  if (H5Dset_extent(dataset, &size) < 0) return false;
  Id file(H5Dget_space(dataset), H5Sclose);
  Id memory = SimpleSpace(count, count);
  return file.ok() && memory.ok() &&
         H5Sselect_hyperslab(file.get(), H5S_SELECT_SET, &start, nullptr, &count, nullptr) >= 0 &&
         H5Dwrite(dataset, memoryType, memory.get(), file.get(), H5P_DEFAULT, rows) >= 0;
}

}  // namespace kestrun::h5
