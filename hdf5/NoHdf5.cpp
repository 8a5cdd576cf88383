// The engine of a build without the HDF5 library: a run that asks for an HDF5 file is refused.
#include "engine/Hdf5Output.h"

namespace kestrun {

bool Hdf5Available() { return false; }

std::unique_ptr<Hdf5Output> CreateHdf5Output(const std::string& /*finalPath*/, const Hdf5Settings& /*settings*/,
                                             std::int32_t /*dataType*/, std::int32_t /*resolutionPs*/,
                                             std::string& failure) {
  failure = "HDF5 Output Is Not Available In This Build";
  return nullptr;
}

}  // namespace kestrun
