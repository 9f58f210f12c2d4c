#include "Objects.h"

namespace sonvel::engine::core {

Unit::Unit(FMOD_DSP_TYPE type, Role role, std::unique_ptr<Processor> processor, Control* control)
    : type(type), role(role), processor(std::move(processor)), control(control) {}

void Control::UseMode(FMOD_MODE mode) noexcept {
  api.mode = mode;
  spatial::Source& source = api.source;
  source.is3D = (mode & FMOD_3D) != 0;
  source.headRelative = (mode & FMOD_3D_HEADRELATIVE) != 0;
  source.rolloff = FMOD_3D_INVERSEROLLOFF;
  for (FMOD_MODE model : {FMOD_3D_LINEARROLLOFF, FMOD_3D_LINEARSQUAREROLLOFF, FMOD_3D_INVERSETAPEREDROLLOFF,
                          FMOD_3D_CUSTOMROLLOFF})
    if (mode & model) source.rolloff = model;
  api.settings.placement.enabled = source.is3D;
  api.settings.playFromStart = (mode & FMOD_VIRTUAL_PLAYFROMSTART) != 0;
}

}  // namespace sonvel::engine::core
