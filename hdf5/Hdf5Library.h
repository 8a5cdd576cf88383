#pragma once
// The HDF5 library is loaded when a run first writes an HDF5 file, not when a program starts: linked
// directly it brings in 36 more shared libraries (network, TLS, Kerberos) that cost every process
// about 15 ms and 6.5 MiB, whether it writes HDF5 or not.

#include <string>

namespace kestrun::h5 {

// Loads the library once per process; false when it cannot be loaded, `failure` then saying why.
// The library's functions may be called only after it returned true.
bool Load(std::string& failure);

}  // namespace kestrun::h5
