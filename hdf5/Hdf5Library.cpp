// The HDF5 functions and constants the writer uses, defined here as forwarders into the library
// loaded at run time (Hdf5Library.h says why). The definitions must match hdf5.h's declarations, which
// the compiler checks; the linker names any function or constant missing from the lists.
#include "hdf5/Hdf5Library.h"

#include <dlfcn.h>
#include <hdf5.h>

namespace {

// return type, name, parameters, arguments
#define KESTRUN_H5_FUNCTIONS(X)                                                                            \
  X(herr_t, H5open, (), ())                                                                                \
  X(herr_t, H5dont_atexit, (), ())                                                                         \
  X(herr_t, H5check_version, (unsigned a, unsigned b, unsigned c), (a, b, c))                              \
  X(herr_t, H5Eset_auto2, (hid_t a, H5E_auto2_t b, void* c), (a, b, c))                                    \
  X(hid_t, H5Fcreate, (const char* a, unsigned b, hid_t c, hid_t d), (a, b, c, d))                         \
  X(herr_t, H5Fflush, (hid_t a, H5F_scope_t b), (a, b))                                                    \
  X(herr_t, H5Fclose, (hid_t a), (a))                                                                      \
  X(herr_t, H5Fget_vfd_handle, (hid_t a, hid_t b, void** c), (a, b, c))                                    \
  X(hid_t, H5Gcreate2, (hid_t a, const char* b, hid_t c, hid_t d, hid_t e), (a, b, c, d, e))               \
  X(hid_t, H5Gopen2, (hid_t a, const char* b, hid_t c), (a, b, c))                                         \
  X(herr_t, H5Gclose, (hid_t a), (a))                                                                      \
  X(hid_t, H5Screate, (H5S_class_t a), (a))                                                                \
  X(hid_t, H5Screate_simple, (int a, const hsize_t b[], const hsize_t c[]), (a, b, c))                     \
  X(herr_t, H5Sselect_hyperslab,                                                                           \
    (hid_t a, H5S_seloper_t b, const hsize_t c[], const hsize_t d[], const hsize_t e[], const hsize_t f[]), \
    (a, b, c, d, e, f))                                                                                    \
  X(hssize_t, H5Sget_simple_extent_npoints, (hid_t a), (a))                                                \
  X(herr_t, H5Sclose, (hid_t a), (a))                                                                      \
  X(hid_t, H5Pcreate, (hid_t a), (a))                                                                      \
  X(herr_t, H5Pset_chunk, (hid_t a, int b, const hsize_t c[]), (a, b, c))                                  \
  X(herr_t, H5Pset_chunk_cache, (hid_t a, size_t b, size_t c, double d), (a, b, c, d))                     \
  X(herr_t, H5Pset_shuffle, (hid_t a), (a))                                                                \
  X(herr_t, H5Pset_deflate, (hid_t a, unsigned b), (a, b))                                                 \
  X(herr_t, H5Pclose, (hid_t a), (a))                                                                      \
  X(hid_t, H5Tcopy, (hid_t a), (a))                                                                        \
  X(herr_t, H5Tset_size, (hid_t a, size_t b), (a, b))                                                      \
  X(herr_t, H5Tset_strpad, (hid_t a, H5T_str_t b), (a, b))                                                 \
  X(herr_t, H5Tclose, (hid_t a), (a))                                                                      \
  X(hid_t, H5Dcreate2, (hid_t a, const char* b, hid_t c, hid_t d, hid_t e, hid_t f, hid_t g),              \
    (a, b, c, d, e, f, g))                                                                                 \
  X(hid_t, H5Dget_space, (hid_t a), (a))                                                                   \
  X(herr_t, H5Dset_extent, (hid_t a, const hsize_t b[]), (a, b))                                           \
  X(herr_t, H5Dwrite, (hid_t a, hid_t b, hid_t c, hid_t d, hid_t e, const void* f), (a, b, c, d, e, f))    \
  X(herr_t, H5Dclose, (hid_t a), (a))                                                                      \
  X(hid_t, H5Acreate2, (hid_t a, const char* b, hid_t c, hid_t d, hid_t e, hid_t f), (a, b, c, d, e, f))   \
  X(herr_t, H5Awrite, (hid_t a, hid_t b, const void* c), (a, b, c))                                        \
  X(herr_t, H5Aclose, (hid_t a), (a))

// The library's identifiers of predefined types and property list classes, set by its H5open.
#define KESTRUN_H5_CONSTANTS(X)                                                                             \
  X(H5P_CLS_DATASET_CREATE_ID_g) X(H5P_CLS_DATASET_ACCESS_ID_g) X(H5T_C_S1_g) X(H5T_IEEE_F64LE_g)         \
  X(H5T_NATIVE_DOUBLE_g) X(H5T_NATIVE_INT32_g) X(H5T_NATIVE_INT64_g) X(H5T_NATIVE_UINT8_g)                \
  X(H5T_NATIVE_UINT16_g) X(H5T_NATIVE_UINT32_g) X(H5T_NATIVE_UINT64_g) X(H5T_STD_I32LE_g)                 \
  X(H5T_STD_I64LE_g) X(H5T_STD_U8LE_g) X(H5T_STD_U16LE_g) X(H5T_STD_U32LE_g) X(H5T_STD_U64LE_g)

struct Library {
#define KESTRUN_H5_POINTER(type, name, parameters, arguments) decltype(&::name) name = nullptr;
  KESTRUN_H5_FUNCTIONS(KESTRUN_H5_POINTER)
#undef KESTRUN_H5_POINTER
};
Library library;

// Empty when loaded, else why not.
std::string LoadLibrary() {
  void* handle = dlopen(KESTRUN_HDF5_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (!handle) return dlerror();
  const char* missing = nullptr;
  auto find = [&](const char* name) {
    void* symbol = dlsym(handle, name);
    if (!symbol && !missing) missing = name;
    return symbol;
  };
#define KESTRUN_H5_FIND(type, name, parameters, arguments) \
  library.name = reinterpret_cast<decltype(&::name)>(find(#name));
  KESTRUN_H5_FUNCTIONS(KESTRUN_H5_FIND)
#undef KESTRUN_H5_FIND
  const hid_t* constants[] = {
#define KESTRUN_H5_FIND(name) static_cast<const hid_t*>(find(#name)),
      KESTRUN_H5_CONSTANTS(KESTRUN_H5_FIND)
#undef KESTRUN_H5_FIND
  };
  if (missing) return std::string(KESTRUN_HDF5_SONAME) + " has no " + missing;
  if (library.H5open() < 0) return std::string(KESTRUN_HDF5_SONAME) + " did not start";
  const hid_t* const* constant = constants;
#define KESTRUN_H5_COPY(name) name = **constant++;
  KESTRUN_H5_CONSTANTS(KESTRUN_H5_COPY)
#undef KESTRUN_H5_COPY
  return {};
}

}  // namespace

#define KESTRUN_H5_DEFINE(name) hid_t name = H5I_INVALID_HID;
KESTRUN_H5_CONSTANTS(KESTRUN_H5_DEFINE)
#undef KESTRUN_H5_DEFINE

#define KESTRUN_H5_FORWARD(type, name, parameters, arguments) \
  type name parameters { return library.name arguments; }
KESTRUN_H5_FUNCTIONS(KESTRUN_H5_FORWARD)
#undef KESTRUN_H5_FORWARD

namespace kestrun::h5 {

bool Load(std::string& failure) {
  static const std::string why = LoadLibrary();  // once per process, whichever thread comes first
  if (!why.empty()) failure = "Could Not Load The HDF5 Library: " + why;
  return why.empty();
}

}  // namespace kestrun::h5
