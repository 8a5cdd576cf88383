#include "engine/RunSettings.h"

#include "engine/Codes.h"
#include "engine/NameRules.h"
#include "engine/PathPieces.h"

namespace kestrun {

MissingSetting SettingsForInput(RunSettings& run, const GivenSettings& given) {
  const NameSettings fromName = SettingsFromName(SplitPath(run.inputPath).stem);
  run.dataType = given.dataType ? *given.dataType : fromName.dataTypeIndex ? *fromName.dataTypeIndex + 1 : -1;
  run.deviceType = given.deviceType
                       ? *given.deviceType
                       : DeviceFromText(kDeviceItems[static_cast<std::size_t>(fromName.deviceIndex)]);
  run.resolutionPs = given.resolutionPs ? *given.resolutionPs
                     : fromName.resolutionText ? LeadingInteger(*fromName.resolutionText)
                                               : 0;
  if (run.dataType == -1) return MissingSetting::DataType;
  // T1 to T3 count in bins of the resolution; ITTR has no bins.
  if (run.dataType <= kDataTypeT3 && run.resolutionPs <= 0) return MissingSetting::Resolution;
  return MissingSetting::None;
}

}  // namespace kestrun
