#include "engine/DecoderState.h"

namespace kestrun {

void DecoderState::Reset() {
  board = 0;
  overflowValue = 0;
  overflowWraps = 0;
  ResetTttr();
  ResetT1();
  ResetIttr();
}

std::string DecoderState::BuildReportText(std::int32_t dataType) {
  switch (dataType) {
    case 1:
      return BuildT1Report();
    case 2:
    case 3:
      return BuildTttrReport();
    case 4:
    case 5:
      return BuildIttrReport();
    default:
      return {};
  }
}

}  // namespace kestrun
