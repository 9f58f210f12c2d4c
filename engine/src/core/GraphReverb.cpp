// The system's reverb instances on the API side: the SFX reverb unit behind
// each, its place in the graph, and the sends that feed it.
//
//   channel or group fader --send at wet * (1 - reverb occlusion)--> reverb i
//   reverb i --> the master group's mixing head
//
// A send is an ordinary connection out of the control's fader, so it carries
// what the control outputs (after its volume, pan and 3D) and goes with the
// fader when the channel ends or the group is released.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "Effects.h"
#include "Engine.h"
#include "Graph.h"

namespace sonvel::engine::core {

namespace {

// The properties in the order of the SFX reverb's parameters.
void Fields(const FMOD_REVERB_PROPERTIES& p, float (&out)[12]) noexcept {
  const float fields[12] = {p.DecayTime, p.EarlyDelay,        p.LateDelay,     p.HFReference,
                            p.HFDecayRatio, p.Diffusion,      p.Density,       p.LowShelfFrequency,
                            p.LowShelfGain, p.HighCut,        p.EarlyLateMix,  p.WetLevel};
  std::copy(std::begin(fields), std::end(fields), std::begin(out));
}

float SendLevel(const Control& control, int instance) noexcept {
  const float open = 1.0f - std::clamp(control.api.source.reverbOcclusion, 0.0f, 1.0f);
  return control.api.reverbWet[instance] * open;
}

}  // namespace

FMOD_RESULT Graph::CheckReverb(const FMOD_REVERB_PROPERTIES& properties) const {
  float fields[12];
  Fields(properties, fields);
  // Every field in the SFX reverb's range for it.
  std::unique_ptr<Processor> spare;
  const Processor* ranges = reverbs_[0].unit != nullptr ? reverbs_[0].unit->processor.get() : nullptr;
  if (ranges == nullptr) {
    spare = NewReverbEffect(FMOD_DSP_TYPE_SFXREVERB, engine_.Effects());
    ranges = spare.get();
  }
  for (int i = 0; i < 12; ++i) {
    if (!std::isfinite(fields[i])) return FMOD_ERR_INVALID_FLOAT;
    const FMOD_DSP_PARAMETER_DESC_FLOAT& range = ranges->Parameter(i)->floatdesc;
    if (fields[i] < range.min || fields[i] > range.max) return FMOD_ERR_INVALID_PARAM;
  }
  return FMOD_OK;
}

FMOD_RESULT Graph::SetReverb(int instance, const FMOD_REVERB_PROPERTIES& properties) {
  if (instance < 0 || instance >= FMOD_REVERB_MAXINSTANCES) return FMOD_ERR_REVERB_INSTANCE;
  if (const FMOD_RESULT checked = CheckReverb(properties); checked != FMOD_OK) return checked;
  if (!EnsureReverb(instance)) return FMOD_ERR_MEMORY;
  reverbs_[instance].properties = properties;
  if (instance == kZoneInstance && !zones_.empty()) UpdateZones();
  else PlayReverb(instance, properties);
  return FMOD_OK;
}

bool Graph::EnsureReverb(int instance) {
  ReverbInstance& reverb = reverbs_[instance];
  if (reverb.unit != nullptr) return true;
  if (!Reserve(16) || !RoomForUnits(1)) return false;
  std::unique_ptr<Processor> made = NewReverbEffect(FMOD_DSP_TYPE_SFXREVERB, engine_.Effects());
  // The dry signal takes its own way to the output.
  made->SetFloat(FMOD_DSP_SFXREVERB_DRYLEVEL, -80.0f);
  reverb.unit = NewInternalUnit(FMOD_DSP_TYPE_SFXREVERB, Role::SystemReverb, nullptr, engine_.format.channels,
                                std::move(made));
  Connect(*reverb.unit, *master_->mixer, FMOD_DSPCONNECTION_TYPE_STANDARD, false);
  for (Channel* channel : channelList_) SendToReverb(*channel, instance);
  for (const std::shared_ptr<Group>& group : groups_)
    if (group != nullptr) SendToReverb(*group, instance);
  // Until it is given properties it plays the off preset.
  reverb.playing = FMOD_PRESET_OFF;
  reverb.unit->api.settings.active = false;
  reverb.unit->settings.Publish(reverb.unit->api.settings);
  Commit();
  return true;
}

void Graph::PlayReverb(int instance, const FMOD_REVERB_PROPERTIES& properties) {
  ReverbInstance& reverb = reverbs_[instance];
  if (reverb.unit == nullptr || std::memcmp(&reverb.playing, &properties, sizeof properties) == 0) return;
  float fields[12];
  Fields(properties, fields);
  for (int i = 0; i < 12; ++i) reverb.unit->processor->SetFloat(i, fields[i]);
  // An instance turned down to nothing costs nothing.
  const bool active = properties.WetLevel > -80.0f;
  if (active != reverb.unit->api.settings.active) {
    reverb.unit->api.settings.active = active;
    reverb.unit->settings.Publish(reverb.unit->api.settings);
    Commit();
  }
  reverb.playing = properties;
}

FMOD_RESULT Graph::AddZone(const std::shared_ptr<ReverbZone>& zone) {
  if (!EnsureReverb(kZoneInstance)) return FMOD_ERR_MEMORY;
  zones_.push_back(zone);
  UpdateZones();
  return FMOD_OK;
}

void Graph::RemoveZone(const ReverbZone& zone) {
  zones_.erase(std::remove_if(zones_.begin(), zones_.end(), [&](const auto& z) { return z.get() == &zone; }),
               zones_.end());
  UpdateZones();
}

void Graph::UpdateZones() {
  const ReverbInstance& reverb = reverbs_[kZoneInstance];
  if (zones_.empty()) {
    PlayReverb(kZoneInstance, reverb.properties);
    return;
  }
  std::vector<const ReverbZone*> zones;
  zones.reserve(zones_.size());
  for (const auto& z : zones_) zones.push_back(z.get());
  const FMOD_VECTOR listener = engine_.Space().listeners[0].position;
  PlayReverb(kZoneInstance, BlendZones(zones, listener, reverb.properties));
}

FMOD_REVERB_PROPERTIES Graph::ReverbOf(int instance) const noexcept {
  return instance >= 0 && instance < FMOD_REVERB_MAXINSTANCES ? reverbs_[instance].properties : FMOD_PRESET_OFF;
}

FMOD_RESULT Graph::SetReverbWet(Control& control, int instance, float wet) {
  if (instance < 0 || instance >= FMOD_REVERB_MAXINSTANCES) return FMOD_ERR_REVERB_INSTANCE;
  if (!std::isfinite(wet)) return FMOD_ERR_INVALID_FLOAT;
  if (wet < 0.0f || wet > 1.0f) return FMOD_ERR_INVALID_PARAM;
  control.api.reverbWet[instance] = wet;
  if (!Reserve(8)) return FMOD_ERR_MEMORY;
  SendToReverb(control, instance);
  Commit();
  return FMOD_OK;
}

void Graph::RefreshReverbSends(Control& control) {
  if (!Reserve(8)) return;
  for (int i = 0; i < FMOD_REVERB_MAXINSTANCES; ++i) SendToReverb(control, i);
  Commit();
}

void Graph::SendToReverb(Control& control, int instance) {
  const ReverbInstance& reverb = reverbs_[instance];
  if (reverb.unit == nullptr || control.fader == nullptr || control.api.gone) return;
  // The send, found afresh: a caller may have disconnected the fader.
  Connection* send = nullptr;
  for (Connection* c : control.fader->api.outputs)
    if (c->api.output == reverb.unit.get()) send = c;
  const float level = SendLevel(control, instance);
  Channel* channel = control.isGroup ? nullptr : &static_cast<Channel&>(control);
  if (level <= 0.0f) {
    if (send != nullptr) {
      Drop(*send);
      if (channel != nullptr) RefreshFused(*channel);
    }
    return;
  }
  if (send == nullptr) {
    Reserve(8);
    send = Connect(*control.fader, *reverb.unit, FMOD_DSPCONNECTION_TYPE_STANDARD, false).get();
    // A channel mixed straight into its group has no output of its own to send.
    if (channel != nullptr) RefreshFused(*channel);
  }
  if (send->api.settings.mix != level) {
    send->api.settings.mix = level;
    Publish(*send);
  }
}

}  // namespace sonvel::engine::core
